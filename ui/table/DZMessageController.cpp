#include "ui/table/DZMessageController.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScrollView.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStringAdditions.h"
#include "ui/core/UIViewController+DZCategory.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZComposeSupport.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr NSInteger kBodyMinLines = 6;
constexpr CGFloat kTitleLabelPadding = 2;

SEL sel(const char* name) {
    return Selector::named(name);
}

Ref<NSString> localized(NSString* key) {
    return DZBundleLocalizedString(key, NS(""));
}

Ref<NSString> trimmed(NSString* text) {
    if (!text) return nullptr;
    return text->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet().get());
}

}  // namespace

// ---- field descriptions -----------------------------------------------------------------------

bool DZMessageField::initWithTitle(NSString* title, bool required) {
    if (!init()) return false;
    setTitle(title);
    required_ = required;
    return true;
}

Ref<NSString> DZMessageField::description() {
    return NSString::stringWithFormat(NS("%@"), title_.get());
}

Ref<UIView> DZMessageRecipientField::createViewForController(DZMessageController* controller) {
    auto field = make<DZPickerTextField>(&DZPickerTextField::initWithFrame, CGRectZero);
    field->setDataSource(controller->dataSource().get());
    field->setAutocorrectionType(UITextAutocorrectionTypeNo);
    field->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    field->setRightViewMode(UITextFieldViewModeAlways);
    if (controller->showsRecipientPicker()) {
        auto button = UIButton::buttonWithType(UIButtonTypeContactAdd);
        button->addTarget(controller, sel("showRecipientPicker"), UIControlEventTouchUpInside);
        field->setRightView(button.get());
    }
    return field;
}

Ref<NSObject> DZMessageRecipientField::persistField(UIView* view) {
    auto state = NSMutableDictionary::dictionary();
    if (auto picker = as<DZPickerTextField>(Ref<UIView>(view))) {
        auto archives = NSMutableArray::array();
        Ref<NSArray> cells = picker->cells();
        for (NSObject* object : *cells) {
            // Only what can be archived is kept: value objects and classes that code
            // themselves; the archiver raises for anything else.
            try {
                archives->addObject(NSKeyedArchiver::archivedDataWithRootObject(object).get());
            } catch (const ExceptionRaised&) {
            }
        }
        state->setObject(archives.get(), NS("cells"));
        state->setObject(picker->text().get(), NS("text"));
    } else if (auto field = as<UITextField>(Ref<UIView>(view))) {
        state->setObject(field->text().get(), NS("text"));
    }
    return state;
}

void DZMessageRecipientField::restoreField(UIView* view, NSObject* data) {
    auto state = as<NSDictionary>(Ref<NSObject>(data));
    if (!state) return;  // a saved entry of another kind
    auto text = as<NSString>(state->objectForKey(NS("text")));
    if (auto picker = as<DZPickerTextField>(Ref<UIView>(view))) {
        picker->removeAllCells();
        if (auto archives = as<NSArray>(state->objectForKey(NS("cells")))) {
            for (NSObject* entry : *archives) {
                auto archive = as<NSData>(Ref<NSObject>(entry));
                if (!archive) continue;
                Ref<NSObject> object;
                try {
                    object = NSKeyedUnarchiver::unarchiveObjectWithData(archive.get());
                } catch (const ExceptionRaised&) {
                    continue;  // an undecodable recipient is left out
                }
                if (object) picker->addCellWithObject(object.get());
            }
        }
    }
    if (auto field = as<UITextField>(Ref<UIView>(view)); field && text) field->setText(text.get());
}

Ref<NSString> DZMessageRecipientField::description() {
    return NSString::stringWithFormat(NS("%@ %@"), title().get(), recipients_.get());
}

Ref<UIView> DZMessageTextField::createViewForController(DZMessageController*) {
    auto field = make<DZPickerTextField>(&DZPickerTextField::initWithFrame, CGRectZero);
    // Without cells there is nothing for backspace to reach: the field starts empty, so that
    // its text (the subject) does not begin with the picker's blank.
    field->setText(NS(""));
    return field;
}

