// A bridge page that calls every BridgeLib, BridgeApp, BridgeCocoa and BridgeAudio function,
// against the stand-in ad server over real sockets.
#include <chrono>
#include <filesystem>

#include "AVFoundation/AVAudioPlayer.h"
#include "BridgeTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSPathUtilities.h"
#include "IronvineTesting.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIDevice.h"
#include "ads/ironvine/IVApplicationCommandHandler.h"
#include "ads/ironvine/IVAudioEngine.h"
#include "ads/ironvine/IVBase64.h"
#include "ads/ironvine/IVCocoaCommandHandler.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVStandardCommandHandler.h"
#include "support/services/RunningServices.h"
#include "tools/services/IronvineBundles.h"

namespace {

namespace fs = std::filesystem;

const std::string kServer = "http://ads.ironvine.test/AdBridgeServer";

bnservices::Fault fault(const std::string& path, int status, bnservices::Fault::Delivery delivery) {
    bnservices::Fault f;
    f.host = "ads.ironvine.test";
    f.path = path;
    f.status = status;
    f.delivery = delivery;
    f.truncateAt = 10;
    return f;
}

class BridgePage : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        servicestest::services().clearFaults();
        lib = make<IVStandardCommandHandler>();
        app = make<IVApplicationCommandHandler>();
        audio = make<IVAudioCommandHandler>();
        cocoa = make<IVCocoaCommandHandler>();
        start(1, {lib.get(), app.get(), audio.get(), cocoa.get()},
              "var R={};function got(k,v){R[k]=v;}");
        docs = IVController::localFileBasePath()->utf8();
    }
    void TearDown() override {
        servicestest::services().clearFaults();
        BridgeTest::TearDown();
    }
    // Runs the script, then polls, moves the clock and lets workers and sockets answer until
    // R[key] is set.
    std::string call(const std::string& js, const std::string& key, double realSeconds = 10) {
        eval(js);
        auto set = [&] { return eval("typeof R['" + key + "']") != "undefined"; };
        auto start = std::chrono::steady_clock::now();
        while (!set()) {
            advanceRunLoop(0.1);
            runLoopUntil(set, 0.01);
            if (std::chrono::steady_clock::now() - start >
                std::chrono::duration<double>(realSeconds))
                return "<no callback>";
        }
        return eval("R['" + key + "']");
    }
    // Runs the script and lets everything it started finish, without expecting an answer.
    void run(const std::string& js) {
        eval(js);
        for (int i = 0; i < 10; ++i) {
            advanceRunLoop(0.1);
            runLoopUntil([] { return false; }, 0.01);
        }
    }
    // Runs the script and performs what it queued in one poll.
    void tick(const std::string& js) {
        eval(js);
        advanceRunLoop(1.0 / 15.0);
    }
    static std::string js(const std::string& text) {
        std::string out = "'";
        for (char c : text)
            out += c == '\'' ? std::string("\\'") : std::string(1, c);
        return out + "'";
    }

    Ref<IVStandardCommandHandler> lib;
    Ref<IVApplicationCommandHandler> app;
    Ref<IVAudioCommandHandler> audio;
    Ref<IVCocoaCommandHandler> cocoa;
    std::string docs;
};

