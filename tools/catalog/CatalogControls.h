// The controls the catalog's screens are made of.
#pragma once

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"

// A rounded button with the title that sends the named action to the target, in the parent.
inline Ref<UIButton> addCatalogButton(UIView* parent, CGRect frame, const char* title,
                                      NSObject* target, const char* action) {
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(frame);
    button->setTitle(NSString::fromUTF8(title), UIControlStateNormal);
    button->addTarget(target, Selector::named(action), UIControlEventTouchUpInside);
    parent->addSubview(button.get());
    return button;
}

// A screen's line that tells what happened, kept by its controller: a report that arrives while
// the view is let go (a memory warning under a presented screen or another tab) waits for the
// view made again, and that view shows the last words said.
class CatalogStatusLine {
public:
    // The line of a view just made: it shows the words kept, or its own are the first kept.
    void attach(UILabel* label) {
        label_ = label;
        if (text_)
            label->setText(text_);
        else
            text_ = label->text();
    }
    void say(NSString* text) {
        text_ = text;
        if (label_) label_->setText(text);
    }

private:
    Ref<UILabel> label_;
    Ref<NSString> text_;
};