Ref<NSObject> DZMessageTextField::persistField(UIView* view) {
    auto field = as<UITextField>(Ref<UIView>(view));
    return field ? field->text() : nullptr;
}

void DZMessageTextField::restoreField(UIView* view, NSObject* data) {
    auto field = as<UITextField>(Ref<UIView>(view));
    auto text = as<NSString>(Ref<NSObject>(data));
    if (field && text) field->setText(text.get());
}

Ref<NSString> DZMessageTextField::description() {
    return NSString::stringWithFormat(NS("%@ %@"), title().get(), text_.get());
}

// ---- controller -------------------------------------------------------------------------------

void DZMessageController::describeClass(RuntimeClass& c) {
    c.implements(
        {"textField:didAddCellAtIndex:", "textField:didRemoveCellAtIndex:", "textFieldDidResize:",
         "textEditorDidChange:", "textEditor:shouldResizeBy:", "alertView:clickedButtonAtIndex:"});
    c.method("send", &DZMessageController::send)
        .method("cancel",
                static_cast<void (DZMessageController::*)()>(&DZMessageController::cancel))
        .method("showRecipientPicker", &DZMessageController::showRecipientPicker)
        .method("setTitleToSubject", &DZMessageController::setTitleToSubject);
}

bool DZMessageController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZViewController::initWithNibName(nibName, bundle)) return false;
    auto to = make<DZMessageRecipientField>(&DZMessageRecipientField::initWithTitle,
                                            localized(NS("To:")).get(), true);
    auto subject = make<DZMessageSubjectField>(&DZMessageSubjectField::initWithTitle,
                                               localized(NS("Subject:")).get(), false);
    fields_ = NSArray::arrayWithObjects({to.get(), subject.get()});
    setTitle(localized(NS("New Message")).get());
    auto item = navigationItem();
    auto cancelButton = make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle, localized(NS("Cancel")).get(),
        UIBarButtonItemStyleBordered, static_cast<NSObject*>(this), sel("cancel"));
    item->setLeftBarButtonItem(cancelButton.get());
    auto sendButton =
        make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, localized(NS("Send")).get(),
                              UIBarButtonItemStyleDone, static_cast<NSObject*>(this), sel("send"));
    sendButton->setEnabled(false);
    item->setRightBarButtonItem(sendButton.get());
    return true;
}

bool DZMessageController::initWithRecipients(NSArray* recipients) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    initialRecipients_ = recipients;
    return true;
}

void DZMessageController::dealloc() {
    fields_ = nullptr;
    dataSource_ = nullptr;
    initialRecipients_ = nullptr;
    DZViewController::dealloc();
}

DZMessageControllerDelegate* DZMessageController::delegateFor(const char* selector) {
    auto d = delegate_.lock();
    if (!d || !respondsTo(d.get(), sel(selector))) return nullptr;
    return dynamic_cast<DZMessageControllerDelegate*>(d.get());
}

void DZMessageController::loadView() {
    DZViewController::loadView();
    auto sheet = DZTableStyleSheet();
    view()->setBackgroundColor(sheet->backgroundColor().get());

    scrollView_ = make<UIScrollView>(&UIScrollView::initWithFrame, DZFrameAboveKeyboard());
    scrollView_->setBackgroundColor(sheet->backgroundColor().get());
    scrollView_->setAutoresizingMask(static_cast<UIViewAutoresizing>(
        UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight));
    scrollView_->setCanCancelContentTouches(false);
    scrollView_->setShowsVerticalScrollIndicator(false);
    scrollView_->setShowsHorizontalScrollIndicator(false);
    view()->addSubview(scrollView_.get());

    textEditor_ = make<DZTextEditor>(&DZTextEditor::initWithFrame,
                                     CGRectMake(0, 0, width(scrollView_.get()), 0));
    textEditor_->setDelegate(this);
    textEditor_->setBackgroundColor(sheet->backgroundColor().get());
    textEditor_->setFont(sheet->messageFont().get());
    textEditor_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    textEditor_->setAutoresizesToText(true);
    textEditor_->setShowsExtraLine(true);
    textEditor_->setMinNumberOfLines(kBodyMinLines);
    textEditor_->sizeToFit();

    createFieldViews();
    layoutViews();
}