TEST_F(BridgePage, DownloadsAndFileTexts) {
    EXPECT_EQ(eval("BridgeLib.getLocalFileBaseURL()"),
              IVController::localFileBaseURL()->absoluteString()->utf8());
    std::string quotes = *bnservices::ironvineFile("quotes.txt");
    EXPECT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('dl/a/quotes.txt', '" +
                       kServer + "/files/quotes.txt', 'got(\\'ok\\',%d)')",
                   "ok"),
              "1");
    EXPECT_EQ(ivtest::readFile(docs + "/dl/a/quotes.txt"), quotes);
    // The text comes back whole: quotes, line feeds, line separators and "%" included.
    EXPECT_EQ(
        call("BridgeLib.loadStringFromFileWithCallback('dl/a/quotes.txt', 'got(\\'text\\',%s)')",
             "text"),
        quotes);
    EXPECT_EQ(call("BridgeLib.loadStringFromFileWithCallback('dl/none.txt', 'got(\\'none\\',%s)')",
                   "none"),
              "");
    EXPECT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('dl/tone.wav', '" + kServer +
                       "/files/tone.wav', 'got(\\'wav\\',%d)')",
                   "wav"),
              "1");
    std::string wav = *bnservices::ironvineFile("tone.wav");
    EXPECT_EQ(
        call("BridgeLib.loadBase64StringFromFileWithCallback('dl/tone.wav', 'got(\\'b64\\',%s)')",
             "b64"),
        IVBase64::base64StringWithData(NSData::dataWithBytes(wav.data(), wav.size()).get())
            ->utf8());

    EXPECT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('dl/404.txt', '" + kServer +
                       "/files/nothing.txt', 'got(\\'e404\\',%d)')",
                   "e404"),
              "0");
    auto& services = servicestest::services();
    services.addFault(
        fault("/AdBridgeServer/files/quotes.txt", 500, bnservices::Fault::Delivery::Normal));
    EXPECT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('dl/500.txt', '" + kServer +
                       "/files/quotes.txt', 'got(\\'e500\\',%d)')",
                   "e500"),
              "0");
    services.clearFaults();
    services.addFault(fault("/AdBridgeServer/files/", 0, bnservices::Fault::Delivery::Truncate));
    EXPECT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('dl/cut.txt', '" + kServer +
                       "/files/quotes.txt', 'got(\\'cut\\',%d)')",
                   "cut"),
              "0");
    services.clearFaults();
    services.addFault(fault("/AdBridgeServer/files/", 0, bnservices::Fault::Delivery::Drop));
    EXPECT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('dl/drop.txt', '" + kServer +
                       "/files/quotes.txt', 'got(\\'drop\\',%d)')",
                   "drop"),
              "0");
    for (const char* f : {"404.txt", "500.txt", "cut.txt", "drop.txt"})
        EXPECT_FALSE(fs::exists(docs + "/dl/" + f)) << f;

    run("BridgeLib.fileWriteString('notes/n.txt', 'it\\'s \\u2028 fine'); "
        "BridgeLib.fileWriteBase64String('notes/b.bin', 'AAEC\\n/w==');");
    EXPECT_EQ(ivtest::readFile(docs + "/notes/n.txt"), "it's \u2028 fine");
    EXPECT_EQ(ivtest::readFile(docs + "/notes/b.bin"), std::string("\x00\x01\x02\xFF", 4));
    run("BridgeLib.deleteFile('notes/n.txt');");
    EXPECT_FALSE(fs::exists(docs + "/notes/n.txt"));
}

