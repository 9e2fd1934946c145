#include "BridgeTesting.h"
#include "Foundation/NSArray.h"
#include "UIKit/UIDevice.h"

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
    bridge = IVJavascriptBridge::bridgeInMode(1, webView.get(), handler.get());
    std::string globals = bridge->globalsScript()->utf8();
    std::string expected =
        "var UserInfo=function(){var _1=\"\";var _2={};function "
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