void DZMessageController::viewDidUnload() {
    DZViewController::viewDidUnload();
    scrollView_ = nullptr;
    fieldViews_ = nullptr;
    viewFields_ = nullptr;
    textEditor_ = nullptr;
    activityView_ = nullptr;
}

void DZMessageController::createFieldViews() {
    if (fieldViews_)
        for (NSObject* v : *fieldViews_)
            static_cast<UIView*>(v)->removeFromSuperview();
    // The separators go with the views they underline.
    Ref<NSArray> leftovers = scrollView_->subviews();
    for (NSObject* v : *leftovers)
        static_cast<UIView*>(v)->removeFromSuperview();
    fieldViews_ = NSMutableArray::array();
    viewFields_ = NSMutableArray::array();
    auto sheet = DZTableStyleSheet();
    for (NSObject* object : *fields_) {
        auto* field = static_cast<DZMessageField*>(object);
        auto view = field->createViewForController(this);
        if (!view) continue;
        if (auto textField = as<UITextField>(view)) {
            textField->setDelegate(this);
            textField->setBackgroundColor(sheet->backgroundColor().get());
            textField->setFont(sheet->messageFont().get());
            textField->setReturnKeyType(UIReturnKeyNext);
            textField->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
            textField->sizeToFit();
            auto label = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
            label->setText(field->title().get());
            label->setFont(sheet->messageFont().get());
            label->setTextColor(sheet->messageFieldTextColor().get());
            label->sizeToFit();
            label->setFrame(CGRectInset(label->frame(), -kTitleLabelPadding, 0));
            textField->setLeftView(label.get());
            textField->setLeftViewMode(UITextFieldViewModeAlways);
        }
        scrollView_->addSubview(view.get());
        fieldViews_->addObject(view.get());
        viewFields_->addObject(field);
        auto separator = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 0, 1));
        separator->setBackgroundColor(sheet->messageFieldSeparatorColor().get());
        separator->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        scrollView_->addSubview(separator.get());
    }
    scrollView_->addSubview(textEditor_.get());
}

void DZMessageController::layoutViews() {
    if (!scrollView_) return;
    CGFloat y = 0, w = width(view().get());
    Ref<NSArray> views = scrollView_->subviews();
    for (NSObject* object : *views) {
        auto* v = static_cast<UIView*>(object);
        v->setFrame(CGRectMake(0, y, w, height(v)));
        y += height(v);
    }
    scrollView_->setContentSize(CGSizeMake(width(scrollView_.get()), y));
}

void DZMessageController::viewWillAppear(bool animated) {
    DZViewController::viewWillAppear(animated);
    if (initialRecipients_) {
        Ref<NSArray> recipients = initialRecipients_;
        initialRecipients_ = nullptr;
        for (NSObject* recipient : *recipients)
            addRecipientForFieldAtIndex(recipient, 0);
    }
    if (!frozenState()) {
        NSUInteger n = fieldViewCount();
        NSUInteger target = 0;
        bool allHaveValues = true;
        for (NSUInteger i = 0; i <= n && allHaveValues; ++i) {
            if (!fieldHasValueAtIndex(i)) {
                target = i;
                allHaveValues = false;
            }
        }
        focusPending_ = static_cast<NSInteger>(target);
        focusPendingField();
        if (!allHaveValues) return;
    }
    updateSendCommand();
}

void DZMessageController::viewDidAppear(bool animated) {
    DZViewController::viewDidAppear(animated);
    focusPendingField();
}

void DZMessageController::focusPendingField() {
    if (focusPending_ < 0) return;
    setFieldIndexOfFirstResponder(focusPending_);
    // A view not yet in a window takes the focus once it is shown.
    if (fieldIndexOfFirstResponder() == focusPending_) focusPending_ = -1;
}

void DZMessageController::didRotateFromInterfaceOrientation(UIInterfaceOrientation from) {
    DZViewController::didRotateFromInterfaceOrientation(from);
    setHeight(scrollView_.get(), height(view().get()) - DZCurrentKeyboardHeight());
    layoutViews();
}