TEST_F(BridgePage, BundlesUnpackAsTreesAndNeverLeaveDocuments) {
    auto expectTree = [&](const std::string& folder, const std::string& bundle) {
        std::map<std::string, std::string> want;
        auto entries = *bnservices::ironvineBundleEntries(bundle);
        for (const auto& e : entries) {
            std::string name = e.name;
            bool dir = name.back() == '/';
            if (dir) name.pop_back();
            want[name] = dir ? "/" : e.data;
            for (size_t s = name.find('/'); s != std::string::npos; s = name.find('/', s + 1))
                want[name.substr(0, s)] = "/";
        }
        EXPECT_EQ(ivtest::tree(docs + "/" + folder), want);
    };
    EXPECT_EQ(call("BridgeLib.unzipContentsOfURLToFolderWithCallback('" + kServer +
                       "/bundles/nested.zip', 'b/nested', 'got(\\'nested\\',%d)')",
                   "nested"),
              "1");
    expectTree("b/nested", "nested");
    EXPECT_FALSE(fs::exists(docs + "/temp.zip"));

    EXPECT_EQ(call("BridgeLib.unzipContentsOfURLToFolderWithCallback('" + kServer +
                       "/bundles/hostile.zip', 'b/hostile', 'got(\\'hostile\\',%d)')",
                   "hostile"),
              "1");
    EXPECT_EQ(ivtest::tree(docs + "/b/hostile"),
              (std::map<std::string, std::string>{{"good.txt", "good"}}));
    EXPECT_FALSE(fs::exists(docs + "/b/x"));
    EXPECT_FALSE(fs::exists(docs + "/x"));
    EXPECT_FALSE(fs::exists(docs + "/y"));

    EXPECT_EQ(call("BridgeLib.unzipContentsOfURLToFolderWithCallback('" + kServer +
                       "/bundles/truncated.zip', 'b/truncated', 'got(\\'truncated\\',%d)')",
                   "truncated"),
              "0");
    EXPECT_EQ(call("BridgeLib.unzipContentsOfURLToFolderWithCallback('" + kServer +
                       "/bundles/understated.zip', 'b/under', 'got(\\'under\\',%d)')",
                   "under"),
              "0");
    EXPECT_EQ(ivtest::tree(docs + "/b/under"),
              (std::map<std::string, std::string>{{"fine.txt", "fine"}}));
    EXPECT_EQ(call("BridgeLib.unzipContentsOfURLToFolderWithCallback('" + kServer +
                       "/bundles/missing.zip', 'b/missing', 'got(\\'missing\\',%d)')",
                   "missing"),
              "0");
    EXPECT_FALSE(fs::exists(docs + "/temp.zip"));

    std::string zip = *bnservices::ironvineBundle("nested");
    auto b64 =
        IVBase64::base64StringWithData(NSData::dataWithBytes(zip.data(), zip.size()).get())->utf8();
    run("BridgeLib.fileWriteBase64String('local.zip', '" + b64 + "');");
    EXPECT_EQ(call("BridgeLib.unzipFileToFolderWithCallback('local.zip', 'b/local', "
                   "'got(\\'local\\',\\'done\\')')",
                   "local"),
              "done");
    expectTree("b/local", "nested");
    EXPECT_FALSE(fs::exists(docs + "/local.zip"));

    // Paths that leave Documents do nothing at all.
    std::string home = NSHomeDirectory()->utf8();
    run("BridgeLib.fileWriteString('../escaped.txt', 'x'); "
        "BridgeLib.fileWriteString('/../../e2.txt', 'x');"
        "BridgeLib.deleteFile('..'); BridgeLib.deleteFile(''); BridgeLib.deleteFile('b/..');");
    EXPECT_FALSE(fs::exists(home + "/escaped.txt"));
    EXPECT_TRUE(fs::exists(docs + "/b/nested"));
    EXPECT_EQ(call("BridgeLib.loadStringFromFileWithCallback('../Library/x', 'got(\\'out\\',%s)'); "
                   "BridgeLib.callback('got(\\'after\\',1)')",
                   "after"),
              "1");
    EXPECT_EQ(eval("typeof R.out"), "undefined");
}

