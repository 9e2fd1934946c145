// The message composer: a mail-style screen with a stack of header fields (a required "To:"
// recipient field of token cells completed from a data source and an optional "Subject:"), each
// titled on its left over a hairline, then a growing body editor, all in one scroll view above
// the keyboard. Send hands the filled fields to the delegate; Cancel asks when something was
// typed; the state survives memory warnings through the navigator. Main thread only.
#pragma once

#include "Foundation/NSArray.h"
#include "UIKit/UIAlertView.h"
#include "ui/core/DZBaseViewController.h"
#include "ui/table/DZPickerTextField.h"
#include "ui/table/DZTextEditor.h"

class DZActivityLabel;
class DZMessageController;
class NSArray;
class NSMutableArray;
class NSTimer;
class UIScrollView;

// A header field's description; the controller makes its view.
class DZMessageField : public NSObject {
    NS_OBJECT(DZMessageField, NSObject)
    bool initWithTitle(NSString* title, bool required);
    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title) { title_ = title ? title->copy() : nullptr; }
    bool isRequired() { return required_; }
    void setRequired(bool required) { required_ = required; }
    virtual Ref<UIView> createViewForController(DZMessageController*) { return nullptr; }
    // The state of the field's view, nil when none.
    virtual Ref<NSObject> persistField(UIView*) { return nullptr; }
    virtual void restoreField(UIView*, NSObject*) {}
    Ref<NSString> description() override;

private:
    Ref<NSString> title_;
    bool required_ = false;
};

class DZMessageRecipientField : public DZMessageField {
    NS_OBJECT(DZMessageRecipientField, DZMessageField)
    Ref<NSArray> recipients() { return recipients_; }
    void setRecipients(NSArray* recipients) { recipients_ = recipients; }
    Ref<UIView> createViewForController(DZMessageController* controller) override;
    Ref<NSObject> persistField(UIView* view) override;
    void restoreField(UIView* view, NSObject* data) override;
    Ref<NSString> description() override;

private:
    Ref<NSArray> recipients_;
};

class DZMessageTextField : public DZMessageField {
    NS_OBJECT(DZMessageTextField, DZMessageField)
    Ref<NSString> text() { return text_; }
    void setText(NSString* text) { text_ = text ? text->copy() : nullptr; }
    Ref<UIView> createViewForController(DZMessageController* controller) override;
    Ref<NSObject> persistField(UIView* view) override;
    void restoreField(UIView* view, NSObject* data) override;
    Ref<NSString> description() override;

private:
    Ref<NSString> text_;
};

// Marks the field whose text is the subject.
class DZMessageSubjectField : public DZMessageTextField {
    NS_OBJECT(DZMessageSubjectField, DZMessageTextField)
};

// All optional.
class DZMessageControllerDelegate {
public:
    virtual ~DZMessageControllerDelegate() = default;
    virtual void composeControllerDidSendFields(DZMessageController*, NSArray*) {}
    virtual void composeControllerWillCancel(DZMessageController*) {}
    virtual void composeControllerShowRecipientPicker(DZMessageController*) {}
};

class DZMessageController : public DZViewController,
                            public DZPickerTextFieldDelegate,
                            public DZTextEditorDelegate,
                            public UIAlertViewDelegate {
    NS_OBJECT(DZMessageController, DZViewController)
    static void describeClass(RuntimeClass& c);
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool initWithRecipients(NSArray* recipients);
    void dealloc() override;

    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    bool persistView(NSMutableDictionary* state) override;
    void restoreView(NSDictionary* state) override;

    // Text field and picker calls.
    bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField* field, NSRange range,
                                                                 NSString* string) override;
    bool textFieldShouldReturn(UITextField* field) override;
    void textFieldDidAddCellAtIndex(DZPickerTextField* field, NSInteger index) override;
    void textFieldDidRemoveCellAtIndex(DZPickerTextField* field, NSInteger index) override;
    void textFieldDidResize(DZPickerTextField* field) override;
    // Body editor calls.
    void textEditorDidChange(DZTextEditor* editor) override;
    bool textEditorShouldResizeBy(DZTextEditor* editor, CGFloat delta) override;
    void alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) override;

    // Hooks for subclasses.
    virtual void messageWillShowRecipientPicker() {}
    virtual void messageWillSend(NSArray*) {}
    virtual void messageDidSend() {}
    virtual bool messageShouldCancel();
    virtual Ref<NSString> titleForSending();

    // Fields: indexes 0 .. n-1 are the field views, n is the body.
    Ref<NSString> subject();
    void setSubject(NSString* subject);
    Ref<UIView> subjectField();
    Ref<NSString> body();
    void setBody(NSString* body);
    Ref<NSString> textForFieldAtIndex(NSUInteger index);
    void setTextForFieldAtIndex(NSString* text, NSUInteger index);
    bool fieldHasValueAtIndex(NSUInteger index);
    Ref<UIView> viewForFieldAtIndex(NSUInteger index);
    void addRecipientForFieldAtIndex(NSObject* recipient, NSUInteger index);
    NSInteger fieldIndexOfFirstResponder();
    void setFieldIndexOfFirstResponder(NSInteger index);

    // Commands.
    void send();
    void cancel() { cancel(true); }
    void cancel(bool confirm);
    void confirmCancellation();
    void showRecipientPicker();
    void showActivityView(bool show);
    void updateSendCommand();
    bool hasEnteredText();
    bool hasRequiredText();
    void setTitleToSubject();

    Ref<NSArray> fields() { return fields_; }
    void setFields(NSArray* fields);
    Ref<DZTableViewDataSource> dataSource() { return dataSource_; }
    void setDataSource(DZTableViewDataSource* dataSource);
    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate) { delegate_ = delegate; }
    bool showsRecipientPicker() { return showsRecipientPicker_; }
    void setShowsRecipientPicker(bool v) { showsRecipientPicker_ = v; }
    bool isModified() { return isModified_; }
    bool requireNonEmptyMessageBody() { return requireNonEmptyMessageBody_; }
    void setRequireNonEmptyMessageBody(bool v) { requireNonEmptyMessageBody_ = v; }
    // For tests and the shell.
    Ref<UIScrollView> scrollView() { return scrollView_; }
    Ref<DZTextEditor> textEditor() { return textEditor_; }
    Ref<NSArray> fieldViews();
    Ref<DZActivityLabel> activityView() { return activityView_; }

private:
    void createFieldViews();
    void layoutViews();
    void focusPendingField();
    // A recipient field with a cell, or a text field with text that is not blank.
    bool requiredFieldFilled(NSUInteger index);
    NSUInteger fieldViewCount();
    // The field that made the view at that index, nil when none.
    Ref<DZMessageField> fieldForViewAtIndex(NSUInteger index);
    DZMessageControllerDelegate* delegateFor(const char* selector);

    Ref<NSArray> fields_;
    Ref<NSMutableArray> fieldViews_;
    // The field that made each view, in step with the views.
    Ref<NSMutableArray> viewFields_;
    Ref<UIScrollView> scrollView_;
    Ref<DZTextEditor> textEditor_;
    Ref<DZActivityLabel> activityView_;
    Ref<NSArray> initialRecipients_;
    bool showsRecipientPicker_ = false;
    bool isModified_ = false;
    bool requireNonEmptyMessageBody_ = false;
    Ref<DZTableViewDataSource> dataSource_;
    Weak<NSObject> delegate_;
    // The field index to focus at first appearance, -1 when none is waiting.
    NSInteger focusPending_ = -1;
};
