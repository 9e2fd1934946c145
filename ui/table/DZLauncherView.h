// A home-screen style grid of icons over horizontally paged screens with page dots below. A
// 1-second hold on an icon starts editing: icons wobble, deletable ones show a close button,
// an icon follows the finger to new places (onto the next page when held at a screen edge) and
// one empty page is offered until editing ends. The model is a list of pages of items, which
// archive, so an owner can keep `pages` and hand them back. Main thread only.
#pragma once

#include "UIKit/UIScrollView.h"
#include "ui/table/DZLauncherItem.h"

class DZPageControl;
class NSIndexPath;
class NSMutableArray;
class NSTimer;

// Scrolls pages; while the launcher edits it lets touches that began on an icon stay there.
class DZLauncherScrollView : public UIScrollView {
    NS_OBJECT(DZLauncherScrollView, UIScrollView)

public:
    bool touchesShouldCancelInContentView(UIView*) { return !delaysContentTouches(); }
};

class DZLauncherViewDelegate {
public:
    virtual ~DZLauncherViewDelegate() = default;
    // Every method is optional; an implementer lists the ones it answers.
    virtual void launcherViewDidAddItem(DZLauncherView*, DZLauncherItem*) {}
    virtual void launcherViewDidRemoveItem(DZLauncherView*, DZLauncherItem*) {}
    virtual void launcherViewDidMoveItem(DZLauncherView*, DZLauncherItem*) {}
    virtual void launcherViewDidSelectItem(DZLauncherView*, DZLauncherItem*) {}
    virtual void launcherViewDidBeginEditing(DZLauncherView*) {}
    virtual void launcherViewDidEndEditing(DZLauncherView*) {}
    virtual void launcherViewDidEndDragging(DZLauncherView*) {}
};

class DZLauncherView : public UIView, public UIScrollViewDelegate {
    NS_OBJECT(DZLauncherView, UIView)
    static void describeClass(RuntimeClass& c);
    // Editing resumes its wobble when the launcher comes back on screen.
    void didMoveToWindow() override;

public:
    static constexpr NSInteger kDefaultColumnCount = 3;
    static constexpr CGFloat kPagerHeight = 20;
    static constexpr NSTimeInterval kEditHoldTime = 1.0;
    static constexpr NSTimeInterval kSpringLoadTime = 0.5;
    static constexpr CGFloat kSpringLoadFraction = 0.18f;
    static constexpr NSTimeInterval kSpringPause = 0.3;
    static constexpr CGFloat kWobbleRadians = 0.02617994f;
    static constexpr NSTimeInterval kWobbleTime = 0.07;
    static constexpr NSInteger kPromptTag = 997;

    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    Ref<DZLauncherViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZLauncherViewDelegate* delegate) { delegate_ = delegate; }
    // Pages of items; the setter copies each page.
    Ref<NSMutableArray> pages() { return pages_; }
    void setPages(NSArray* pages);
    NSInteger columnCount() { return columnCount_; }
    void setColumnCount(NSInteger count);
    NSInteger rowCount();
    NSInteger currentPageIndex();
    void setCurrentPageIndex(NSInteger index);
    Ref<NSString> prompt() { return prompt_; }
    void setPrompt(NSString* prompt);
    bool editing() { return editing_; }
    Ref<DZLauncherScrollView> scrollView() { return scrollView_; }
    Ref<DZPageControl> pager() { return pager_; }
    Ref<DZLauncherButton> dragButton() { return dragButton_.lock(); }
    Ref<DZLauncherHighlightView> highlightView() { return highlightView_; }

    void addItem(DZLauncherItem* item, bool animated);
    void removeItem(DZLauncherItem* item, bool animated);
    Ref<DZLauncherItem> itemWithURL(NSString* URL);
    Ref<NSIndexPath> indexPathOfItem(DZLauncherItem* item);
    void scrollToItem(DZLauncherItem* item, bool animated);
    Ref<DZLauncherButton> buttonForItem(DZLauncherItem* item);
    void updateItemBadge(DZLauncherItem* item);

    void beginEditing();
    void endEditing();
    void beginHighlightItem(DZLauncherItem* item, NSString* text);
    void endHighlightItem(DZLauncherItem* item);

    void layoutSubviews() override;
    void setFrame(CGRect frame) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    // A cancelled drag ends as a lifted one.
    void touchesCancelled(NSSet* touches, UIEvent* event) override;
    void scrollViewWillBeginDragging(UIScrollView* scrollView) override;
    void scrollViewDidEndDecelerating(UIScrollView* scrollView) override;

    // Button actions.
    void buttonTouchedDown(DZLauncherButton* button, UIEvent* event);
    void buttonTouchedUpInside(DZLauncherButton* button);
    void buttonTouchedUpOutside(DZLauncherButton* button);
    void closeButtonTouchedUpInside(DZButton* closeButton);
    void pageChanged();

private:
    Ref<NSMutableArray> pageWithItem(DZLauncherItem* item);
    Ref<NSMutableArray> pageWithButton(DZLauncherButton* button);
    Ref<NSMutableArray> pageWithFreeSpace(NSInteger start);
    CGFloat rowHeight();
    void layoutButtons();
    void recreateButtons();
    void addButtonWithItem(DZLauncherItem* item, NSMutableArray* buttonPage);
    void checkButtonOverflow(NSInteger pageIndex);
    void startDraggingButton(DZLauncherButton* button, UIEvent* event);
    void endDragTouch(NSSet* touches);
    void updateTouch();
    void wobble();
    void editHoldTimer(UIEvent* event, DZLauncherButton* button);
    void springLoadTimer(bool left);
    void deselectButton(DZLauncherButton* button);
    void showPrompt();
    void updateContentSize(NSInteger pageCount);
    void updatePagerWithContentOffset(CGPoint offset);
    void cancelEditHoldTimer();
    void cancelSpringLoadTimer();
    template <class Call>
    void tell(const char* selector, Call call);

    Ref<NSMutableArray> pages_;
    NSInteger columnCount_ = 0;
    NSInteger rowCount_ = 0;
    Ref<NSString> prompt_;
    Ref<NSMutableArray> buttons_;
    Ref<DZLauncherScrollView> scrollView_;
    Ref<DZPageControl> pager_;
    Ref<NSTimer> editHoldTimer_;
    Ref<NSTimer> springLoadTimer_;
    Weak<DZLauncherButton> dragButton_;
    Weak<UITouch> dragTouch_;
    NSInteger positionOrigin_ = 0;
    CGPoint dragOrigin_{};
    CGPoint touchOrigin_{};
    Ref<DZLauncherHighlightView> highlightView_;
    bool editing_ = false;
    bool springing_ = false;
    bool wobbleScheduled_ = false;  // a wobble step is pending (animation or delayed perform)
    Weak<DZLauncherViewDelegate> delegate_;
};
