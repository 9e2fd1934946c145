#include "DodizTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Foundation/NSBundle.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSTimeZone.h"

namespace {
std::string folder;

class DodizBundleEnvironment : public testing::Environment {
    void SetUp() override {
        const char* home = std::getenv("BAZAARNEST_HOME");
        std::filesystem::path root = home ? home : std::filesystem::temp_directory_path();
        root /= "DodizTest.app";
        std::filesystem::create_directories(root / "Dodiz20.bundle" / "en.lproj");
        std::ofstream table(root / "Dodiz20.bundle" / "en.lproj" / "Localizable.strings");
        table << "\"Connection Timed Out\" = \"Timed out!\";\n"
                 "\"No Internet Connection\" = \"Offline!\";\n"
                 "\"Connection Error\" = \"Connection trouble!\";\n"
                 "\"Error\" = \"Trouble!\";\n"
                 "\"h:mm a\" = \"HH.mm\";\n"
                 "\"EEEE, LLLL d, YYYY\" = \"EEEE d LLLL yyyy\";\n"
                 "\"EEEE\" = \"EEEE!\";\n"
                 "\"M/d/yy\" = \"d.M.yy\";\n"
                 "\"EEE h:mm a\" = \"EEE HH.mm\";\n"
                 "\"MMM d h:mm a\" = \"d MMM HH.mm\";\n"
                 "\"MMMM d\" = \"d MMMM\";\n"
                 "\"MMMM\" = \"MMMM!\";\n"
                 "\"just a moment ago\" = \"a moment back\";\n"
                 "\"%d seconds ago\" = \"%d s back\";\n"
                 "\"about a minute ago\" = \"a minute back\";\n"
                 "\"%d minutes ago\" = \"%d min back\";\n"
                 "\"about an hour ago\" = \"an hour back\";\n"
                 "\"%d hours ago\" = \"%d h back\";\n"
                 "\"<1m\" = \"now\";\n"
                 "\"%dm\" = \"%d min\";\n"
                 "\"%dh\" = \"%d hr\";\n"
                 "\"%dd\" = \"%d days\";\n"
                 "\"Today\" = \"This day\";\n"
                 "\"Yesterday\" = \"The day before\";\n";
        table.close();
        // The framework's own images, as the app's bundle ships them.
        std::filesystem::copy(
            std::filesystem::path(BN_SOURCE_DIR) / "resources/Bazaarnest.app/Dodiz20.bundle/images",
            root / "Dodiz20.bundle" / "images",
            std::filesystem::copy_options::recursive |
                std::filesystem::copy_options::overwrite_existing);
        folder = root.string();
        setenv("BAZAARNEST_BUNDLE", folder.c_str(), 1);
        NSBundle::resetMainBundle();
        // The date texts are checked in one place and zone: the framework keeps its formatters
        // with the settings of their first use.
        NSLocale::setCurrentLocaleIdentifierForTesting(NS("en_US"));
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("UTC")));
    }
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new DodizBundleEnvironment);
}  // namespace

const std::string& dodizTestBundleFolder() {
    return folder;
}
