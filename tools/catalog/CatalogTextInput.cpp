#include "tools/catalog/CatalogTextInput.h"
#include "tools/catalog/CatalogControls.h"

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "json/ZJSONDeserializer.h"
#include "tools/catalog/CatalogHosts.h"
#include "ui/core/DZModel.h"
#include "ui/core/DZURLRequest.h"
#include "ui/table/DZMessageController.h"
#include "ui/table/DZPickerTextField.h"
#include "ui/table/DZPostController.h"
#include "ui/table/DZSearchBar.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/DZTextBarController.h"

namespace {

// A screen view of the application frame with a line of text at the bottom that tells what
// happened.
Ref<UILabel> addStatusLine(UIView* view, CGFloat y) {
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, y, 300, 120));
    label->setNumberOfLines(0);
    view->addSubview(label.get());
    return label;
}

Ref<UIView> plainScreenView() {
    auto view = make<UIView>(&UIView::initWithFrame, UIScreen::mainScreen()->applicationFrame());
    view->setBackgroundColor(UIColor::whiteColor().get());
    return view;
}

// ---- the names service --------------------------------------------------------------------------

// The completions for the last text searched; an empty text has none and asks nothing.
class CatalogNamesModel : public DZURLRequestModel {
    NS_OBJECT(CatalogNamesModel, DZURLRequestModel)

public:
    void searchFor(NSString* text) {
        cancel();
        if (!text || text->length() == 0) {
            names_ = NSArray::array();
            didFinishLoad();
            return;
        }
        auto escaped = text->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding);
        auto url = NSString::stringWithFormat(NS("http://%s/names.json?q=%@"),
                                              catalog_hosts::kCatalogServicesHost, escaped.get());
        auto request = DZURLRequest::requestWithURL(url.get(), this);
        request->setCachePolicy(4);  // network only: completions are asked fresh
        request->setResponse(make<DZURLDataResponse>().get());
        request->send();
    }
    void requestDidFinishLoad(DZURLRequest* request) override {
        auto data = as<DZURLDataResponse>(request->response())->data();
        Ref<NSError> error;
        auto answer =
            ZJSONDeserializer::deserializer()->deserializeAsDictionary(data.get(), &error);
        auto names = answer ? as<NSArray>(answer->objectForKey(NS("names"))) : nullptr;
        if (!names) {
            DZURLRequestModel::requestDidFailLoadWithError(request, error.get());
            return;
        }
        names_ = names;
        DZURLRequestModel::requestDidFinishLoad(request);
    }
    Ref<NSArray> names() { return names_ ? names_ : NSArray::array(); }

private:
    Ref<NSArray> names_;
};

// One text row per name; the rows carry a URL so that they can be selected.
class CatalogNamesSource : public DZListDataSource {
    NS_OBJECT(CatalogNamesSource, DZListDataSource)

public:
    bool init() override {
        if (!DZListDataSource::init()) return false;
        model_ = make<CatalogNamesModel>();
        setModel(model_.get());
        return true;
    }
    void search(NSString* text) override {
        searched_ = text && text->length() > 0;
        model_->searchFor(text);
    }
    void tableViewDidLoadModel(UITableView*) override {
        items()->removeAllObjects();
        Ref<NSArray> names = model_->names();
        for (NSObject* name : *names)
            if (auto text = as<NSString>(Ref<NSObject>(name)))
                items()->addObject(
                    DZTableTextItem::itemWithText(text.get(), NS("bazaarnest://names")).get());
        // A search that found nothing says so in a row of its own (with no URL: not chosen),
        // instead of leaving the screen dimmed with nothing to read.
        if (showsNoResults_ && searched_ && names->count() == 0)
            items()->addObject(DZTableGrayTextItem::itemWithText(NS("No results")).get());
    }
    void setShowsNoResults(bool shows) { showsNoResults_ = shows; }

private:
    Ref<CatalogNamesModel> model_;
    bool showsNoResults_ = false;
    bool searched_ = false;
};

Ref<NSString> namesOf(NSArray* objects) {
    std::string list;
    for (NSObject* object : *objects) {
        if (!list.empty()) list += ", ";
        auto item = as<DZTableTextItem>(Ref<NSObject>(object));
        list += item ? item->text()->UTF8String() : object->description()->UTF8String();
    }
    return NSString::fromUTF8(list);
}

// ---- search -----------------------------------------------------------------------------------