bool DZMessageController::shouldAutorotateToInterfaceOrientation(
    UIInterfaceOrientation orientation) {
    return DZOrientationAllowed(orientation);
}

bool DZMessageController::persistView(NSMutableDictionary* state) {
    view();
    auto saved = NSMutableArray::array();
    NSUInteger count = fieldViewCount();
    for (NSUInteger i = 0; i < count; ++i) {
        auto data = fieldForViewAtIndex(i)->persistField(viewForFieldAtIndex(i).get());
        saved->addObject(data ? data.get() : static_cast<NSObject*>(NS("")));
    }
    state->setObject(saved.get(), NS("fields"));
    if (auto text = body()) state->setObject(text.get(), NS("body"));
    state->setObject(NSNumber::numberWithFloat(scrollView_->contentOffset().y).get(),
                     NS("scrollOffsetY"));
    state->setObject(NSNumber::numberWithInt(static_cast<int>(fieldIndexOfFirstResponder())).get(),
                     NS("firstResponder"));
    state->setObject(NSNumber::numberWithBool(true).get(), NS("__important__"));
    return DZViewController::persistView(state);
}

void DZMessageController::restoreView(NSDictionary* state) {
    view();
    initialRecipients_ = nullptr;
    if (auto saved = as<NSArray>(state->objectForKey(NS("fields")))) {
        // Entries beyond the fields there are now, or of another kind, are left out.
        NSUInteger count = std::min(saved->count(), fieldViewCount());
        for (NSUInteger i = 0; i < count; ++i) {
            auto data = saved->objectAtIndex(i);
            if (is<NSNull>(data.get())) continue;
            fieldForViewAtIndex(i)->restoreField(viewForFieldAtIndex(i).get(), data.get());
        }
    }
    if (auto text = as<NSString>(state->objectForKey(NS("body")))) setBody(text.get());
    if (auto offset = as<NSNumber>(state->objectForKey(NS("scrollOffsetY"))))
        scrollView_->setContentOffset(CGPointMake(0, offset->floatValue()));
    if (auto responder = as<NSNumber>(state->objectForKey(NS("firstResponder"))))
        setFieldIndexOfFirstResponder(responder->intValue());
    layoutViews();
}

// ---- typing -----------------------------------------------------------------------------------

bool DZMessageController::textFieldShouldChangeCharactersInRangeReplacementString(
    UITextField* field, NSRange, NSString*) {
    if (field && field == subjectField().get()) {
        isModified_ = true;
        // After the keystroke is applied.
        NSTimer::scheduledTimerWithTimeInterval(0, this, sel("setTitleToSubject"), nullptr, false);
    }
    return true;
}

bool DZMessageController::textFieldShouldReturn(UITextField* field) {
    NSUInteger index = fieldViews_->indexOfObjectIdenticalTo(field);
    if (index != NSNotFound) {
        if (index + 1 < fieldViews_->count())
            cast<UIView>(fieldViews_->objectAtIndex(index + 1))->becomeFirstResponder();
        else
            textEditor_->becomeFirstResponder();
    }
    return false;
}

void DZMessageController::textFieldDidAddCellAtIndex(DZPickerTextField*, NSInteger) {
    updateSendCommand();
}

void DZMessageController::textFieldDidRemoveCellAtIndex(DZPickerTextField*, NSInteger) {
    updateSendCommand();
}

void DZMessageController::textFieldDidResize(DZPickerTextField*) {
    layoutViews();
}

void DZMessageController::textEditorDidChange(DZTextEditor*) {
    updateSendCommand();
    isModified_ = true;
}

bool DZMessageController::textEditorShouldResizeBy(DZTextEditor* editor, CGFloat delta) {
    setHeight(editor, height(editor) + delta);
    layoutViews();
    editor->scrollContainerToCursor(scrollView_.get());
    return false;
}

void DZMessageController::alertViewClickedButtonAtIndex(UIAlertView*, NSInteger index) {
    if (index == 0) cancel(false);
}

bool DZMessageController::messageShouldCancel() {
    return !hasEnteredText() || !isModified_;
}

Ref<NSString> DZMessageController::titleForSending() {
    return localized(NS("Sending..."));
}

