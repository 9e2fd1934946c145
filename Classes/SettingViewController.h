// Two screens that nothing in the app creates: only the base class's memory-warning, view-unload
// and destruction steps.
#pragma once

#include "UIKit/UIViewController.h"

class SettingViewController : public UIViewController {
    NS_OBJECT(SettingViewController, UIViewController)
};

class PostViewController : public UIViewController {
    NS_OBJECT(PostViewController, UIViewController)
};
