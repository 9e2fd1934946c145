#include <limits>

#include "BridgeTesting.h"
#include "Foundation/NSArray.h"
#include "UIKit/UIDevice.h"
#include "ads/ironvine/IVApplicationCommandHandler.h"
#include "ads/ironvine/IVAudioEngine.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVCocoaCommandHandler.h"
#include "ads/ironvine/IVStandardCommandHandler.h"

namespace {

constexpr double kForeground = 1.0 / 15.0;

TEST_F(BridgeTest, ScriptTextsAreExact) {
    auto handler = make<RecordingHandler>();
    EXPECT_EQ(
        IVJavascriptBridge::generateBridgeScript(NS("BridgeTest"), handler.get())->utf8(),
        "var BridgeTest = function()\n{\n\tvar self = {};\n"
        "\tself.record = "
        "function(a_record)\n\t{\n\t\tsendCommand(\"bridge_record:\\\"\"+a_record+\"\\\";\");\n\t}"
        "\n\n"
        "\tself.stopSoundEffects = "
        "function()\n\t{\n\t\tsendCommand(\"bridge_stopSoundEffects;\");\n\t}\n\n"
        "\tself.fail = function()\n\t{\n\t\tsendCommand(\"bridge_fail;\");\n\t}\n\n"
        "\tself.playSoundEffectNamedLoopCountVolume = function(a_playSoundEffectNamed, "
        "a_loopCount, a_volume)\n\t{\n"
        "\t\tsendCommand(\"bridge_playSoundEffectNamed:\\\"\"+a_playSoundEffectNamed+\"\\\" "
        "loopCount:\\\"\"+a_loopCount+\"\\\" volume:\\\"\"+a_volume+\"\\\";\");\n\t}\n\n"
        "\tself.performSelectorOnClassWithObjectWithObjectWithCallback = "
        "function(a_performSelector, a_onClass, a_withObject, a_withObject, a_withCallback)\n\t{\n"
        "\t\tsendCommand(\"bridge_performSelector:\\\"\"+a_performSelector+\"\\\" "
        "onClass:\\\"\"+a_onClass+\"\\\" withObject:\\\"\"+a_withObject+\"\\\" "
        "withObject:\\\"\"+a_withObject+\"\\\" "
        "withCallback:\\\"\"+a_withCallback+\"\\\";\");\n\t}\n\n"
        "\treturn self;\n}();");
    IVController::sharedController()->setApplicationID(NS("app-1"));
    IVController::sharedController()->setServerURL(NS("http://ads.ironvine.test/AdBridgeServer"));
    // The page starts with the installed script pair's version.
    auto manager = IVController::sharedController()->clientManager();
    auto installed = manager->clientVersion();
    manager->setClientVersion(NS("1.0"));
    bridge = IVJavascriptBridge::bridgeInMode(1, webView.get(), handler.get());
    std::string globals = bridge->globalsScript()->utf8();
    std::string expected =
        "var UserInfo=function(){var _1=\"1.0\";var _2={};function "
        "_3(){return\"app-1\";};_2.getAppId=_3;"
        "function _4(){return _1;};_2.getClientVersion=_4;function "
        "_5(v){_1=v;};_2.setClientVersion=_5;"
        "function _6(){return\"" +
        IVController::deviceName()->utf8() +
        "\";};_2.getDeviceName=_6;"
        "function _7(){return\"" +
        IVController::deviceUID()->utf8() +
        "\";};_2.getDeviceUid=_7;"
        "function _8(){return\"3.1.2\";};_2.getHostVersion=_8;function _9(){return " +
        std::to_string(IVController::sessionStart()) +
        ";};_2.getSessionStart=_9;"
        "function "
        "_a(){return\"http://ads.ironvine.test/AdBridgeServer\";};_2.getServerURL=_a;return _2;}();"
        "var g_capabilities=[\"accel\",\"audio\"];";
    EXPECT_EQ(globals, expected);
    EXPECT_EQ(bridge->bridgeScript()->utf8(),
              IVJavascriptBridge::baseScript()->utf8() + "\n" + handler->bridgeScript()->utf8());
    bridge->loadJavascriptString(NS("var mine = 7;"), NS("window.loaded = UserInfo.getAppId();"),
                                 nullptr);
    settle();
    EXPECT_EQ(eval("mine"), "7");
    EXPECT_EQ(eval("window.loaded"), "app-1");
    EXPECT_EQ(eval("g_capabilities.length"), "2");
    EXPECT_EQ(
        eval("UserInfo.getSessionStart() === " + std::to_string(IVController::sessionStart())),
        "true");
    EXPECT_EQ(eval("document.title"), "Advertisement");
    EXPECT_EQ(eval("UserInfo.getClientVersion()"), "1.0");
    manager->setClientVersion(nullptr);
    EXPECT_EQ(bridge->globalsScript()->utf8().rfind("var UserInfo=function(){var _1=\"0.0\";", 0),
              0u);
    manager->setClientVersion(installed.get());
}

TEST_F(BridgeTest, GrammarCases) {
    auto h = make<RecordingHandler>();
    start(1, {h.get()});
    auto run = [&](const char* command) {
        h->calls.clear();
        bridge->executeCocoaCommand(str(command).get());
        return h->calls.empty() ? std::string("dropped") : h->calls[0];
    };
    EXPECT_EQ(run("bridge_stopSoundEffects;"), "stop");
    EXPECT_EQ(run("x:\"a b\" y:true"), "x:y: string(a b) number(1)");
    EXPECT_EQ(run("x:\"\" y:no"), "x:y: string() number(0)");
    EXPECT_EQ(run("x:YES y:-2.5e1;"), "x:y: number(1) number(-25)");
    EXPECT_EQ(run("  x:\"q\"   y:\"r\""), "x:y: string(q) string(r)");
    EXPECT_EQ(run("x:\"a:b\" y:\"c d:e\""), "x:y: string(a:b) string(c d:e)");
    EXPECT_EQ(run("x:abc y:1"), "x:y: number(0) number(1)");
    EXPECT_EQ(run("bridge_record:\"v\""), "record v");
    EXPECT_EQ(run("bridge_recrd:\"v\""), "dropped");
    EXPECT_EQ(run("x:\"1\""), "dropped");
    EXPECT_EQ(run(""), "dropped");
    // What the root object offers is never reached.
    EXPECT_EQ(run("release;"), "dropped");
    EXPECT_EQ(run("description;"), "dropped");
    EXPECT_FALSE(bridge->invocationForString(NS("x:1 y:2"), nullptr));
    auto call = bridge->invocationForString(NS("setExecMode:1;"), bridge.get());
    ASSERT_TRUE(call);
    EXPECT_EQ(call->getArgument(2).type(), "i");
    EXPECT_EQ(call->getArgument(2).toLongLong(), 1);
    // Numbers in text beyond an integer's range saturate; NaN reads as zero.
    auto huge = bridge->invocationForString(NS("setExecMode:\"1e300\";"), bridge.get());
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->getArgument(2).toLongLong(), std::numeric_limits<long long>::max());
    auto low = bridge->invocationForString(NS("setExecMode:\"-1e300\";"), bridge.get());
    ASSERT_TRUE(low);
    EXPECT_EQ(low->getArgument(2).toLongLong(), std::numeric_limits<long long>::min());
}

