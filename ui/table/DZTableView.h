// The framework's table widget and its delegates. DZTableView adds drop shadows at the content's
// origin, top and bottom, a content origin at which the table stays while it grows, focus kept
// over reloads, and the link handling of a styled-text label inside a row. The table delegate
// turns a selection into URL navigation, a call on the item's delegate or a "load more"
// request, makes section headers from the style sheet, and holds the shared request queue
// while the user scrolls so that image loads do not stutter the scrolling. Main thread only.
#pragma once

#include "Foundation/Runtime.h"
#include "UIKit/UITableView.h"
#include "ui/core/DZView.h"
#include "ui/style/DZStyledTextLabel.h"

class CAGradientLayer;
class DZTableViewController;
class NSMutableDictionary;
class NSSet;
class UIEvent;
class UILabel;

class DZTableView : public UITableView, public DZStyledTextLabelTable {
    NS_OBJECT(DZTableView, UITableView)
    bool initWithFrame(CGRect frame, UITableViewStyle style) override;
    void dealloc() override;

    // The label in a row whose link is highlighted by a touch (styled text); setting another
    // clears the old one's highlighted link.
    Ref<DZStyledTextLabel> highlightedLabel() { return highlightedLabel_; }
    void setHighlightedLabel(DZStyledTextLabel* label) override;
    CGFloat contentOrigin() { return contentOrigin_; }
    void setContentOrigin(CGFloat origin) { contentOrigin_ = origin; }
    bool showShadows() { return showShadows_; }
    void setShowShadows(bool show) { showShadows_ = show; }

    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    // A cancelled touch follows no link, and lets the rows be selected again.
    void touchesCancelled(NSSet* touches, UIEvent* event) override;
    void selectRowAtIndexPath(NSIndexPath* indexPath, bool animated,
                              UITableViewScrollPosition position) override;
    void setContentSize(CGSize size) override;
    void setContentOffset(CGPoint offset) override;
    using UITableView::setContentOffset;
    void reloadData() override;
    void layoutSubviews() override;
    // A shadow gradient: 10 points darkening downward when inverse, else 20 points fading.
    Ref<CAGradientLayer> shadowAsInverse(bool inverse);

    // For tests.
    Ref<CAGradientLayer> originShadow() { return originShadow_; }
    Ref<CAGradientLayer> topShadow() { return topShadow_; }
    Ref<CAGradientLayer> bottomShadow() { return bottomShadow_; }

private:
    void clearHighlightedLabel();

    Ref<DZStyledTextLabel> highlightedLabel_;
    CGPoint highlightStartPoint_{};
    CGFloat contentOrigin_ = 0;
    bool showShadows_ = false;
    Ref<CAGradientLayer> originShadow_, topShadow_, bottomShadow_;
};

// The optional touch hooks a table delegate may answer ("tableView:touchesBegan:withEvent:",
// "tableView:touchesEnded:withEvent:").
class DZTableViewTouchDelegate {
public:
    virtual ~DZTableViewTouchDelegate() = default;
    virtual void tableViewTouchesBegan(UITableView*, NSSet*, UIEvent*) {}
    virtual void tableViewTouchesEnded(UITableView*, NSSet*, UIEvent*) {}
};

class DZTableViewDelegate : public NSObject,
                            public UITableViewDelegate,
                            public DZTableViewTouchDelegate {
    NS_OBJECT(DZTableViewDelegate, NSObject)
    static void describeClass(RuntimeClass& c);
    bool initWithController(DZTableViewController* controller);
    void dealloc() override;
    Ref<DZTableViewController> controller() { return controller_.lock(); }

    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;
    void tableViewAccessoryButtonTappedForRowWithIndexPath(UITableView* tableView,
                                                           NSIndexPath* indexPath) override;
    Ref<UIView> tableViewViewForHeaderInSection(UITableView* tableView, NSInteger section) override;

    bool scrollViewShouldScrollToTop(UIScrollView* scrollView) override;
    void scrollViewDidScrollToTop(UIScrollView* scrollView) override;
    void scrollViewWillBeginDragging(UIScrollView* scrollView) override;
    void scrollViewDidEndDraggingWillDecelerate(UIScrollView* scrollView, bool decelerate) override;
    void scrollViewDidEndDecelerating(UIScrollView* scrollView) override;
    void scrollViewDidScroll(UIScrollView* scrollView) override;
    void tableViewTouchesBegan(UITableView* tableView, NSSet* touches, UIEvent* event) override;
    void tableViewWillDisplayCellForRowAtIndexPath(UITableView* tableView, UITableViewCell* cell,
                                                   NSIndexPath* indexPath) override;

    // Whether this delegate holds the shared request queue suspended now.
    bool suspendsQueue() { return suspending_; }

private:
    void suspendQueue();
    void resumeQueue();
    void hideControllerMenu();

    Weak<DZTableViewController> controller_;
    Ref<NSMutableDictionary> headers_;
    bool suspending_ = false;
};

class DZTableViewPlainDelegate : public DZTableViewDelegate {
    NS_OBJECT(DZTableViewPlainDelegate, DZTableViewDelegate)
};

// Asks the cell classes for the row heights.
class DZTableViewVarHeightDelegate : public DZTableViewDelegate {
    NS_OBJECT(DZTableViewVarHeightDelegate, DZTableViewDelegate)
    static void describeClass(RuntimeClass& c);
    CGFloat tableViewHeightForRowAtIndexPath(UITableView* tableView,
                                             NSIndexPath* indexPath) override;
};

class DZTableViewPlainVarHeightDelegate : public DZTableViewVarHeightDelegate {
    NS_OBJECT(DZTableViewPlainVarHeightDelegate, DZTableViewVarHeightDelegate)
};

class DZTableViewGroupedVarHeightDelegate : public DZTableViewVarHeightDelegate {
    NS_OBJECT(DZTableViewGroupedVarHeightDelegate, DZTableViewVarHeightDelegate)
    static void describeClass(RuntimeClass& c);
    CGFloat tableViewHeightForHeaderInSection(UITableView* tableView, NSInteger section) override;
};

// The section header of plain tables, styled by the sheet's "tableHeader".
class DZTableHeaderView : public DZView {
    NS_OBJECT(DZTableHeaderView, DZView)
    bool initWithTitle(NSString* title);
    void layoutSubviews() override;
    Ref<UILabel> label() { return label_; }

private:
    Ref<UILabel> label_;
};
