#include "IronvineTesting.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "ads/ironvine/IVAdEngine.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Services.h"

namespace ivtest {

std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!std::filesystem::exists(root, ec)) return out;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root, ec)) {
        std::string rel = std::filesystem::relative(entry.path(), root).string();
        out[rel] = entry.is_directory() ? "/" : readFile(entry.path().string());
    }
    return out;
}

}  // namespace ivtest

namespace ivtest {

void resetEngineForLaunch() {
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    IVController::sharedController()->shutdown();
    std::error_code ec;
    std::filesystem::remove_all(IVController::ivBaseDir()->utf8() + "/Config", ec);
    std::filesystem::remove_all(IVController::ivBaseDir()->utf8() + "/Content", ec);
    IVController::sharedController()->database()->sqlExecute(NS("DROP TABLE IF EXISTS ads"));
    servicestest::services().reset();
    servicestest::services().clearFaults();
    IVController::setSessionStartForTesting(1000000);
}

void finishEngineLaunch() {
    auto manager = IVController::sharedController()->clientManager();
    EXPECT_TRUE(advanceRunLoopUntil([&] { return !manager->isSynchronizing(); }));
    IVController::sharedController()->shutdown();
    SCNetworkReachabilityClearFlagsForTesting();
}

void startEngineWithBannerAndFullScreen() {
    IVAdEngine::startupWithAppID(
        NS("app123"),
        NSArray::arrayWithObjects(
            {IVAdSlotDescription::descriptionWithSize(IVAdSizeBanner, NS("ivBanner")).get(),
             IVAdSlotDescription::descriptionWithSize(IVAdSizeFullScreen, NS("ivFullScreen"))
                 .get()})
            .get());
}

}  // namespace ivtest