TEST_F(BridgeTest, ForegroundTakesTheWholeQueueInOrder) {
    auto h = make<RecordingHandler>();
    start(1, {h.get()});
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), kForeground);
    eval("BridgeTest.record('a'); BridgeTest.record('b'); BridgeTest.record('c');");
    advanceRunLoop(kForeground);
    EXPECT_EQ(h->calls, (std::vector<std::string>{"record a", "record b", "record c"}));
    EXPECT_EQ(bridge->poll(), 0u);
}

TEST_F(BridgeTest, BackgroundTakesOneCommandATick) {
    auto h = make<RecordingHandler>();
    IVController::sharedController()->setExecMode(0);
    start(0, {h.get()});
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 0.5);
    eval("BridgeTest.record('a'); BridgeTest.record('b');");
    advanceRunLoop(0.5);
    EXPECT_EQ(h->calls, (std::vector<std::string>{"record a"}));
    advanceRunLoop(0.5);
    EXPECT_EQ(h->calls, (std::vector<std::string>{"record a", "record b"}));
    // The controller's mode decides what a poll takes, not the bridge's.
    IVController::sharedController()->setExecMode(1);
    eval("BridgeTest.record('c'); BridgeTest.record('d');");
    advanceRunLoop(0.5);
    EXPECT_EQ(h->calls.size(), 4u);
}