class CatalogSearchController : public UIViewController, public DZSearchTextFieldDelegate {
    NS_OBJECT(CatalogSearchController, UIViewController)
    static void describeClass(RuntimeClass& c) { c.implements({"textField:didSelectObject:"}); }

public:
    void loadView() override {
        setView(plainScreenView().get());
        setTitle(NS("Search"));
        bar_ = make<DZSearchBar>(&DZSearchBar::initWithFrame, CGRectMake(0, 0, 320, 44));
        bar_->sizeToFit();
        bar_->setShowsCancelButton(true);
        bar_->setShowsDarkScreen(true);
        bar_->setPlaceholder(NS("Names"));
        source_ = make<CatalogNamesSource>();
        source_->setShowsNoResults(true);
        bar_->setDataSource(source_.get());
        bar_->setDelegate(this);
        view()->addSubview(bar_.get());
        // A view made again after a memory warning shows the name searched for, as it stood:
        // no search runs for it again.
        if (typed_) {
            bar_->setSearchesAutomatically(false);
            bar_->setText(typed_);
            bar_->setSearchesAutomatically(true);
        }
        auto status = addStatusLine(view().get(), 60);
        status->setText(NS("Type a name; tap a result."));
        status_.attach(status.get());
    }
    void viewWillUnload() override {
        UIViewController::viewWillUnload();
        typed_ = bar_->text();
    }
    void textFieldDidSelectObject(DZSearchTextField* field, NSObject* object) override {
        if (is<DZTableGrayTextItem>(object)) return;  // "No results" is no choice
        auto item = as<DZTableTextItem>(Ref<NSObject>(object));
        status_.say(
            NSString::stringWithFormat(NS("Chose %@"), item ? item->text().get() : NS("?")).get());
        field->resignFirstResponder();
    }

private:
    Ref<DZSearchBar> bar_;
    Ref<CatalogNamesSource> source_;
    CatalogStatusLine status_;
    Ref<NSString> typed_;
};

// ---- tokens -----------------------------------------------------------------------------------

class CatalogTokensController : public UIViewController, public DZPickerTextFieldDelegate {
    NS_OBJECT(CatalogTokensController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textField:didAddCellAtIndex:", "textField:didRemoveCellAtIndex:",
                      "textFieldDidResize:"});
    }

public:
    void loadView() override {
        setView(plainScreenView().get());
        setTitle(NS("Token Picker"));
        auto to = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
        to->setText(NS("To:"));
        to->sizeToFit();
        picker_ =
            make<DZPickerTextField>(&DZPickerTextField::initWithFrame, CGRectMake(0, 0, 320, 40));
        source_ = make<CatalogNamesSource>();
        picker_->setDataSource(source_.get());
        // The typed names and the tokens in the label's own size.
        picker_->setFont(to->font().get());
        picker_->setLeftView(to.get());
        picker_->setLeftViewMode(UITextFieldViewModeAlways);
        picker_->setDelegate(this);
        picker_->sizeToFit();
        view()->addSubview(picker_.get());
        status_ = addStatusLine(view().get(), 120);
        // A view made again after a memory warning shows the tokens picked, and the text as the
        // field held it.
        if (tokens_)
            for (NSObject* token : *tokens_)
                picker_->addCellWithObject(token);
        if (text_) picker_->setText(text_.get());
        showCells();
    }
    void viewWillUnload() override {
        UIViewController::viewWillUnload();
        tokens_ = picker_->cells();
        text_ = picker_->text();
    }
    void textFieldDidAddCellAtIndex(DZPickerTextField*, NSInteger) override { showCells(); }
    void textFieldDidRemoveCellAtIndex(DZPickerTextField*, NSInteger) override { showCells(); }
    void textFieldDidResize(DZPickerTextField*) override {
        setTop(status_.get(), picker_->frame().origin.y + picker_->frame().size.height + 80);
    }

private:
    static void setTop(UIView* v, CGFloat y) {
        CGRect f = v->frame();
        f.origin.y = y;
        v->setFrame(f);
    }
    void showCells() {
        auto cells = picker_->cells();
        status_->setText(
            cells->count()
                ? NSString::stringWithFormat(NS("Tokens: %@"), namesOf(cells.get()).get()).get()
                : NS("No tokens"));
    }

    Ref<DZPickerTextField> picker_;
    Ref<CatalogNamesSource> source_;
    Ref<UILabel> status_;
    Ref<NSArray> tokens_;
    Ref<NSString> text_;
};

// ---- composer ---------------------------------------------------------------------------------

class CatalogComposerController : public UIViewController, public DZMessageControllerDelegate {
    NS_OBJECT(CatalogComposerController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"composeController:didSendFields:", "composeControllerWillCancel:"});
        c.method("compose:", &CatalogComposerController::compose);
    }