TEST_F(BridgePage, SettingsSqlAndTheController) {
    EXPECT_EQ(call("BridgeLib.setSettingString('k\\'1', 'it\\'s; DROP TABLE settings'); "
                   "BridgeLib.getSettingWithCallback('k\\'1', 'got(\\'s\\',%s)')",
                   "s"),
              "it's; DROP TABLE settings");
    EXPECT_EQ(call("BridgeLib.setSettingNumber('n1', '123456789012'); "
                   "BridgeLib.getSettingWithCallback('n1', 'got(\\'n\\',%qi)')",
                   "n"),
              "123456789012");
    EXPECT_EQ(call("BridgeLib.setSettingBase64String('b1', 'Ynl0ZXM='); "
                   "BridgeLib.getSettingWithCallback('b1', 'got(\\'b\\',%s)')",
                   "b"),
              "Ynl0ZXM=");
    EXPECT_EQ(call("BridgeLib.getSettingWithCallback('never', 'got(\\'never\\',%s)'); "
                   "BridgeLib.sqlExecuteWithCallback('SELECT 1', 'got(\\'sync\\',%s)')",
                   "sync"),
              "[[1]]");
    EXPECT_EQ(eval("typeof R.never"), "undefined");
    EXPECT_EQ(call("BridgeLib.sqlExecute('CREATE TABLE ads (slotName TEXT, dlTime INTEGER)'); "
                   "BridgeLib.sqlExecute('INSERT INTO ads VALUES(\\'it\\'\\'s\\', 5)'); "
                   "BridgeLib.sqlExecuteWithCallback('SELECT slotName, dlTime FROM ads', "
                   "'got(\\'rows\\',%s)')",
                   "rows"),
              "[[\"it's\",5]]");
    EXPECT_EQ(
        call("BridgeLib.sqlExecuteWithCallback('SELECT nothing FROM nowhere', 'got(\\'bad\\',%s)')",
             "bad"),
        "[]");
    // One conversion is filled; any other directive stays as text.
    EXPECT_EQ(
        call("BridgeLib.getSettingWithCallback('n1', 'got(\\'pct\\',\\'%s %%\\'+%qi)')", "pct"),
        "%s %%123456789012");

    auto controller = IVController::sharedController();
    EXPECT_EQ(
        call("BridgeLib.setControllerProperty('menuDisplayTime', '12.5'); "
             "BridgeLib.getControllerPropertyWithCallback('menuDisplayTime', 'got(\\'menu\\',%s)')",
             "menu"),
        "12.5");
    EXPECT_DOUBLE_EQ(controller->menuDisplayTime(), 12.5);
    controller->setServerURL(NS("http://ads.ironvine.test/AdBridgeServer"));
    EXPECT_EQ(call("BridgeLib.setControllerProperty('serverURL', 'http://evil.test/'); "
                   "BridgeLib.getControllerPropertyWithCallback('applicationID', "
                   "'got(\\'refused\\',%s)'); "
                   "BridgeLib.callback('got(\\'later\\',1)')",
                   "later"),
              "1");
    EXPECT_EQ(eval("typeof R.refused"), "undefined");
    EXPECT_EQ(controller->serverURL()->utf8(), "http://ads.ironvine.test/AdBridgeServer");
    controller->setMenuDisplayTime(10.0);

    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    EXPECT_EQ(
        call("BridgeLib.getNetworkReachabilityWithCallback('" + kServer + "', 'got(\\'net\\',%d)')",
             "net"),
        "2");
    SCNetworkReachabilitySetFlagsForTesting(0);
    EXPECT_EQ(
        call("BridgeLib.getNetworkReachabilityWithCallback('" + kServer + "', 'got(\\'off\\',%d)')",
             "off"),
        "0");
    SCNetworkReachabilityClearFlagsForTesting();

    EXPECT_EQ(
        call("BridgeLib.setExecMode(0); BridgeLib.getExecModeWithCallback('got(\\'mode\\',%d)')",
             "mode"),
        "0");
    EXPECT_EQ(bridge->execMode(), 0);
    EXPECT_EQ(
        call("BridgeLib.log('ignored'); BridgeLib.getLogContentsWithCallback('got(\\'log\\',1)'); "
             "BridgeLib.resetLogContents(); BridgeLib.callback('got(\\'cb\\',7)')",
             "cb"),
        "7");
    EXPECT_EQ(eval("typeof R.log"), "undefined");
}

// A main bundle of the test's own whose name needs escaping in a script.
struct BundleScope {
    BundleScope() {
        dir = NSTemporaryDirectory()->utf8() + "ivbundle";
        fs::create_directories(dir);
        ivtest::writeFile(
            dir + "/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleName</key><string>Ad &quot;Host&quot;\nApp\u2028</string>"
            "</dict></plist>\n");
        setenv("BAZAARNEST_BUNDLE", dir.c_str(), 1);
        NSBundle::resetMainBundle();
    }
    ~BundleScope() {
        unsetenv("BAZAARNEST_BUNDLE");
        NSBundle::resetMainBundle();
    }
    std::string dir;
};

