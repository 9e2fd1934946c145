// For front-end tests that show Ironvine ads from the stand-in services: the engine as at its
// first launch in this process, with no scripts, ads or rows of an earlier one (the mediation
// adapter's start is process-wide state, forgotten after every test). Called again at the end,
// so later tests find no engine.
#pragma once

#include <filesystem>
#include <system_error>

#include "Foundation/NSString.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"

namespace servicestest {

inline void forgetTheIronvineEngine() {
    IVController::sharedController()->shutdown();
    std::error_code ec;
    std::filesystem::remove_all(IVController::ivBaseDir()->utf8() + "/Config", ec);
    std::filesystem::remove_all(IVController::ivBaseDir()->utf8() + "/Content", ec);
    IVController::sharedController()->database()->sqlExecute(NS("DROP TABLE IF EXISTS ads"));
    IVController::sharedController()->shutdown();
}

}  // namespace servicestest
