#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"

namespace {

namespace fs = std::filesystem;

// A bundle made in the sandbox for each test and installed as the main bundle.
class NSBundleTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = NSTemporaryDirectory()->utf8() + "Fixture.app";
        fs::remove_all(root_);
        write("Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>com.example.fixture</string>"
              "<key>CFBundleShortVersionString</key><string>2.1</string></dict></plist>");
        write("en.lproj/Localizable.strings",
              "/* English */\n\"Cancel\" = \"Cancel\";\n\"Loading...\" = \"Loading\u2026\";\n"
              "\"OnlyEnglish\" = \"english\";\n");
        writeUTF16("fr.lproj/Localizable.strings",
                   u"\"Cancel\" = \"Annuler\";\n\"Loading...\" = \"Chargement\u2026\";\n");
        write("Base.lproj/Other.strings", "greeting = \"hi from base\";");
        write("images/backIcon.png", "png");
        write("icon.png", "png");
        write("readme", "no extension");
        write("Noticewall.mom", "model");
        write("Dodiz20.bundle/en.lproj/Localizable.strings", "\"Error\" = \"Problem\";");
        setenv("BAZAARNEST_BUNDLE", root_.c_str(), 1);
        NSBundle::resetMainBundle();
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("AppleLanguages"));
        unsetenv("BAZAARNEST_BUNDLE");
        NSBundle::resetMainBundle();
        NSUserDefaults::resetStandardUserDefaults();
        fs::remove_all(root_);
    }

    void write(const std::string& rel, const std::string& contents) {
        fs::path p = fs::path(root_) / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << contents;
    }
    void writeUTF16(const std::string& rel, std::u16string_view contents) {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : contents) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        write(rel, bytes);
    }
    void prefer(std::initializer_list<NSObject*> languages) {
        NSUserDefaults::standardUserDefaults()->setObject(NSArray::arrayWithObjects(languages),
                                                          NS("AppleLanguages"));
    }
    std::string at(const std::string& rel) { return root_ + "/" + rel; }

    std::string root_;
};

TEST_F(NSBundleTest, MainBundleComesFromTheEnvironment) {
    auto main = NSBundle::mainBundle();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(text(main->bundlePath()), root_);
    EXPECT_EQ(text(main->resourcePath()), root_);
    EXPECT_EQ(main.get(), NSBundle::mainBundle().get());
    EXPECT_EQ(NSBundle::bundleWithPath(str(root_ + "/")).get(), main.get());
    EXPECT_EQ(text(main->bundleIdentifier()), "com.example.fixture");
    EXPECT_EQ(text(main->objectForInfoDictionaryKey(NS("CFBundleShortVersionString"))), "2.1");
    EXPECT_EQ(main->objectForInfoDictionaryKey(NS("CFBundleName")), nullptr);
    // The preferences file is named after the identifier.
    EXPECT_EQ(text(NSUserDefaults::standardUserDefaults()->path()),
              NSHomeDirectory()->utf8() + "/Library/Preferences/com.example.fixture.plist");
}

TEST_F(NSBundleTest, ResourcesAreFoundByNameAndType) {
    auto main = NSBundle::mainBundle();
    EXPECT_EQ(text(main->pathForResource(NS("Noticewall"), NS("mom"))), at("Noticewall.mom"));
    EXPECT_EQ(text(main->pathForResource(NS("icon.png"), nullptr)), at("icon.png"));
    EXPECT_EQ(text(main->pathForResource(NS("readme"), NS(""))), at("readme"));
    EXPECT_EQ(text(main->pathForResource(NS("backIcon"), NS("png"), NS("images"))),
              at("images/backIcon.png"));
    EXPECT_EQ(main->pathForResource(NS("backIcon"), NS("png")), nullptr);
    EXPECT_EQ(main->pathForResource(NS("icon"), NS("jpg")), nullptr);
    // Resources inside a language folder are found too.
    EXPECT_EQ(text(main->pathForResource(NS("Localizable"), NS("strings"))),
              at("en.lproj/Localizable.strings"));
    EXPECT_EQ(text(main->URLForResource(NS("Noticewall"), NS("mom"))),
              text(NSURL::fileURLWithPath(str(at("Noticewall.mom")))));
    auto pngs = main->pathsForResourcesOfType(NS("png"), nullptr);
    ASSERT_EQ(pngs->count(), 1u);
    EXPECT_EQ(text(pngs->objectAtIndex(0)), at("icon.png"));
    EXPECT_EQ(text(main->localizations()->componentsJoinedByString(NS(","))), "Base,en,fr");
}

TEST_F(NSBundleTest, StringsFollowThePreferredLanguage) {
    auto main = NSBundle::mainBundle();
    EXPECT_EQ(text(main->localizedStringForKey(NS("Loading..."), nullptr, nullptr)),
              "Loading\u2026");
    prefer({NS("fr-FR"), NS("en")});
    EXPECT_EQ(text(main->localizedStringForKey(NS("Loading..."), nullptr, nullptr)),
              "Chargement\u2026");
    EXPECT_EQ(text(NSLocalizedString(NS("Cancel"), nil)), "Annuler");
    EXPECT_EQ(text(main->localizedStringForKey(NS("OnlyEnglish"), nullptr, nullptr)), "english");
    EXPECT_EQ(text(main->localizedStringForKey(NS("greeting"), nullptr, NS("Other"))),
              "hi from base");
    EXPECT_EQ(text(NSLocalizedStringFromTable(NS("Missing"), NS("Other"), nil)), "Missing");
    EXPECT_EQ(text(main->localizedStringForKey(NS("Missing"), NS("fallback"), nullptr)),
              "fallback");
    EXPECT_EQ(text(main->localizedStringForKey(NS("Missing"), NS(""), nullptr)), "Missing");
    prefer({NS("de")});  // a language the bundle lacks: English
    EXPECT_EQ(text(main->localizedStringForKey(NS("Cancel"), nullptr, nullptr)), "Cancel");
}

TEST_F(NSBundleTest, SubBundlesAndOtherFolders) {
    auto sub = NSBundle::bundleWithPath(
        NSBundle::mainBundle()->pathForResource(NS("Dodiz20"), NS("bundle")));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(text(sub->bundlePath()), at("Dodiz20.bundle"));
    EXPECT_EQ(text(sub->localizedStringForKey(NS("Error"), nullptr, nullptr)), "Problem");
    EXPECT_EQ(text(sub->localizedStringForKey(NS("Cancel"), nullptr, nullptr)), "Cancel");
    EXPECT_EQ(sub->infoDictionary()->count(), 0u);
    EXPECT_EQ(sub->bundleIdentifier(), nullptr);
    EXPECT_EQ(NSBundle::bundleWithPath(str(at("Dodiz20.bundle/"))).get(), sub.get());
    EXPECT_EQ(NSBundle::bundleWithPath(str(at("icon.png"))), nullptr);
    EXPECT_EQ(NSBundle::bundleWithPath(str(at("nothing"))), nullptr);
}

TEST_F(NSBundleTest, OldStyleInfoAndResetReadsAgain) {
    write("Info.plist", "{ CFBundleIdentifier = com.example.old; CFBundleName = \"Old Style\"; }");
    NSBundle::resetMainBundle();
    EXPECT_EQ(text(NSBundle::mainBundle()->bundleIdentifier()), "com.example.old");
    EXPECT_EQ(text(NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("CFBundleName"))),
              "Old Style");
}

}  // namespace
