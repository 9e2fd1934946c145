// The home-screen style launcher's companions: the archivable item behind one icon, the styled
// button that shows it with its badge and (while editing) its close button, and the dimming
// overlay with a round spotlight that points the user at one icon. Main thread only.
#pragma once

#include "Foundation/NSCoder.h"
#include "ui/style/DZButton.h"

class DZLabel;
class DZLauncherView;
class UILabel;
class UIWindow;

class DZLauncherItem : public NSObject, public NSCoding {
    NS_OBJECT(DZLauncherItem, NSObject)

public:
    bool initWithTitle(NSString* title, NSString* image, NSString* URL);
    bool initWithTitle(NSString* title, NSString* image, NSString* URL, bool canDelete);
    // Five keys: "title", "image", "URL", "style", "canDelete"; the badge is not kept.
    bool initWithCoder(NSCoder* coder) override;
    void encodeWithCoder(NSCoder* coder) override;

    Ref<DZLauncherView> launcher();
    void setLauncher(DZLauncherView* launcher);
    Ref<NSString> title() { return title_; }
    Ref<NSString> image() { return image_; }
    Ref<NSString> URL() { return URL_; }
    Ref<NSString> style() { return style_; }
    void setStyle(NSString* style);
    NSInteger badgeNumber() { return badgeNumber_; }
    // Stores the number and has the launcher's button show it.
    void setBadgeNumber(NSInteger number);
    bool canDelete() { return canDelete_; }
    void setCanDelete(bool canDelete) { canDelete_ = canDelete; }

private:
    Weak<DZLauncherView> launcher_;
    Ref<NSString> title_, image_, URL_, style_;
    NSInteger badgeNumber_ = 0;
    bool canDelete_ = false;
};

class DZLauncherButton : public DZButton {
    NS_OBJECT(DZLauncherButton, DZButton)

public:
    static constexpr CGFloat kDragScale = 1.4f;
    static constexpr CGFloat kDragAlpha = 0.7f;

    bool initWithFrame(CGRect frame) override;
    bool initWithItem(DZLauncherItem* item);

    Ref<DZLauncherItem> item() { return item_; }
    Ref<DZLabel> badge() { return badge_; }
    // Made on first request, and only for deletable items.
    Ref<DZButton> closeButton();
    bool dragging() { return dragging_; }
    void setDragging(bool dragging);
    bool editing() { return editing_; }
    void setEditing(bool editing);
    void updateBadge();

    bool isHighlighted() override;
    bool isSelected() override;
    // The button's own handling, then the next responder's: the launcher follows drags.
    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;
    void layoutSubviews() override;

private:
    Ref<DZLauncherItem> item_;
    Ref<DZLabel> badge_;
    Ref<DZButton> closeButton_;
    bool dragging_ = false;
    bool editing_ = false;
};

// A full-window dimming with a round hole over one icon and a text beside it; a tap in the
// hole triggers the icon below, any tap ends it.
class DZLauncherHighlightView : public UIView {
    NS_OBJECT(DZLauncherHighlightView, UIView)
    static void describeClass(RuntimeClass& c);

public:
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    CGRect highlightRect() { return highlightRect_; }
    void setHighlightRect(CGRect rect);
    Ref<DZLauncherView> parentView();
    void setParentView(DZLauncherView* view);
    Ref<NSString> text();
    void setText(NSString* text);
    Ref<UILabel> textLabel() { return textLabel_; }
    Ref<UIWindow> statusBarCover() { return statusBarCover_; }

    void setAlpha(CGFloat alpha) override;
    void appear(bool animated);
    void animateTextIn();
    void drawRect(CGRect rect) override;
    bool pointInside(CGPoint point, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;

private:
    void layoutLabel();

    Ref<DZLauncherView> parentView_;
    CGRect highlightRect_{};
    Ref<UIWindow> statusBarCover_;
    Ref<UILabel> textLabel_;
};
