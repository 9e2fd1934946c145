// Table rows: a content view holding the image view and the text and detail labels laid out
// by the cell's style, an accessory at the right, and the selection, highlight and editing
// states that the table drives.
#pragma once

#include <vector>

#include "UIKit/UIView.h"

class UIImageView;
class UILabel;
class UIButton;

enum UITableViewCellStyle : NSInteger {
    UITableViewCellStyleDefault = 0,  // text label only (with image)
    UITableViewCellStyleValue1,       // text at the left, detail right-aligned at the right
    UITableViewCellStyleValue2,       // a small right-aligned text, then the detail
    UITableViewCellStyleSubtitle,     // text over detail
};

enum UITableViewCellSelectionStyle : NSInteger {
    UITableViewCellSelectionStyleNone = 0,
    UITableViewCellSelectionStyleBlue,
    UITableViewCellSelectionStyleGray,
};

enum UITableViewCellEditingStyle : NSInteger {
    UITableViewCellEditingStyleNone = 0,
    UITableViewCellEditingStyleDelete,
    UITableViewCellEditingStyleInsert,
};

enum UITableViewCellAccessoryType : NSInteger {
    UITableViewCellAccessoryNone = 0,
    UITableViewCellAccessoryDisclosureIndicator,
    UITableViewCellAccessoryDetailDisclosureButton,
    UITableViewCellAccessoryCheckmark,
};

using UITableViewCellStateMask = NSUInteger;
enum : UITableViewCellStateMask {
    UITableViewCellStateDefaultMask = 0,
    UITableViewCellStateShowingEditControlMask = 1 << 0,
    UITableViewCellStateShowingDeleteConfirmationMask = 1 << 1,
};

class UITableViewCell : public UIView {
    NS_OBJECT(UITableViewCell, UIView)
    static void describeClass(RuntimeClass& c);

    // The designated initialiser; a cell is 320 x 44 until the table places it.
    virtual bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier);
    // The older form: the default style.
    bool initWithFrame(CGRect frame, NSString* reuseIdentifier);
    bool initWithFrame(CGRect frame) override;

    UITableViewCellStyle style() { return style_; }
    Ref<NSString> reuseIdentifier() { return reuseIdentifier_; }
    // Called when the table hands the cell out again from its reuse queue.
    virtual void prepareForReuse();

    // The view that holds the cell's content; custom cells add their subviews here.
    Ref<UIView> contentView() { return contentView_; }
    // Made on first use.
    Ref<UILabel> textLabel();
    // Nil for the default style; made on first use for the others.
    Ref<UILabel> detailTextLabel();
    // Made on first use; shown when it has an image.
    Ref<UIImageView> imageView();
    // The older text property: the text label's text.
    Ref<NSString> text();
    void setText(NSString* text);

    Ref<UIView> backgroundView() { return backgroundView_; }
    void setBackgroundView(UIView* view);
    Ref<UIView> selectedBackgroundView() { return selectedBackgroundView_; }
    void setSelectedBackgroundView(UIView* view);

    UITableViewCellAccessoryType accessoryType() { return accessoryType_; }
    void setAccessoryType(UITableViewCellAccessoryType type);
    // A custom view in the accessory's place (it wins over the type).
    Ref<UIView> accessoryView() { return accessoryView_; }
    void setAccessoryView(UIView* view);
    UITableViewCellAccessoryType editingAccessoryType() { return editingAccessoryType_; }
    void setEditingAccessoryType(UITableViewCellAccessoryType type) {
        editingAccessoryType_ = type;
    }
    Ref<UIView> editingAccessoryView() { return editingAccessoryView_; }
    void setEditingAccessoryView(UIView* view);
    // The accessory shown now (the editing one while editing).
    UITableViewCellAccessoryType currentAccessoryType();

    UITableViewCellSelectionStyle selectionStyle() { return selectionStyle_; }
    void setSelectionStyle(UITableViewCellSelectionStyle style) { selectionStyle_ = style; }
    bool isSelected() { return selected_; }
    void setSelected(bool selected) { setSelected(selected, false); }
    virtual void setSelected(bool selected, bool animated);
    bool isHighlighted() { return highlighted_; }
    void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }
    virtual void setHighlighted(bool highlighted, bool animated);
    // Whether the row shows the phone's own selection (blue or grey, by its style) behind white
    // words: selected or highlighted, or fading out of it after an animated deselection, with
    // no selected background view of the app's.
    bool showsStandardSelection();
    // How long an animated deselection takes to fade, on the Clock.
    static constexpr NSTimeInterval kDeselectionFade = 0.3;

    bool isEditing() { return editing_; }
    void setEditing(bool editing) { setEditing(editing, false); }
    virtual void setEditing(bool editing, bool animated);
    // Set by the table while the row shows its delete button (swipe to delete).
    bool showingDeleteConfirmation() { return showingDeleteConfirmation_; }
    UITableViewCellEditingStyle editingStyle() { return editingStyle_; }
    bool showsReorderControl() { return showsReorderControl_; }
    void setShowsReorderControl(bool shows) { showsReorderControl_ = shows; }
    bool shouldIndentWhileEditing() { return shouldIndentWhileEditing_; }
    void setShouldIndentWhileEditing(bool indent) {
        shouldIndentWhileEditing_ = indent;
        setNeedsLayout();
    }
    NSInteger indentationLevel() { return indentationLevel_; }
    void setIndentationLevel(NSInteger level);
    CGFloat indentationWidth() { return indentationWidth_; }
    void setIndentationWidth(CGFloat width);
    // The title of the delete button while it shows ("Delete" unless the table's delegate
    // names another).
    Ref<NSString> deleteConfirmationTitle() { return deleteTitle_; }
    // The delete button while it shows, nil otherwise.
    Ref<UIButton> deleteConfirmationButton() { return deleteButton_; }

    virtual void willTransitionToState(UITableViewCellStateMask) {}
    virtual void didTransitionToState(UITableViewCellStateMask) {}

    // Places the content view (narrowed by the accessory and the editing control) and, within
    // it, the image view and the labels by style.
    void layoutSubviews() override;

    // The accessory's width as laid out (0 without one).
    CGFloat accessoryWidth();
    // Where a finger touches the detail disclosure button and the editing control, in the
    // cell's bounds; null while the row shows neither. The table's touches and the shell's
    // fingers both go by these.
    CGRect accessoryButtonRect();
    CGRect editingControlRect();

    // The table's side of editing: the style shown and the delete confirmation.
    // The edit control and the content's place follow at the next layout.
    void setEditingStyle(UITableViewCellEditingStyle style) {
        editingStyle_ = style;
        setNeedsLayout();
    }
    void setShowingDeleteConfirmation(bool showing, NSString* title);

