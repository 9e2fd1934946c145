// Helpers for the controller and table tests: controllers that write their life-cycle calls
// into a shared log, and a key window to show them in.
#pragma once

#include <string>
#include <vector>

#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"

using CallLog = std::vector<std::string>;

class RecordingController : public UIViewController {
    NS_OBJECT(RecordingController, UIViewController)
    std::string name;
    CallLog* log = nullptr;

    void add(const std::string& call) {
        if (log) log->push_back(name + "." + call);
    }
    void viewDidLoad() override { add("viewDidLoad"); }
    void viewDidUnload() override { add("viewDidUnload"); }
    void viewWillAppear(bool animated) override {
        add(std::string("viewWillAppear:") + (animated ? "1" : "0"));
    }
    void viewDidAppear(bool animated) override {
        add(std::string("viewDidAppear:") + (animated ? "1" : "0"));
    }
    void viewWillDisappear(bool animated) override {
        add(std::string("viewWillDisappear:") + (animated ? "1" : "0"));
    }
    void viewDidDisappear(bool animated) override {
        add(std::string("viewDidDisappear:") + (animated ? "1" : "0"));
    }
};

inline Ref<RecordingController> recorder(const std::string& name, CallLog& log) {
    auto c = make<RecordingController>();
    c->name = name;
    c->log = &log;
    return c;
}

inline Ref<UIWindow> keyWindow() {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
    window->makeKeyAndVisible();
    return window;
}
