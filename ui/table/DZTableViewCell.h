// Table cells: the row views of framework tables. Each cell class shows one kind of row
// object and answers, as a class operation ("tableView:rowHeightForObject:"), how tall a row
// for that object must be, measured in the font the cell will use. Fonts and colours come
// from the global style sheet by variable name. Main thread only.
#pragma once

#include "Foundation/Runtime.h"
#include "UIKit/UITableViewCell.h"

class DZActivityLabel;
class DZStyledTextLabel;
class DZImageView;
class DZTableActivityItem;
class DZTableControlItem;
class DZTableLinkedItem;
class DZTableViewItem;
class UIActivityIndicatorView;
class UIFont;
class UILabel;
class UITableView;

// Layout constants, points.
inline constexpr CGFloat kDZTableDefaultRowHeight = 44;
inline constexpr CGFloat kDZTableHPadding = 10;
inline constexpr CGFloat kDZTableVPadding = 10;
inline constexpr CGFloat kDZTableImageMargin = 10;
inline constexpr CGFloat kDZTableSmallMargin = 6;
inline constexpr CGFloat kDZTableMaxLabelHeight = 2000;

class DZTableViewCell : public UITableViewCell {
    NS_OBJECT(DZTableViewCell, UITableViewCell)
    static void describeClass(RuntimeClass& c);

    // The class operation: the height of a row for the object.
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    // The class operation of a cell class, reached through the class object.
    static CGFloat rowHeightForClass(Class cls, UITableView* tableView, NSObject* object);

    void prepareForReuse() override;
    virtual Ref<NSObject> object() { return nullptr; }
    virtual void setObject(NSObject*) {}
};

class DZTableLinkedItemCell : public DZTableViewCell {
    NS_OBJECT(DZTableLinkedItemCell, DZTableViewCell)
    Ref<NSObject> object() override;
    void setObject(NSObject* object) override;

protected:
    // The caption cells' setObject: takes a caption item, its caption in the text label and its
    // text in the detail label.
    void setCaptionItem(NSObject* object);

    Ref<DZTableLinkedItem> item_;
};

class DZTableTextItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZTableTextItemCell, DZTableLinkedItemCell)
    static void describeClass(RuntimeClass& c);
    static Ref<UIFont> textFontForItem(NSObject* item);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void setObject(NSObject* object) override;
};

class DZTableCaptionItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZTableCaptionItemCell, DZTableLinkedItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void setObject(NSObject* object) override;
    Ref<UILabel> captionLabel();
};

class DZTableRightCaptionItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZTableRightCaptionItemCell, DZTableLinkedItemCell)
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void setObject(NSObject* object) override;
    Ref<UILabel> captionLabel();
};

class DZTableSubtextItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZTableSubtextItemCell, DZTableLinkedItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void setObject(NSObject* object) override;
    Ref<UILabel> captionLabel();
};

class DZTableSubtitleItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZTableSubtitleItemCell, DZTableLinkedItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void setObject(NSObject* object) override;
    Ref<UILabel> subtitleLabel();
    // Made on first use.
    Ref<DZImageView> imageView2();

protected:
    Ref<DZImageView> imageView2_;
};

class DZTableMoreButtonCell : public DZTableSubtitleItemCell {
    NS_OBJECT(DZTableMoreButtonCell, DZTableSubtitleItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void setObject(NSObject* object) override;
    Ref<UIActivityIndicatorView> activityIndicatorView();
    bool animating() { return animating_; }
    void setAnimating(bool animating);

private:
    Ref<UIActivityIndicatorView> activityIndicatorView_;
    bool animating_ = false;
};

class DZTableMessageItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZTableMessageItemCell, DZTableLinkedItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void prepareForReuse() override;
    void layoutSubviews() override;
    void didMoveToSuperview() override;
    void setObject(NSObject* object) override;
    Ref<UILabel> captionLabel();
    Ref<UILabel> titleLabel();
    Ref<UILabel> timestampLabel();
    Ref<DZImageView> imageView2();

private:
    Ref<UILabel> titleLabel_, timestampLabel_;
    Ref<DZImageView> imageView2_;
};

class DZTableImageItemCell : public DZTableTextItemCell {
    NS_OBJECT(DZTableImageItemCell, DZTableTextItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void didMoveToSuperview() override;
    void setObject(NSObject* object) override;
    Ref<DZImageView> imageView2() { return imageView2_; }

private:
    Ref<DZImageView> imageView2_;
};

// A styled text shown whole; the object is the text itself.
class DZStyledTextTableCell : public DZTableViewCell {
    NS_OBJECT(DZStyledTextTableCell, DZTableViewCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void didMoveToSuperview() override;
    Ref<NSObject> object() override;
    void setObject(NSObject* object) override;
    Ref<DZStyledTextLabel> label() { return label_; }

private:
    Ref<DZStyledTextLabel> label_;
};

// A styled-text item: its text at the item's margin and padding, accessories by its URLs.
class DZStyledTextTableItemCell : public DZTableLinkedItemCell {
    NS_OBJECT(DZStyledTextTableItemCell, DZTableLinkedItemCell)
    static void describeClass(RuntimeClass& c);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    void didMoveToSuperview() override;
    void setObject(NSObject* object) override;
    Ref<DZStyledTextLabel> label() { return label_; }

private:
    Ref<DZStyledTextLabel> label_;
};

// A spinner with a text, for rows that stand for work in progress.
class DZTableActivityItemCell : public DZTableViewCell {
    NS_OBJECT(DZTableActivityItemCell, DZTableViewCell)
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    Ref<NSObject> object() override;
    void setObject(NSObject* object) override;
    Ref<DZActivityLabel> activityLabel() { return activityLabel_; }

private:
    Ref<DZTableActivityItem> item_;
    Ref<DZActivityLabel> activityLabel_;
};

// A control (text field, switch, text view, text editor) with an optional caption.
class DZTableControlCell : public DZTableViewCell {
    NS_OBJECT(DZTableControlCell, DZTableViewCell)
    static void describeClass(RuntimeClass& c);
    static bool shouldConsiderControlIntrinsicSize(UIView* view);
    static bool shouldSizeControlToFit(UIView* view);
    static bool shouldRespectControlPadding(UIView* view);
    static CGFloat tableViewRowHeightForObject(UITableView* tableView, NSObject* object);
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    Ref<NSObject> object() override;
    void setObject(NSObject* object) override;
    Ref<DZTableControlItem> item() { return item_; }
    Ref<UIView> control() { return control_; }

private:
    Ref<DZTableControlItem> item_;
    Ref<UIView> control_;
};

// An arbitrary view that fills the row.
class DZTableFlushViewCell : public DZTableViewCell {
    NS_OBJECT(DZTableFlushViewCell, DZTableViewCell)
    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    void layoutSubviews() override;
    Ref<NSObject> object() override;
    void setObject(NSObject* object) override;
    Ref<UIView> view() { return view_; }

private:
    Ref<DZTableViewItem> item_;
    Ref<UIView> view_;
};