TEST_F(BridgeTest, AnExceptionDropsOnlyTheRestOfItsBatch) {
    auto h = make<RecordingHandler>();
    start(1, {h.get()});
    eval("BridgeTest.record('1'); BridgeTest.fail(); BridgeTest.record('lost');");
    advanceRunLoop(kForeground);
    EXPECT_EQ(h->calls, (std::vector<std::string>{"record 1"}));
    eval("BridgeTest.record('2');");
    advanceRunLoop(kForeground);
    EXPECT_EQ(h->calls, (std::vector<std::string>{"record 1", "record 2"}));
}

TEST_F(BridgeTest, IntervalsOverridesAndTheFloor) {
    auto h = make<RecordingHandler>();
    start(1, {h.get()});
    eval("Bridge.setPollingInterval(0.01);");
    advanceRunLoop(kForeground);
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 1.0 / 30.0);
    bridge->setPollingIntervalOverride(NSNumber::numberWithDouble(0.01).get());
    bridge->setPollingIntervalOverride(NSNumber::numberWithDouble(2.0).get());
    EXPECT_FALSE(bridge->pollingIntervalOverride());
    bridge->setPollingIntervalOverride(NSNumber::numberWithDouble(1.0).get());
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 1.0);
    bridge->handleExecModeUpdate(0);
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 1.0);
    EXPECT_EQ(bridge->execMode(), 0);
    bridge->setPollingIntervalOverride(NSNumber::numberWithDouble(1.0 / 30.0).get());
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 1.0 / 30.0);

    auto plain = IVJavascriptBridge::bridgeInMode(7, nullptr, nullptr);
    EXPECT_EQ(plain->execMode(), 0);
    EXPECT_DOUBLE_EQ(plain->currentPollingInterval(), 0.5);
    plain->handleExecModeUpdate(1);
    EXPECT_DOUBLE_EQ(plain->currentPollingInterval(), kForeground);
    plain->handleExecModeUpdate(5);
    EXPECT_EQ(plain->execMode(), 1);
    plain->setExecMode(0);  // no timer change
    EXPECT_DOUBLE_EQ(plain->currentPollingInterval(), kForeground);
    UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
    plain->handleExecModeUpdate(0);
    EXPECT_DOUBLE_EQ(plain->currentPollingInterval(), 1.0 / 30.0);
    UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
    plain->halt();
    EXPECT_DOUBLE_EQ(plain->currentPollingInterval(), 0.0);
}

TEST_F(BridgeTest, ResultsWaitForThePageAndLoadsHaltPolling) {
    auto h = make<RecordingHandler>();
    bridge = IVJavascriptBridge::bridgeInMode(1, webView.get(), h.get());
    bridge->loadJavascriptString(NS(""), NS(""), nullptr);
    bridge->sendJavascriptCommand(NS("window.early = 'kept'"));
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 0.0);
    settle();
    EXPECT_EQ(eval("window.early"), "kept");
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), kForeground);
    EXPECT_EQ(original->events, (std::vector<std::string>{"should", "start", "finish"}));
    // The replaced delegate still decides what loads.
    original->events.clear();
    original->allow = false;
    bridge->loadJavascriptString(NS("window.refused = 1;"), NS(""), nullptr);
    settle();
    EXPECT_EQ(original->events, (std::vector<std::string>{"should"}));
    EXPECT_EQ(eval("window.refused"), "");
    original->allow = true;
    // A second load cancels the first: the cancellation is swallowed, polling stays halted
    // until the new page is there.
    original->events.clear();
    bridge->loadJavascriptString(NS(""), NS(""), nullptr);
    bridge->loadJavascriptString(NS(""), NS(""), nullptr);
    EXPECT_EQ(original->events, (std::vector<std::string>{"should", "start", "should", "start"}));
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 0.0);
    auto cancelled = NSError::errorWithDomain(NS("NSURLErrorDomain"), -999, nullptr);
    bridge->webViewDidFailLoadWithError(webView.get(), cancelled.get());
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 0.0);
    settle();
    EXPECT_EQ(original->events,
              (std::vector<std::string>{"should", "start", "should", "start", "finish"}));
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), kForeground);
    auto other = NSError::errorWithDomain(NS("NSURLErrorDomain"), -1009, nullptr);
    bridge->halt();
    bridge->webViewDidFailLoadWithError(webView.get(), other.get());
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), kForeground);
    EXPECT_EQ(original->events.back(), "fail -1009");
}

}  // namespace