// ---- fields -----------------------------------------------------------------------------------

Ref<NSArray> DZMessageController::fieldViews() {
    return fieldViews_ ? fieldViews_->copy() : nullptr;
}

NSUInteger DZMessageController::fieldViewCount() {
    return fieldViews_ ? fieldViews_->count() : 0;
}

Ref<DZMessageField> DZMessageController::fieldForViewAtIndex(NSUInteger index) {
    if (!viewFields_ || index >= viewFields_->count()) return nullptr;
    return cast<DZMessageField>(viewFields_->objectAtIndex(index));
}

Ref<UIView> DZMessageController::subjectField() {
    view();
    NSUInteger count = fieldViewCount();
    for (NSUInteger i = 0; i < count; ++i)
        if (is<DZMessageSubjectField>(fieldForViewAtIndex(i).get()))
            return cast<UIView>(fieldViews_->objectAtIndex(i));
    return nullptr;
}

Ref<NSString> DZMessageController::subject() {
    auto field = as<UITextField>(subjectField());
    return field ? field->text() : nullptr;
}

void DZMessageController::setSubject(NSString* subject) {
    if (auto field = as<UITextField>(subjectField())) field->setText(subject);
}

Ref<NSString> DZMessageController::body() {
    view();
    return textEditor_->text();
}

void DZMessageController::setBody(NSString* body) {
    view();
    textEditor_->setText(body);
}

Ref<NSString> DZMessageController::textForFieldAtIndex(NSUInteger index) {
    view();
    if (index == fieldViewCount()) return trimmed(textEditor_->text().get());
    if (auto picker = as<DZPickerTextField>(viewForFieldAtIndex(index)))
        return trimmed(picker->text().get());
    return nullptr;
}

void DZMessageController::setTextForFieldAtIndex(NSString* text, NSUInteger index) {
    view();
    if (index == fieldViewCount())
        textEditor_->setText(text);
    else if (auto picker = as<DZPickerTextField>(viewForFieldAtIndex(index)))
        picker->setText(text);
}

bool DZMessageController::fieldHasValueAtIndex(NSUInteger index) {
    view();
    if (index == fieldViewCount()) return textEditor_->text()->length() != 0;
    auto field = fieldForViewAtIndex(index);
    auto text = textForFieldAtIndex(index);
    if (is<DZMessageRecipientField>(field.get())) {
        auto picker = as<DZPickerTextField>(viewForFieldAtIndex(index));
        return !isEmptyOrWhitespace(text.get()) || (picker && picker->cellViews()->count() > 0);
    }
    return !isEmptyOrWhitespace(text.get());
}

Ref<UIView> DZMessageController::viewForFieldAtIndex(NSUInteger index) {
    view();
    if (index == fieldViewCount()) return textEditor_;
    if (index > fieldViewCount()) return nullptr;
    return cast<UIView>(fieldViews_->objectAtIndex(index));
}

void DZMessageController::addRecipientForFieldAtIndex(NSObject* recipient, NSUInteger index) {
    auto picker = as<DZPickerTextField>(viewForFieldAtIndex(index));
    if (!picker || !dataSource_) return;
    if (dataSource_->tableViewLabelForObject(picker->tableView().get(), recipient))
        picker->addCellWithObject(recipient);
}

void DZMessageController::setFields(NSArray* fields) {
    fields_ = fields;
    if (fieldViews_) {
        createFieldViews();
        layoutViews();
    }
}

void DZMessageController::setDataSource(DZTableViewDataSource* dataSource) {
    if (dataSource == dataSource_.get()) return;
    dataSource_ = dataSource;
    if (fieldViews_)
        for (NSObject* v : *fieldViews_)
            if (auto picker = as<DZPickerTextField>(Ref<NSObject>(v)))
                picker->setDataSource(dataSource);
}

NSInteger DZMessageController::fieldIndexOfFirstResponder() {
    NSUInteger count = fieldViewCount();
    for (NSUInteger i = 0; i < count; ++i)
        if (cast<UIView>(fieldViews_->objectAtIndex(i))->isFirstResponder())
            return static_cast<NSInteger>(i);
    if (textEditor_ && textEditor_->activeTextField()->isFirstResponder())
        return static_cast<NSInteger>(count);
    return -1;
}