public:
    void loadView() override {
        setView(plainScreenView().get());
        setTitle(NS("Message Composer"));
        addCatalogButton(view().get(), CGRectMake(20, 20, 280, 37), "New Message", this,
                         "compose:");
        status_.attach(addStatusLine(view().get(), 80).get());
    }
    void compose(NSObject*) {
        auto composer = make<DZMessageController>();
        composer->setDataSource(make<CatalogNamesSource>().get());
        composer->setDelegate(this);
        auto nav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                                composer.get());
        presentModalViewController(nav.get(), false);
    }
    void composeControllerDidSendFields(DZMessageController* composer, NSArray* fields) override {
        std::string text;
        for (NSObject* object : *fields) {
            auto* field = static_cast<DZMessageField*>(object);
            std::string title = field->title() ? field->title()->UTF8String() : "Body:";
            std::string value;
            if (auto recipients = as<DZMessageRecipientField>(Ref<NSObject>(object)))
                value = namesOf(recipients->recipients().get())->UTF8String();
            else if (auto textField = as<DZMessageTextField>(Ref<NSObject>(object)))
                value = textField->text() ? textField->text()->UTF8String() : "";
            if (!text.empty()) text += "\n";
            text += title + " " + value;
        }
        status_.say(NSString::fromUTF8("Sent\n" + text).get());
        // The sending state ends with the screen.
        composer->showActivityView(false);
        dismissModalViewControllerAnimated(false);
    }
    void composeControllerWillCancel(DZMessageController*) override {
        status_.say(NS("Cancelled"));
    }

private:
    CatalogStatusLine status_;
};

// ---- text bar and post popup -----------------------------------------------------------------

class CatalogTextBarScreen : public UIViewController, public DZTextBarDelegate {
    NS_OBJECT(CatalogTextBarScreen, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textBar:willPostText:", "textBarDidCancel:"});
        c.method("comment:", &CatalogTextBarScreen::comment);
    }

public:
    void loadView() override {
        setView(plainScreenView().get());
        setTitle(NS("Text Bar"));
        addCatalogButton(view().get(), CGRectMake(20, 20, 280, 37), "Comment", this, "comment:");
        status_.attach(addStatusLine(view().get(), 70).get());
    }
    void comment(NSObject*) {
        bar_ = make<DZTextBarController>();
        bar_->setDelegate(this);
        bar_->showInView(view().get(), true);
    }
    bool textBarWillPostText(DZTextBarController*, NSString* text) override {
        status_.say(NSString::stringWithFormat(NS("Posted %@"), text).get());
        return true;
    }
    void textBarDidCancel(DZTextBarController*) override { status_.say(NS("Cancelled")); }

private:
    Ref<DZTextBarController> bar_;
    CatalogStatusLine status_;
};

class CatalogPostPopupScreen : public UIViewController, public DZPostControllerDelegate {
    NS_OBJECT(CatalogPostPopupScreen, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"postController:didPostText:withResult:", "postControllerDidCancel:"});
        c.method("write:", &CatalogPostPopupScreen::write);
    }

public:
    void loadView() override {
        setView(plainScreenView().get());
        setTitle(NS("Post Popup"));
        button_ = addCatalogButton(view().get(), CGRectMake(20, 20, 280, 37), "Write a Note", this,
                                   "write:");
        status_.attach(addStatusLine(view().get(), 70).get());
    }
    void write(NSObject*) {
        auto post = make<DZPostController>();
        post->navigationItem()->setTitle(NS("Note"));
        post->setDelegate(this);
        post->setOriginView(button_.get());
        post->showInView(view().get(), true);
    }
    void postControllerDidPostText(DZPostController*, NSString* text, NSObject*) override {
        status_.say(NSString::stringWithFormat(NS("Posted %@"), text).get());
    }
    void postControllerDidCancel(DZPostController*) override { status_.say(NS("Cancelled")); }

private:
    Ref<UIButton> button_;
    CatalogStatusLine status_;
};

}  // namespace

Ref<UIViewController> makeCatalogSearchScreen() {
    return make<CatalogSearchController>();
}

Ref<UIViewController> makeCatalogTokensScreen() {
    return make<CatalogTokensController>();
}

Ref<UIViewController> makeCatalogComposerScreen() {
    return make<CatalogComposerController>();
}

Ref<UIViewController> makeCatalogTextBarScreen() {
    return make<CatalogTextBarScreen>();
}

Ref<UIViewController> makeCatalogPostPopupScreen() {
    return make<CatalogPostPopupScreen>();
}