namespace {

std::vector<std::string> functionNames(NSString* script) {
    std::vector<std::string> names;
    std::string s = script->utf8();
    for (size_t at = s.find("\tself."); at != std::string::npos; at = s.find("\tself.", at + 1))
        names.push_back(s.substr(at + 6, s.find(' ', at) - at - 6));
    return names;
}

// A callback is script text with one conversion for the result; every other directive, a
// literal "%%" included, stays as it is.
TEST(HandlerScriptTest, CallbackFormatsFillOnlyTheirOneConversion) {
    auto fillText = [](const char* format, const char* value) {
        return IVFillCallback(NSString::fromUTF8(format).get(), std::string(value))->utf8();
    };
    auto fillNumber = [](const char* format, int64_t value) {
        return IVFillCallback(NSString::fromUTF8(format).get(), value)->utf8();
    };
    EXPECT_EQ(fillText("got(%s)", "\"a\""), "got(\"a\")");
    EXPECT_EQ(fillText("100%%s done %s", "X"), "100%%s done X");
    EXPECT_EQ(fillText("%%%s", "X"), "%%X");
    EXPECT_EQ(fillText("%%%%s %s", "X"), "%%%%s X");
    EXPECT_EQ(fillText("%d then %s", "X"), "%d then X");
    EXPECT_EQ(fillText("only %%s", "X"), "only %%s");
    EXPECT_EQ(fillText("trailing %", "X"), "trailing %");
    EXPECT_EQ(fillNumber("%%d of %d", 5), "%%d of 5");
    EXPECT_EQ(fillNumber("%s %qi", 1234567890123), "%s 1234567890123");
    EXPECT_EQ(fillNumber("50%% %i", -1), "50%% -1");
}

TEST(HandlerScriptTest, GeneratedFunctionsFollowTheCommandTables) {
    EXPECT_EQ(functionNames(make<IVAudioCommandHandler>()->bridgeScript().get()),
              (std::vector<std::string>{
                  "setSoundEffectVolume", "stopSoundEffects", "stopSoundEffectNamed",
                  "playSoundEffectNamed", "playSoundEffectNamedLoopCount",
                  "playSoundEffectNamedLoopCountVolume", "setBackgroundMusicVolume",
                  "stopBackgroundMusic", "playBackgroundMusicNamed",
                  "playBackgroundMusicNamedLoopCount", "playBackgroundMusicNamedLoopCountVolume",
                  "releaseAll", "releaseAudioNamed", "preloadAudioNamed", "setMasterVolume",
                  "resume", "suspend", "initializeWithSlotNameDlTime"}));
    EXPECT_EQ(
        functionNames(make<IVCocoaCommandHandler>()->bridgeScript().get()),
        (std::vector<std::string>{
            "classDoesRespondToSelectorNamedWithCallback",
            "objectDoesRespondToSelectorNamedWithCallback",
            "performSelectorOnClassWithObjectWithObjectWithCallback",
            "performSelectorOnClassWithObjectWithCallback", "performSelectorOnClassWithCallback",
            "performSelectorOnObjectWithObjectWithObjectWithCallback",
            "performSelectorOnObjectWithObjectWithCallback", "performSelectorOnObjectWithCallback",
            "releaseObject", "retainObject", "valueForObjectWithCallback",
            "selectorsForClassWithCallback"}));
    auto app = make<IVApplicationCommandHandler>()->bridgeScript()->utf8();
    EXPECT_EQ(
        app,
        "var BridgeApp = function()\n{\n\tvar self = {};\n"
        "\tself.infoDictionaryValueForKeyWithCallback = function(a_infoDictionaryValueForKey, "
        "a_withCallback)\n\t{\n\t\tsendCommand(\"bridge_infoDictionaryValueForKey:\\\"\"+"
        "a_infoDictionaryValueForKey+\"\\\" withCallback:\\\"\"+a_withCallback+\"\\\";\");\n"
        "\t}\n\n\treturn self;\n}();");
}

TEST(HandlerScriptTest, BridgeLibScriptIsFixed) {
    std::string expected =
        R"JS(var BridgeLib=function(){var _1={};function _2(){return")JS" +
        IVController::localFileBaseURL()->absoluteString()->utf8() +
        R"JS(";};_1.getLocalFileBaseURL=_2;function _3(_4){sendCommand("log:\""+_4+"\";");};_1.log=_3;function _5(_6){sendCommand("sqlExecute:\""+_6+"\";");};_1.sqlExecute=_5;function _7(_8,_9){sendCommand("sqlExecute:\""+_8+"\" callback:\""+_9+"\";");};_1.sqlExecuteWithCallback=_7;function _a(_b,_c){sendCommand("setSetting:\""+_b+"\" base64Data:\""+_c+"\";");};_1.setSettingBase64String=_a;function _d(_e,_f){sendCommand("setSetting:\""+_e+"\" string:\""+_f+"\";");};_1.setSettingString=_d;function _10(_11,_12){sendCommand("setSetting:\""+_11+"\" number:\""+_12+"\";");};_1.setSettingNumber=_10;function _13(_14,_15){sendCommand("getSetting:\""+_14+"\" callback:\""+_15+"\";");};_1.getSettingWithCallback=_13;function _16(_17,_18){sendCommand("setControllerProperty:\""+_17+"\" value:\""+_18+"\";");};_1.setControllerProperty=_16;function _19(_1a,_1b){sendCommand("getControllerProperty:\""+_1a+"\" callback:\""+_1b+"\";");};_1.getControllerPropertyWithCallback=_19;function _1c(_1d,_1e){sendCommand("getNetworkReachabilityForURL:\""+_1d+"\" callback:\""+_1e+"\";");};_1.getNetworkReachabilityWithCallback=_1c;function _1f(_20){sendCommand("getExecModeWithCallback:\""+_20+"\";");};_1.getExecModeWithCallback=_1f;function _21(_22){sendCommand("setExecMode:"+_22+";");};_1.setExecMode=_21;function _23(_24,_25,_26){sendCommand("writeFile:\""+_24+"\" withContentsOfURL:\""+_25+"\" callback:\""+_26+"\";");};_1.writeFileWithContentsOfURLWithCallback=_23;function _27(_28,_29,_2a){sendCommand("unzipContentsOfURL:\""+_28+"\" toFolder:\""+_29+"\" callback:\""+_2a+"\";");};_1.unzipContentsOfURLToFolderWithCallback=_27;function _2b(_2c,_2d){sendCommand("fileWrite:\""+_2c+"\" string:\""+_2d+"\";");};_1.fileWriteString=_2b;function _2e(_2f,_30){sendCommand("fileWrite:\""+_2f+"\" base64String:\""+_30+"\";");};_1.fileWriteBase64String=_2e;function _31(_32,_33,_34){sendCommand("unzipFile:\""+_32+"\" toFolder:\""+_33+"\" callback:\""+_34+"\";");};_1.unzipFileToFolderWithCallback=_31;function _35(_36,_37){sendCommand("loadStringFromFile:\""+_36+"\" callback:\""+_37+"\";");};_1.loadStringFromFileWithCallback=_35;function _38(_39,_3a){sendCommand("loadBase64StringFromFile:\""+_39+"\" callback:\""+_3a+"\";");};_1.loadBase64StringFromFileWithCallback=_38;function _3b(_3c){sendCommand("deleteFile:\""+_3c+"\";");};_1.deleteFile=_3b;function _3d(_3e){sendCommand("getLogContentsWithCallback:\""+_3e+"\";");};_1.getLogContentsWithCallback=_3d;function _3f(){sendCommand("resetLogContents;");};_1.resetLogContents=_3f;function _40(_41){sendCommand("callback:\""+_41+"\";");};_1.callback=_40;return _1;}();)JS";
    EXPECT_EQ(make<IVStandardCommandHandler>()->bridgeScript()->utf8(), expected);
    EXPECT_EQ(
        IVJavascriptBridge::baseScript()->utf8(),
        R"JS(var ExecMode={BG:0,FG:1};var g_commandQueue=[];function commandList(_1){if(_1===ExecMode.BG){return g_commandQueue.shift();}else{if(_1===ExecMode.FG){var _2=g_commandQueue.join("\n");g_commandQueue=[];return _2;}}};function sendCommand(_3){g_commandQueue.push(_3);};var Bridge=function(){var _4={};function _5(_6){sendCommand("setPollingInterval:"+_6+";");};_4.setPollingInterval=_5;return _4;}();)JS");
}

}  // namespace