void DZMessageController::setFieldIndexOfFirstResponder(NSInteger index) {
    view();
    if (static_cast<NSUInteger>(index) < fieldViewCount())
        cast<UIView>(fieldViews_->objectAtIndex(static_cast<NSUInteger>(index)))
            ->becomeFirstResponder();
    else
        textEditor_->becomeFirstResponder();
}

// ---- commands ---------------------------------------------------------------------------------

void DZMessageController::send() {
    Ref<DZMessageController> self(this);
    auto sent = fields_->mutableCopy();
    NSUInteger count = fieldViewCount();
    for (NSUInteger i = 0; i < count; ++i) {
        auto field = fieldForViewAtIndex(i);
        auto picker = as<DZPickerTextField>(viewForFieldAtIndex(i));
        if (!picker) continue;
        if (auto recipients = as<DZMessageRecipientField>(field))
            recipients->setRecipients(picker->cells().get());
        else if (auto text = as<DZMessageTextField>(field))
            text->setText(picker->text().get());
    }
    auto bodyField = make<DZMessageTextField>(&DZMessageTextField::initWithTitle, nullptr, false);
    bodyField->setText(body().get());
    sent->addObject(bodyField.get());
    showActivityView(true);
    messageWillSend(sent.get());
    if (auto* p = delegateFor("composeController:didSendFields:"))
        p->composeControllerDidSendFields(this, sent.get());
    messageDidSend();
}

void DZMessageController::cancel(bool confirm) {
    Ref<DZMessageController> self(this);
    if (!confirm || messageShouldCancel()) {
        if (auto* p = delegateFor("composeControllerWillCancel:"))
            p->composeControllerWillCancel(this);
        dismissModalViewController(this);
    } else {
        confirmCancellation();
    }
}

void DZMessageController::confirmCancellation() {
    DZShowCancelAlert(this);
}

void DZMessageController::showRecipientPicker() {
    messageWillShowRecipientPicker();
    if (auto* p = delegateFor("composeControllerShowRecipientPicker:"))
        p->composeControllerShowRecipientPicker(this);
}

void DZMessageController::showActivityView(bool show) {
    navigationItem()->rightBarButtonItem()->setEnabled(!show);
    if (show) {
        if (activityView_) return;
        activityView_ = alloc<DZActivityLabel>();
        activityView_->initWithFrame(
            CGRectMake(0, 0, width(view().get()), height(scrollView_.get())),
            DZActivityLabelStyleWhiteBox);
        activityView_->setText(titleForSending().get());
        activityView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        view()->addSubview(activityView_.get());
    } else if (activityView_) {
        activityView_->removeFromSuperview();
        activityView_ = nullptr;
    }
}

void DZMessageController::updateSendCommand() {
    navigationItem()->rightBarButtonItem()->setEnabled(hasRequiredText());
}

bool DZMessageController::requiredFieldFilled(NSUInteger index) {
    auto field = fieldForViewAtIndex(index);
    if (is<DZMessageRecipientField>(field.get())) {
        auto picker = as<DZPickerTextField>(viewForFieldAtIndex(index));
        return picker && picker->cellViews()->count() > 0;
    }
    return !isEmptyOrWhitespace(textForFieldAtIndex(index).get());
}

bool DZMessageController::hasEnteredText() {
    NSUInteger count = fieldViewCount();
    for (NSUInteger i = 0; i < count; ++i)
        if (fieldForViewAtIndex(i)->isRequired() && requiredFieldFilled(i)) return true;
    return textEditor_->text()->length() != 0;
}

bool DZMessageController::hasRequiredText() {
    if (requireNonEmptyMessageBody_ && isWhitespaceAndNewlines(textEditor_->text().get()))
        return false;
    NSUInteger count = fieldViewCount();
    for (NSUInteger i = 0; i < count; ++i)
        if (fieldForViewAtIndex(i)->isRequired() && !requiredFieldFilled(i)) return false;
    return true;
}

void DZMessageController::setTitleToSubject() {
    setTitle(subject().get());
    updateSendCommand();
}