TEST_F(BridgePage, ApplicationAndReflection) {
    BundleScope bundleScope;
    std::string key = "CFBundleName", value = "Ad \"Host\"\nApp\u2028";
    ASSERT_EQ(
        text(NSBundle::mainBundle()->infoDictionary()->objectForKey(NS("CFBundleName")).get()),
        value);
    EXPECT_EQ(
        call("BridgeApp.infoDictionaryValueForKeyWithCallback('" + key + "', 'got(\\'name\\',%s)')",
             "name"),
        value);
    EXPECT_EQ(
        call("BridgeApp.infoDictionaryValueForKeyWithCallback('NoSuchKey', 'got(\\'nokey\\',%s)')",
             "nokey"),
        "(null)");

    EXPECT_EQ(call("BridgeCocoa.classDoesRespondToSelectorNamedWithCallback('IVUtil', "
                   "'versionCompare:to:', 'got(\\'r1\\',%d)')",
                   "r1"),
              "1");
    EXPECT_EQ(call("BridgeCocoa.classDoesRespondToSelectorNamedWithCallback('NSFileManager', "
                   "'defaultManager', 'got(\\'r2\\',%d)')",
                   "r2"),
              "0");
    EXPECT_EQ(call("BridgeCocoa.classDoesRespondToSelectorNamedWithCallback('UIDevice', "
                   "'setUserInterfaceIdiom:', 'got(\\'r3\\',%d)')",
                   "r3"),
              "0");
    std::string h = call(
        "BridgeCocoa.performSelectorOnClassWithObjectWithObjectWithCallback('versionCompare:to:', "
        "'IVUtil', '4.10', '4.9', 'got(\\'h\\',%s)')",
        "h");
    EXPECT_EQ(h.rfind("obj@", 0), 0u);
    // The generated function repeats the parameter name of the repeated keyword, so the page
    // sends the second value twice; a command text can give both.
    EXPECT_EQ(
        call("BridgeCocoa.valueForObjectWithCallback('" + h + "', 'got(\\'v\\',\\'%s\\')')", "v"),
        "0");
    eval(
        "sendCommand('bridge_performSelector:\"versionCompare:to:\" onClass:\"IVUtil\" "
        "withObject:\"4.10\" "
        "withObject:\"4.9\" withCallback:\"got(\\'h2\\',%s)\";')");
    std::string h2 = call("", "h2");
    EXPECT_EQ(call("BridgeCocoa.valueForObjectWithCallback('" + h2 + "', 'got(\\'v2\\',\\'%s\\')')",
                   "v2"),
              "1");
    std::string device = call(
        "BridgeCocoa.performSelectorOnClassWithCallback('currentDevice', 'UIDevice', "
        "'got(\\'dev\\',%s)')",
        "dev");
    EXPECT_EQ(call("BridgeCocoa.objectDoesRespondToSelectorNamedWithCallback('" + device +
                       "', 'systemVersion', 'got(\\'r4\\',%d)')",
                   "r4"),
              "1");
    std::string version =
        call("BridgeCocoa.performSelectorOnObjectWithCallback('systemVersion', '" + device +
                 "', 'got(\\'ver\\',%s)')",
             "ver");
    EXPECT_EQ(
        call("BridgeCocoa.valueForObjectWithCallback('" + version + "', 'got(\\'vv\\',\\'%s\\')')",
             "vv"),
        UIDevice::currentDevice()->systemVersion()->utf8());
    std::string bundle = call(
        "BridgeCocoa.performSelectorOnClassWithCallback('mainBundle', 'NSBundle', "
        "'got(\\'bun\\',%s)')",
        "bun");
    std::string name = call(
        "BridgeCocoa.performSelectorOnObjectWithObjectWithCallback('objectForInfoDictionaryKey:', "
        "'" +
            bundle + "', '" + key + "', 'got(\\'bn\\',%s)')",
        "bn");
    EXPECT_EQ(
        call("BridgeCocoa.valueForObjectWithCallback('" + name + "', 'got(\\'bnv\\',\\'%s\\')')",
             "bnv"),
        value);
    std::string refused = call(
        "BridgeCocoa.performSelectorOnClassWithCallback('defaultManager', 'NSFileManager', "
        "'got(\\'no\\',%s)')",
        "no");
    EXPECT_EQ(
        call("BridgeCocoa.valueForObjectWithCallback('" + refused + "', 'got(\\'nov\\',\\'%s\\')')",
             "nov"),
        "DoesNotRespondToSelector");
    std::string lacking =
        call("BridgeCocoa.performSelectorOnObjectWithObjectWithObjectWithCallback('bounds', '" +
                 device + "', 'a', 'b', 'got(\\'lack\\',%s)')",
             "lack");
    EXPECT_EQ(
        call("BridgeCocoa.valueForObjectWithCallback('" + lacking + "', 'got(\\'lv\\',\\'%s\\')')",
             "lv"),
        "DoesNotRespondToSelector");
    EXPECT_EQ(call("BridgeCocoa.selectorsForClassWithCallback('Nope', 'got(\\'sel\\',%s)')", "sel"),
              "");
    EXPECT_EQ(eval("R.sel === null"), "true");
    call("BridgeCocoa.selectorsForClassWithCallback('IVUtil', 'got(\\'sels\\',%s)')", "sels");
    EXPECT_EQ(eval("R.sels.join(',')"),
              "versionCompare:to:,URLWillLoadExternalApp:,transformForOrientation:,"
              "delimitedStringFromString:leftDelimiter:rightDelimiter:start:,"
              "delimitedStringFromString:leftDelimiter:rightDelimiter:,"
              "replaceString:leftDelimiter:rightDelimiter:intoString:");
    // Retained twice and released three times: gone after the third release.
    NSUInteger before = cocoa->bridgedObjectCount();
    run("BridgeCocoa.retainObject('" + device + "'); BridgeCocoa.retainObject('" + device +
        "');"
        "BridgeCocoa.releaseObject('" +
        device + "'); BridgeCocoa.releaseObject('" + device + "');");
    EXPECT_TRUE(cocoa->bridgedObjectForKey(str(device).get()));
    run("BridgeCocoa.releaseObject('" + device + "');");
    EXPECT_FALSE(cocoa->bridgedObjectForKey(str(device).get()));
    EXPECT_EQ(cocoa->bridgedObjectCount(), before - 1);
}