private:
    void updateHighlight();
    // Clears the backgrounds of the content's views while the selection shows, so that it
    // shows through them; gives them back after.
    void clearContentBackgrounds(bool clear);
    struct ClearedBackground {
        Weak<UIView> view;
        Ref<UIColor> color;
    };
    std::vector<ClearedBackground> clearedBackgrounds_;
    void deleteButtonPressed(NSObject* sender);
    // Moves the views the app put on the cell itself (not in the content view) right by
    // `shift`, with the content, from where the app last put them.
    void shiftOwnViews(CGFloat shift);
    struct ShiftedView {
        Weak<UIView> view;
        CGRect placed{};  // the frame the cell gave it
        CGFloat shift = 0;
    };
    std::vector<ShiftedView> shifted_;
    // The round delete or insert control, in front of everything the cell holds.
    Ref<UIView> editControl_;

    UITableViewCellStyle style_ = UITableViewCellStyleDefault;
    Ref<NSString> reuseIdentifier_;
    Ref<UIView> contentView_;
    Ref<UILabel> textLabel_;
    Ref<UILabel> detailTextLabel_;
    Ref<UIImageView> imageView_;
    Ref<UIView> backgroundView_;
    Ref<UIView> selectedBackgroundView_;
    Ref<UIView> accessoryView_;
    Ref<UIView> editingAccessoryView_;
    Ref<NSString> deleteTitle_;
    Ref<UIButton> deleteButton_;
    UITableViewCellAccessoryType accessoryType_ = UITableViewCellAccessoryNone;
    UITableViewCellAccessoryType editingAccessoryType_ = UITableViewCellAccessoryNone;
    UITableViewCellSelectionStyle selectionStyle_ = UITableViewCellSelectionStyleBlue;
    UITableViewCellEditingStyle editingStyle_ = UITableViewCellEditingStyleNone;
    NSInteger indentationLevel_ = 0;
    CGFloat indentationWidth_ = 10;
    bool selected_ = false;
    bool highlighted_ = false;
    // Deselected with animation: the selection shows until the fade's end (counted, so that
    // only the last of several fades ends it).
    int fading_ = 0;
    bool hidBackgroundView_ = false;  // hidden under the phone's selection
    bool editing_ = false;
    bool showingDeleteConfirmation_ = false;
    bool showsReorderControl_ = false;
    bool shouldIndentWhileEditing_ = true;
};