TEST_F(BridgePage, AudioResolvesNamesInTheAdFolder) {
    ASSERT_EQ(call("BridgeLib.writeFileWithContentsOfURLWithCallback('IV/Content/slot/"
                   "1700000000000/tone.wav', '" +
                       kServer + "/files/tone.wav', 'got(\\'wav\\',%d)')",
                   "wav"),
              "1");
    run("BridgeAudio.playSoundEffectNamed('tone.wav');");
    EXPECT_FALSE(IVAudioEngine::sharedAudioEngine());  // nothing until initialised
    tick(
        "BridgeAudio.initializeWithSlotNameDlTime('slot', '1700000000000'); "
        "BridgeAudio.preloadAudioNamed('tone.wav');");
    auto engine = IVAudioEngine::sharedAudioEngine();
    ASSERT_TRUE(engine);
    std::string path = docs + "/IV/Content/slot/1700000000000/tone.wav";
    EXPECT_EQ(audio->resourcePath()->utf8(), docs + "/IV/Content/slot/1700000000000");
    EXPECT_EQ(engine->cachedCount(), 1u);
    auto player = engine->playerNamed(str(path).get());
    ASSERT_TRUE(player);
    tick("BridgeAudio.playSoundEffectNamed('tone.wav');");
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(player->numberOfLoops(), -1);
    tick("BridgeAudio.setMasterVolume('0.5'); BridgeAudio.setSoundEffectVolume('0.8');");
    EXPECT_FLOAT_EQ(player->volume(), 0.4f);
    tick("BridgeAudio.stopSoundEffectNamed('tone.wav');");
    EXPECT_FALSE(player->isPlaying());
    tick(
        "BridgeAudio.playSoundEffectNamedLoopCount('tone.wav', '2'); "
        "BridgeAudio.stopSoundEffects();");
    EXPECT_FALSE(player->isPlaying());
    tick(
        "BridgeAudio.setBackgroundMusicVolume('0.8'); "
        "BridgeAudio.playBackgroundMusicNamedLoopCountVolume('tone.wav', '3', '0.5');");
    EXPECT_TRUE(player->isPlaying());
    EXPECT_FLOAT_EQ(player->volume(), 0.2f);
    EXPECT_EQ(player->numberOfLoops(), 3);
    tick("BridgeAudio.suspend();");
    EXPECT_FALSE(player->isPlaying());
    tick("BridgeAudio.playBackgroundMusicNamed('tone.wav');");
    EXPECT_FALSE(player->isPlaying());
    tick(
        "BridgeAudio.resume(); BridgeAudio.stopBackgroundMusic(); "
        "BridgeAudio.playBackgroundMusicNamedLoopCount('tone.wav', '1'); "
        "BridgeAudio.playSoundEffectNamedLoopCountVolume('tone.wav', '0', '1');");
    EXPECT_TRUE(player->isPlaying());
    tick("BridgeAudio.releaseAudioNamed('tone.wav');");
    EXPECT_EQ(engine->cachedCount(), 0u);
    tick("BridgeAudio.preloadAudioNamed('tone.wav'); BridgeAudio.releaseAll();");
    EXPECT_EQ(engine->cachedCount(), 0u);
    IVAudioEngine::teardown();
    EXPECT_FALSE(IVAudioEngine::sharedAudioEngine());
}

}  // namespace
