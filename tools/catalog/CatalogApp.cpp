#include "tools/catalog/CatalogApp.h"

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "Classes/NoticewallAppDelegate.h"
#include "Classes/SiteHosts.h"
#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "MessageUI/MFMessageComposeViewController.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIPickerView.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UITableViewController.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdView.h"
#include "analytics/TallyAPI.h"
#include "tools/appimages/AppImages.h"
#include "tools/catalog/CatalogAds.h"
#include "tools/catalog/CatalogComposite.h"
#include "tools/catalog/CatalogControls.h"
#include "tools/catalog/CatalogFullScreenAd.h"
#include "tools/catalog/CatalogInterstitial.h"
#include "tools/catalog/CatalogNavigator.h"
#include "tools/catalog/CatalogTables.h"
#include "tools/catalog/CatalogTextInput.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLRequest.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZButton.h"
#include "ui/style/DZImageView.h"
#include "ui/style/DZLabel.h"
#include "ui/style/DZPageControl.h"
#include "ui/style/DZStyledTextLabel.h"
#include "ui/style/DZTextStyle.h"

namespace {

SEL sel(const char* name) {
    return Selector::named(name);
}

Ref<NSString> ns(const std::string& s) {
    return NSString::fromUTF8(s);
}

Ref<UILabel> makeLabel(UIView* parent, CGRect frame, const std::string& text) {
    auto label = make<UILabel>(&UILabel::initWithFrame, frame);
    label->setText(ns(text));
    parent->addSubview(label);
    return label;
}

Ref<UIButton> makeButton(UIView* parent, CGRect frame, const char* title, NSObject* target,
                         const char* action) {
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(frame);
    button->setTitle(NSString::fromUTF8(title), UIControlStateNormal);
    button->addTarget(target, sel(action), UIControlEventTouchUpInside);
    parent->addSubview(button);
    return button;
}

Ref<UIView> makeScreenView() {
    auto view = make<UIView>(&UIView::initWithFrame, UIScreen::mainScreen()->applicationFrame());
    view->setBackgroundColor(UIColor::whiteColor());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    return view;
}

struct Listing {
    std::string title;
    int price = 0;
};

// How many memory warnings the app has heard (the settings screen shows it).
int gMemoryWarnings = 0;

}  // namespace

// ---- the detail screen
// ---------------------------------------------------------------------------

class CatalogItemController : public UIViewController,
                              public UITextFieldDelegate,
                              public UIAlertViewDelegate,
                              public UIActionSheetDelegate,
                              public MFMailComposeViewControllerDelegate,
                              public MFMessageComposeViewControllerDelegate {
    NS_OBJECT(CatalogItemController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textFieldShouldReturn:", "alertView:clickedButtonAtIndex:",
                      "actionSheet:clickedButtonAtIndex:",
                      "mailComposeController:didFinishWithResult:error:",
                      "messageComposeViewController:didFinishWithResult:"});
        c.method("replyPressed:", &CatalogItemController::replyPressed);
        c.method("watchChanged:", &CatalogItemController::watchChanged);
        c.method("browserPressed:", &CatalogItemController::browserPressed);
        c.method("sharePressed:", &CatalogItemController::sharePressed);
    }

    Listing listing;

    void loadView() override {
        auto view = makeScreenView();
        makeLabel(view, CGRectMake(20, 12, 280, 24), "Price: $" + std::to_string(listing.price));
        makeLabel(view, CGRectMake(20, 52, 80, 31), "Message");
        message_ = make<UITextField>(&UITextField::initWithFrame, CGRectMake(100, 52, 200, 31));
        message_->setPlaceholder(NS("Your message"));
        message_->setReturnKeyType(UIReturnKeySend);
        message_->setDelegate(this);
        view->addSubview(message_);
        makeButton(view, CGRectMake(20, 96, 280, 37), "Send Reply", this, "replyPressed:");
        makeLabel(view, CGRectMake(20, 146, 180, 27), "Watch this item");
        watch_ = make<UISwitch>(&UISwitch::initWithFrame, CGRectMake(221, 146, 79, 27));
        watch_->addTarget(this, sel("watchChanged:"), UIControlEventValueChanged);
        view->addSubview(watch_);
        makeButton(view, CGRectMake(20, 186, 130, 37), "Open in Browser", this, "browserPressed:");
        makeButton(view, CGRectMake(170, 186, 130, 37), "Share", this, "sharePressed:");
        status_.attach(makeLabel(view, CGRectMake(20, 240, 280, 24), ""));
        // A view made again after a memory warning shows what the one let go showed.
        message_->setText(typedMessage_);
        watch_->setOn(watching_);
        setView(view);
    }

    // What the view shows lives on in the controller while the view is let go.
    void viewWillUnload() override {
        UIViewController::viewWillUnload();
        typedMessage_ = message_->text();
        watching_ = watch_->isOn();
    }

    void viewDidUnload() override {
        UIViewController::viewDidUnload();
        message_ = nullptr;
        watch_ = nullptr;
    }

    void viewDidLoad() override { setTitle(ns(listing.title)); }

    void replyPressed(NSObject*) {
        message_->resignFirstResponder();
        auto text = message_->text();
        if (text->length() == 0) {
            auto alert = alloc<UIAlertView>();
            alert->initWithTitle(NS("Notice"), NS("Please type a message first."), nullptr,
                                 NS("OK"));
            alert->show();
            return;
        }
        auto alert = alloc<UIAlertView>();
        alert->initWithTitle(NS("Send reply?"), text, this, NS("Cancel"), {NS("Send")});
        alert->show();
    }

    bool textFieldShouldReturn(UITextField*) override {
        replyPressed(nullptr);
        return true;
    }

    void alertViewClickedButtonAtIndex(UIAlertView*, NSInteger index) override {
        if (index != 1) return;
        showStatus(ns("Reply sent: " + message_->text()->utf8()));
        message_->setText(nullptr);
    }

    void watchChanged(NSObject*) {
        showStatus(watch_->isOn() ? NS("Watching this item") : NS("Not watching"));
    }

    void browserPressed(NSObject*) {
        std::string url = "http://bazaarnest.example/item/";
        for (char c : listing.title)
            url += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        UIApplication::sharedApplication()->openURL(NSURL::URLWithString(ns(url)));
    }

    void sharePressed(NSObject*) {
        auto sheet = alloc<UIActionSheet>();
        sheet->initWithTitle(NS("Share this listing"), this, NS("Cancel"), nullptr,
                             {NS("Mail"), NS("Text Message")});
        sheet->showInView(view());
    }

    void actionSheetClickedButtonAtIndex(UIActionSheet*, NSInteger index) override {
        std::string body = listing.title + " for $" + std::to_string(listing.price);
        if (index == 0) {
            auto mail = make<MFMailComposeViewController>();
            mail->setMailComposeDelegate(this);
            mail->setSubject(ns(listing.title));
            mail->setToRecipients(NSArray::arrayWithObject(NS("friend@example.com")));
            mail->setMessageBody(ns("Have a look: " + body), false);
            presentModalViewController(mail, true);
        } else if (index == 1) {
            auto text = make<MFMessageComposeViewController>();
            text->setMessageComposeDelegate(this);
            text->setBody(ns(body));
            presentModalViewController(text, true);
        }
    }

    void mailComposeControllerDidFinishWithResult(MFMailComposeViewController*,
                                                  MFMailComposeResult result, NSError*) override {
        showStatus(result == MFMailComposeResultSent ? NS("Shared by mail") : NS("Mail not sent"));
        dismissModalViewControllerAnimated(true);
    }

    void messageComposeViewControllerDidFinishWithResult(MFMessageComposeViewController*,
                                                         MessageComposeResult result) override {
        showStatus(result == MessageComposeResultSent ? NS("Shared by text message")
                                                      : NS("Message not sent"));
        dismissModalViewControllerAnimated(true);
    }

private:
    // A composer's result can arrive while the view is let go.
    void showStatus(NSString* text) { status_.say(text); }

    Ref<UITextField> message_;
    Ref<UISwitch> watch_;
    CatalogStatusLine status_;
    Ref<NSString> typedMessage_;
    bool watching_ = false;
};

// ---- the list ----------------------------------------------------------------------------------

// A table that hears shakes while it holds the focus.
class CatalogShakeTable : public UITableView {
    NS_OBJECT(CatalogShakeTable, UITableView)
    std::function<void()> onShake;
    bool canBecomeFirstResponder() override { return true; }
    void motionEnded(UIEventSubtype motion, UIEvent* event) override {
        if (motion == UIEventSubtypeMotionShake && onShake) {
            onShake();
            return;
        }
        UITableView::motionEnded(motion, event);
    }
};

class CatalogListController : public UITableViewController {
    NS_OBJECT(CatalogListController, UITableViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:",
                      "tableView:commitEditingStyle:forRowAtIndexPath:",
                      "tableView:didSelectRowAtIndexPath:"});
        c.method("refreshPressed:", &CatalogListController::refreshPressed);
        c.method("refreshDone", &CatalogListController::refreshDone);
    }

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override {
        if (!UITableViewController::initWithNibName(nibName, bundle)) return false;
        sections_ = {
            {"For Sale",
             {{"Road bike", 120},
              {"Sofa", 80},
              {"Desk lamp", 15},
              {"Bookshelf", 40},
              {"Camera", 150},
              {"Guitar", 200},
              {"Tent", 60},
              {"Snowboard", 90}}},
            {"Wanted", {{"Piano lessons", 30}, {"Bike rack", 25}, {"Garden tools", 20}}},
        };
        return true;
    }

    void loadView() override {
        auto table = alloc<CatalogShakeTable>();
        table->initWithFrame(fullScreenFrame(), UITableViewStylePlain);
        table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                   UIViewAutoresizingFlexibleHeight);
        Weak<CatalogListController> weak(this);
        // A shake turns the order of every section round.
        table->onShake = [weak] {
            auto self = weak.lock();
            if (!self) return;
            for (auto& s : self->sections_)
                std::reverse(s.second.begin(), s.second.end());
            self->tableView()->reloadData();
        };
        table->setDataSource(this);
        table->setDelegate(this);
        setView(table);
    }

    void viewDidLoad() override {
        setTitle(NS("Listings"));
        navigationItem()->setLeftBarButtonItem(editButtonItem());
        showRefreshButton();
    }

    void viewDidAppear(bool animated) override {
        UITableViewController::viewDidAppear(animated);
        tableView()->becomeFirstResponder();
    }

    NSInteger numberOfSectionsInTableView(UITableView*) override {
        return static_cast<NSInteger>(sections_.size());
    }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger section) override {
        return static_cast<NSInteger>(sections_[static_cast<size_t>(section)].second.size());
    }
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger section) override {
        return ns(sections_[static_cast<size_t>(section)].first);
    }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override {
        auto cell = table->dequeueReusableCellWithIdentifier(NS("Listing"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleValue1, NS("Listing"));
            cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        }
        const Listing& l = listingAt(path);
        cell->textLabel()->setText(ns(l.title));
        cell->detailTextLabel()->setText(ns("$" + std::to_string(l.price)));
        return cell;
    }
    void tableViewCommitEditingStyle(UITableView* table, UITableViewCellEditingStyle style,
                                     NSIndexPath* path) override {
        if (style != UITableViewCellEditingStyleDelete) return;
        auto& rows = sections_[static_cast<size_t>(path->section())].second;
        rows.erase(rows.begin() + path->row());
        table->deleteRowsAtIndexPaths(NSArray::arrayWithObject(path), UITableViewRowAnimationFade);
    }
    void tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) override {
        table->deselectRowAtIndexPath(path, true);
        auto item = make<CatalogItemController>();
        item->listing = listingAt(path);
        navigationController()->pushViewController(item, true);
    }

    // Refreshing takes two seconds and brings one new listing.
    void refreshPressed(NSObject*) {
        auto spinner = make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithFrame,
                                                     CGRectMake(0, 0, 20, 20));
        spinner->startAnimating();
        auto item = make<UIBarButtonItem>(&UIBarButtonItem::initWithCustomView, spinner.get());
        navigationItem()->setRightBarButtonItem(item);
        performSelector(sel("refreshDone"), nullptr, 2.0);
    }
    void refreshDone() {
        sections_.front().second.insert(sections_.front().second.begin(), Listing{"Kayak", 300});
        tableView()->reloadData();
        showRefreshButton();
    }

private:
    const Listing& listingAt(NSIndexPath* path) {
        return sections_[static_cast<size_t>(path->section())]
            .second[static_cast<size_t>(path->row())];
    }
    void showRefreshButton() {
        auto refresh =
            make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Refresh"),
                                  UIBarButtonItemStyleBordered, this, sel("refreshPressed:"));
        navigationItem()->setRightBarButtonItem(refresh);
    }

    std::vector<std::pair<std::string, std::vector<Listing>>> sections_;
};

// ---- settings ----------------------------------------------------------------------------------

class CatalogSettingsController : public UIViewController,
                                  public UIPickerViewDataSource,
                                  public UIPickerViewDelegate,
                                  public UIImagePickerControllerDelegate {
    NS_OBJECT(CatalogSettingsController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"pickerView:titleForRow:forComponent:", "pickerView:didSelectRow:inComponent:",
             "imagePickerController:didFinishPickingMediaWithInfo:",
             "imagePickerControllerDidCancel:"});
        c.method("photoPressed:", &CatalogSettingsController::photoPressed);
    }

    void loadView() override {
        auto view = makeScreenView();
        makeLabel(view, CGRectMake(20, 20, 180, 27), "Notifications");
        notifications_ = make<UISwitch>(&UISwitch::initWithFrame, CGRectMake(221, 20, 79, 27));
        notifications_->setOn(notificationsOn_);
        view->addSubview(notifications_);
        makeLabel(view, CGRectMake(20, 60, 70, 30), "Sort by");
        sort_ = make<UISegmentedControl>(
            &UISegmentedControl::initWithItems,
            NSArray::arrayWithObjects({NS("Newest"), NS("Cheapest"), NS("Nearest")}));
        sort_->setFrame(CGRectMake(90, 60, 210, 30));
        sort_->setSelectedSegmentIndex(sortIndex_);
        view->addSubview(sort_);
        warnings_ = makeLabel(view, CGRectMake(20, 100, 280, 24), "");
        makeButton(view, CGRectMake(20, 130, 130, 30), "Choose Photo", this, "photoPressed:");
        photo_ = makeLabel(view, CGRectMake(160, 130, 140, 30), "");
        photo_->setText(photoName_);
        makeLabel(view, CGRectMake(20, 168, 280, 24), "Region");
        region_ = make<UIPickerView>(&UIPickerView::initWithFrame, CGRectMake(0, 195, 320, 216));
        region_->setDataSource(this);
        region_->setDelegate(this);
        region_->selectRow(regionRow_, 0, false);
        view->addSubview(region_);
        setView(view);
    }

    // The choices live on in the controller while the view is let go (the photo picker covers
    // it), and a view made again shows them.
    void viewWillUnload() override {
        UIViewController::viewWillUnload();
        notificationsOn_ = notifications_->isOn();
        sortIndex_ = sort_->selectedSegmentIndex();
        regionRow_ = region_->selectedRowInComponent(0);
    }

    void viewDidUnload() override {
        UIViewController::viewDidUnload();
        notifications_ = nullptr;
        sort_ = nullptr;
        region_ = nullptr;
        warnings_ = nullptr;
        photo_ = nullptr;
    }

    void viewWillAppear(bool animated) override {
        UIViewController::viewWillAppear(animated);
        showWarnings();
    }
    // The application has counted the warning by now: the screen says so at once.
    void didReceiveMemoryWarning() override {
        UIViewController::didReceiveMemoryWarning();
        if (isViewLoaded()) showWarnings();
    }
    void showWarnings() {
        warnings_->setText(ns("Memory warnings: " + std::to_string(gMemoryWarnings)));
    }

    NSInteger numberOfComponentsInPickerView(UIPickerView*) override { return 1; }
    NSInteger pickerViewNumberOfRowsInComponent(UIPickerView*, NSInteger) override { return 3; }
    Ref<NSString> pickerViewTitleForRowForComponent(UIPickerView*, NSInteger row,
                                                    NSInteger) override {
        static const char* regions[] = {"US", "Canada", "Europe"};
        return NSString::fromUTF8(regions[row]);
    }

    void photoPressed(NSObject*) {
        auto picker = make<UIImagePickerController>();
        picker->setDelegate(this);
        presentModalViewController(picker, true);
    }
    void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController*,
                                                            NSDictionary* info) override {
        auto url = as<NSURL>(info->objectForKey(UIImagePickerControllerReferenceURL));
        // The picker may have outlived the view: the name waits for the next one.
        photoName_ = url ? url->lastPathComponent() : Ref<NSString>(NS("Photo"));
        if (photo_) photo_->setText(photoName_);
        dismissModalViewControllerAnimated(true);
    }
    void imagePickerControllerDidCancel(UIImagePickerController*) override {
        dismissModalViewControllerAnimated(true);
    }

private:
    Ref<UISwitch> notifications_;
    Ref<UISegmentedControl> sort_;
    Ref<UIPickerView> region_;
    Ref<UILabel> warnings_;
    Ref<UILabel> photo_;
    bool notificationsOn_ = true;
    NSInteger sortIndex_ = 0;
    NSInteger regionRow_ = 0;
    Ref<NSString> photoName_ = NS("No photo");
};

// ---- about -------------------------------------------------------------------------------------

class CatalogAboutController : public UIViewController, public UIWebViewDelegate {
    NS_OBJECT(CatalogAboutController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"webView:shouldStartLoadWithRequest:navigationType:"});
    }

    void loadView() override {
        auto view = makeScreenView();
        web_ = make<UIWebView>(&UIWebView::initWithFrame, view->bounds());
        web_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
        web_->setDelegate(this);
        view->addSubview(web_);
        setView(view);
    }

    // The page comes from the device's files, beside its logo: a page from the network would
    // show no picture of the device's.
    void viewDidLoad() override {
        auto folder = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("About"));
        NSFileManager::defaultManager()->createDirectoryAtPath(folder, true, nullptr, nullptr);
        if (auto png = UIImagePNGRepresentation(drawLauncherIcon("Bazaarnest", 0)))
            file_detail::writeDataAtomically(
                png.get(), folder->stringByAppendingPathComponent(NS("logo.png")).get(),
                file_detail::Target::OwnStore);
        web_->loadHTMLString(NS("<html><head><title>About</title></head><body>"
                                "<h1>Bazaarnest Catalog</h1>"
                                "<p>The pieces of the system the app itself does not use.</p>"
                                "<p><img src=\"logo.png\"> Read the <a "
                                "href=\"http://bazaarnest.example/help\">help pages</a> for "
                                "details.</p>"
                                "</body></html>"),
                             NSURL::fileURLWithPath(folder, true));
    }

    // Links leave for the browser.
    bool webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest* request,
                                           UIWebViewNavigationType type) override {
        if (type != UIWebViewNavigationTypeLinkClicked) return true;
        UIApplication::sharedApplication()->openURL(request->URL());
        return false;
    }

private:
    Ref<UIWebView> web_;
};

// ---- the framework components ------------------------------------------------------------------

// The stand-in site's results page of bikes with photos in the default city.
Ref<DZURLRequest> resultsPageRequest(NSObject* delegate) {
    auto page = DZURLRequest::requestWithURL(
        NSString::stringWithFormat(NS("http://%@.%@/search/bik?hasPic=1"), SiteHosts::defaultCity(),
                                   SiteHosts::domain()),
        delegate);
    page->setResponse(make<DZURLDataResponse>());
    return page;
}

// The URLs of the first rows' thumbnails, named "images:<listing id>_1.jpg" on the results page.
std::vector<Ref<NSString>> thumbnailURLs(NSData* page, size_t count) {
    std::string html =
        page ? std::string(static_cast<const char*>(page->bytes()), page->length()) : std::string();
    static const std::regex row("images:([0-9]+_1\\.jpg)");
    std::vector<Ref<NSString>> urls;
    for (std::sregex_iterator it(html.begin(), html.end(), row), end;
         it != end && urls.size() < count; ++it) {
        urls.push_back(NSString::stringWithFormat(NS("http://%@/thumb/%@"), SiteHosts::imageHost(),
                                                  ns((*it)[1].str())));
    }
    return urls;
}

// A screen of listing thumbnails from the stand-in site, loaded through the framework's request
// queue: the results page first, then each row's thumbnail. The network activity indicator and
// the spinner show while anything loads; a second visit is answered from the cache.
class CatalogThumbnailsController : public UIViewController, public DZURLRequestDelegate {
    NS_OBJECT(CatalogThumbnailsController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"requestDidFinishLoad:", "request:didFailLoadWithError:", "requestDidCancelLoad:"});
    }

public:
    static constexpr int kThumbnails = 8;

    void dealloc() override {
        DZURLRequestQueue::mainQueue()->cancelRequestsWithDelegate(this);
        UIViewController::dealloc();
    }

    void loadView() override {
        auto view = makeScreenView();
        status_.attach(makeLabel(view, CGRectMake(10, 10, 260, 21), "Loading the results page"));
        spinner_ =
            make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithActivityIndicatorStyle,
                                          UIActivityIndicatorViewStyleGray);
        spinner_->setFrame(CGRectMake(285, 10, 20, 20));
        spinner_->setHidesWhenStopped(true);
        view->addSubview(spinner_);
        // A view made again after a memory warning shows the thumbnails that came.
        imageViews_.clear();
        for (int i = 0; i < kThumbnails; ++i) {
            CGRect frame = CGRectMake(10 + 77 * (i % 4), 45 + 77 * (i / 4), 70, 70);
            auto imageView = make<UIImageView>(&UIImageView::initWithFrame, frame);
            imageView->setImage(images_[i]);
            view->addSubview(imageView);
            imageViews_.push_back(imageView);
        }
        setView(view);
    }

    void viewDidLoad() override {
        setTitle(NS("Thumbnails"));
        if (!finished_) spinner_->startAnimating();
        // The page is asked for once: a view made again waits for the same requests.
        if (page_) return;
        page_ = resultsPageRequest(this);
        page_->send();
    }

    void requestDidFinishLoad(DZURLRequest* request) override {
        if (request == page_.get()) {
            loadThumbnails(as<DZURLDataResponse>(request->response())->data());
            return;
        }
        auto image = as<DZURLImageResponse>(request->response())->image();
        for (size_t i = 0; i < thumbnails_.size(); ++i) {
            if (thumbnails_[i].get() != request) continue;
            // Named by its URL, so the screen says which thumbnail it shows.
            image->setSourceName(request->urlPath());
            images_[i] = image;
            if (i < imageViews_.size()) imageViews_[i]->setImage(image);
        }
        ++loaded_;
        if (request->respondedFromCache()) ++fromCache_;
        showProgress();
    }
    void requestDidFailLoadWithError(DZURLRequest* request, NSError* error) override {
        if (request == page_.get()) {
            finished_ = true;
            if (spinner_) spinner_->stopAnimating();
            status_.say(NSString::stringWithFormat(NS("Results failed: %ld"),
                                                   static_cast<long>(error->code())));
            return;
        }
        ++failed_;
        showProgress();
    }
    void requestDidCancelLoad(DZURLRequest*) override {
        ++failed_;
        showProgress();
    }

private:
    void loadThumbnails(NSData* page) {
        for (auto& url : thumbnailURLs(page, kThumbnails)) {
            auto request = DZURLRequest::requestWithURL(url, this);
            request->setResponse(make<DZURLImageResponse>());
            thumbnails_.push_back(request);
        }
        showProgress();
        for (auto& request : std::vector<Ref<DZURLRequest>>(thumbnails_))
            request->send();
    }

    void showProgress() {
        int total = static_cast<int>(thumbnails_.size());
        if (loaded_ + failed_ < total) {
            status_.say(ns("Loading: " + std::to_string(loaded_) + " of " + std::to_string(total) +
                           " thumbnails"));
            return;
        }
        finished_ = true;
        if (spinner_) spinner_->stopAnimating();
        std::string text = std::to_string(loaded_) + " thumbnails, " + std::to_string(fromCache_) +
                           " from the cache";
        if (failed_) text += ", " + std::to_string(failed_) + " failed";
        status_.say(ns(text));
    }

    CatalogStatusLine status_;
    Ref<UIActivityIndicatorView> spinner_;
    std::vector<Ref<UIImageView>> imageViews_;
    Ref<UIImage> images_[kThumbnails];
    bool finished_ = false;
    Ref<DZURLRequest> page_;
    std::vector<Ref<DZURLRequest>> thumbnails_;
    int loaded_ = 0;
    int fromCache_ = 0;
    int failed_ = 0;
};

// The styled buttons of the default style sheet: each tool-bar style normal, selected ("on")
// and disabled ("off"); a tap names the button tapped.
class CatalogStylesController : public UIViewController {
    NS_OBJECT(CatalogStylesController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("buttonTapped:", &CatalogStylesController::buttonTapped);
    }

public:
    void loadView() override {
        auto view = makeScreenView();
        static const std::pair<const char*, const char*> kStyles[] = {
            {"toolbarButton:", "Post"},
            {"toolbarBackButton:", "Back"},
            {"toolbarForwardButton:", "Forward"},
            {"toolbarRoundButton:", "Round"},
            {"blackToolbarButton:", "Black"},
            {"grayToolbarButton:", "Gray"},
            {"blackToolbarForwardButton:", "Black Fwd"},
            {"blackToolbarRoundButton:", "Black Rnd"},
        };
        CGFloat y = 10;
        for (auto& [style, name] : kStyles) {
            const std::string titles[] = {name, std::string(name) + " on",
                                          std::string(name) + " off"};
            for (int column = 0; column < 3; ++column) {
                auto button = DZButton::buttonWithStyle(ns(style), ns(titles[column]));
                CGSize fit = button->sizeThatFits(CGSizeZero);
                button->setFrame(
                    CGRectMake(8 + 104 * column, y, std::min(fit.width, CGFloat(100)), fit.height));
                button->setSelected(column == 1);
                button->setEnabled(column != 2);
                button->addTarget(this, sel("buttonTapped:"), UIControlEventTouchUpInside);
                view->addSubview(button);
            }
            y += 40;
        }
        status_.attach(makeLabel(view, CGRectMake(10, y + 4, 300, 21), "Tap a button"));
        setView(view);
    }

    void viewDidLoad() override {
        UIViewController::viewDidLoad();
        setTitle(NS("Styles"));
    }

    void buttonTapped(DZButton* button) {
        status_.say(
            NSString::stringWithFormat(NS("Tapped %@"), button->titleForCurrentState().get()));
    }

private:
    CatalogStatusLine status_;
};

// The styles' widgets: site thumbnails in image views behind a default image, the loading
// label in its black bezel (its spinner stopped and its words changed once every thumbnail has
// come), and page dots that step a styled label's page count when tapped.
class CatalogWidgetsController : public UIViewController,
                                 public DZURLRequestDelegate,
                                 public DZImageViewDelegate {
    NS_OBJECT(CatalogWidgetsController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestDidFinishLoad:", "imageView:didLoadImage:"});
        c.method("pageChanged:", &CatalogWidgetsController::pageChanged);
    }

public:
    static constexpr int kThumbnails = 4;
    static constexpr NSInteger kPages = 4;

    void dealloc() override {
        DZURLRequestQueue::mainQueue()->cancelRequestsWithDelegate(this);
        UIViewController::dealloc();
    }

    void loadView() override {
        auto view = makeScreenView();
        // A plain grey square, named so that the screen says when it stands in.
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(70, 70), true, 1);
        UIColor::colorWithWhite(0.85f, 1)->setFill();
        UIRectFill(CGRectMake(0, 0, 70, 70));
        auto placeholder = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        placeholder->setSourceName(NS("placeholder"));
        imageViews_.clear();
        for (int i = 0; i < kThumbnails; ++i) {
            auto imageView =
                make<DZImageView>(&DZImageView::initWithFrame, CGRectMake(10 + 77 * i, 10, 70, 70));
            imageView->setDefaultImage(placeholder);
            imageView->setDelegate(this);
            view->addSubview(imageView);
            imageViews_.push_back(imageView);
        }
        loading_ = alloc<DZActivityLabel>();
        loading_->initWithFrame(CGRectMake(0, 90, 320, 80), DZActivityLabelStyleBlackBezel,
                                NS("Loading..."));
        loading_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        view->addSubview(loading_);
        dots_ = make<DZPageControl>(&DZPageControl::initWithFrame, CGRectMake(0, 180, 320, 20));
        dots_->setNumberOfPages(kPages);
        // The page chosen outlives a view let go on a memory warning.
        dots_->setCurrentPage(currentPage_);
        dots_->setAccessibilityLabel(NS("Page dots"));
        // A grey band, so that the current page's white dot shows.
        dots_->setBackgroundColor(UIColor::colorWithWhite(0.6f, 1));
        dots_->addTarget(this, sel("pageChanged:"), UIControlEventValueChanged);
        view->addSubview(dots_);
        page_ = make<DZLabel>(&DZLabel::initWithFrame, CGRectMake(10, 205, 300, 21));
        page_->setStyle(DZTextStyle::styleWithFont(UIFont::systemFontOfSize(14),
                                                   UIColor::darkGrayColor(), nullptr));
        page_->setBackgroundColor(UIColor::clearColor());
        view->addSubview(page_);
        pageChanged(dots_);
        setView(view);
    }

    void viewWillUnload() override {
        UIViewController::viewWillUnload();
        currentPage_ = dots_->currentPage();
    }

    void viewDidLoad() override {
        UIViewController::viewDidLoad();
        setTitle(NS("Widgets"));
        results_ = resultsPageRequest(this);
        results_->send();
    }

    void requestDidFinishLoad(DZURLRequest* request) override {
        if (request != results_.get()) return;
        auto urls =
            thumbnailURLs(as<DZURLDataResponse>(request->response())->data(), size_t(kThumbnails));
        for (size_t i = 0; i < urls.size(); ++i)
            imageViews_[i]->setUrlPath(urls[i]);
    }

    void imageViewDidLoadImage(DZImageView*, UIImage*) override {
        for (auto& view : imageViews_)
            if (!view->isLoaded()) return;
        loading_->setIsAnimating(false);
        loading_->setText(NS("All thumbnails loaded"));
    }

    void pageChanged(DZPageControl* dots) {
        page_->setText(NSString::stringWithFormat(NS("Page %ld of %ld"),
                                                  static_cast<long>(dots->currentPage() + 1),
                                                  static_cast<long>(dots->numberOfPages())));
    }

private:
    std::vector<Ref<DZImageView>> imageViews_;
    Ref<DZActivityLabel> loading_;
    Ref<DZPageControl> dots_;
    Ref<DZLabel> page_;
    Ref<DZURLRequest> results_;
    NSInteger currentPage_ = 0;
};

// Styled text: bold, italic, links and an inline site thumbnail, in a styled text label.
// A touched link is opened through the navigator, which hands web addresses to another app.
class CatalogStyledTextController : public UIViewController {
    NS_OBJECT(CatalogStyledTextController, UIViewController)

public:
    void loadView() override {
        auto view = makeScreenView();
        label_ = make<DZStyledTextLabel>(&UIView::initWithFrame, CGRectMake(10, 10, 300, 100));
        label_->setContentInset(UIEdgeInsetsMake(4, 4, 4, 4));
        // The thumbnail comes from the site's image host through the request queue.
        label_->setHtml(NSString::stringWithFormat(
            NS("<b>Road bike</b>, <i>barely used</i>: 21 gears and new tyres "
               "<img src=\"http://%@/thumb/1007722008_1.jpg\" width=\"40\" height=\"30\"/> "
               "with a bell. See <a href=\"http://photos.bazaarnest.test/road-bike\">the "
               "photos</a> or <a href=\"http://maps.bazaarnest.test/downtown\">the map</a> "
               "before Friday."),
            SiteHosts::imageHost()));
        label_->layoutSubviews();
        CGSize fit = label_->sizeThatFits(CGSizeZero);
        label_->setFrame(CGRectMake(10, 10, 300, fit.height));
        view->addSubview(label_);
        setView(view);
    }

    void viewDidLoad() override {
        UIViewController::viewDidLoad();
        setTitle(NS("Styled Text"));
    }

private:
    Ref<DZStyledTextLabel> label_;
};

// ---- house ads ----------------------------------------------------------------------------------

// The analytics vendor's house ads, from the ad reply of the catalog's own session (AppCircle is
// on): a banner for the default hook placed under the buttons, and the canvas of the catalog
// hook opened over everything.
class CatalogHouseAdsController : public UIViewController {
    NS_OBJECT(CatalogHouseAdsController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("placeBanner:", &CatalogHouseAdsController::placeBanner);
        c.method("openCanvas:", &CatalogHouseAdsController::openCanvas);
    }
    void loadView() override {
        setView(makeScreenView());
        setTitle(NS("House Ads"));
        makeButton(view(), CGRectMake(20, 10, 280, 40), "Place Banner", this, "placeBanner:");
        makeButton(view(), CGRectMake(20, 60, 280, 40), "Open Canvas", this, "openCanvas:");
    }
    void placeBanner(NSObject*) {
        banner_ = TallyAPI::getHook(NS(""), 0, 120, view(), true, NS("portrait"), NS("portrait"),
                                    false, false);
    }
    void openCanvas(NSObject*) {
        TallyAPI::openCatalog(NS("Tally_Canvas_Hook_1"), NS("portrait"), false);
    }

private:
    Ref<TallyAdView> banner_;
};

// The list of framework components, each opening a screen that shows it.
class CatalogComponentsController : public UITableViewController {
    NS_OBJECT(CatalogComponentsController, UITableViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"tableView:didSelectRowAtIndexPath:"});
    }

    void viewDidLoad() override {
        UITableViewController::viewDidLoad();
        setTitle(NS("Catalog"));
    }
    // The framework's screens style the bars for themselves and leave them so (the photo
    // browser's black ones): the list gives the bars back the look they had when it was shown.
    void viewWillAppear(bool animated) override {
        UITableViewController::viewWillAppear(animated);
        auto navigation = navigationController();
        if (!barsKept_ || !navigation) return;
        auto bar = navigation->navigationBar();
        bar->setBarStyle(barStyle_);
        bar->setTintColor(barTint_.get());
        bar->setTranslucent(barTranslucent_);
        UIApplication::sharedApplication()->setStatusBarStyle(statusBarStyle_, animated);
    }
    void viewDidAppear(bool animated) override {
        UITableViewController::viewDidAppear(animated);
        auto navigation = navigationController();
        if (!navigation) return;
        auto bar = navigation->navigationBar();
        barStyle_ = bar->barStyle();
        barTint_ = bar->tintColor();
        barTranslucent_ = bar->isTranslucent();
        statusBarStyle_ = UIApplication::sharedApplication()->statusBarStyle();
        barsKept_ = true;
    }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override {
        return static_cast<NSInteger>(rows().size());
    }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override {
        auto cell = table->dequeueReusableCellWithIdentifier(NS("Component"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleDefault, NS("Component"));
            cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        }
        cell->textLabel()->setText(ns(rows()[size_t(path->row())].title));
        return cell;
    }
    void tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) override {
        table->deselectRowAtIndexPath(path, true);
        auto screen = rows()[size_t(path->row())].open(this);
        navigationController()->pushViewController(screen, true);
    }

private:
    // The browser is kept, as a screen one comes back to, with the page it was left on.
    Ref<UIViewController> browser() {
        if (!browser_) browser_ = makeCatalogBrowser();
        return browser_;
    }

    // One row per component, in the order the list shows them.
    struct Row {
        const char* title;
        Ref<UIViewController> (*open)(CatalogComponentsController*);
    };
    static const std::vector<Row>& rows() {
        static const std::vector<Row> table = {
            {"Thumbnails",
             [](auto*) -> Ref<UIViewController> { return make<CatalogThumbnailsController>(); }},
            {"Browser", [](auto* list) { return list->browser(); }},
            {"Request Model", [](auto*) { return makeCatalogRequestModelScreen(); }},
            {"Styles",
             [](auto*) -> Ref<UIViewController> { return make<CatalogStylesController>(); }},
            {"Widgets",
             [](auto*) -> Ref<UIViewController> { return make<CatalogWidgetsController>(); }},
            {"Styled Text",
             [](auto*) -> Ref<UIViewController> { return make<CatalogStyledTextController>(); }},
            {"Tables", [](auto*) { return makeCatalogTablesScreen(); }},
            {"Ads", [](auto*) { return makeCatalogAdsScreen(); }},
            {"House Ads",
             [](auto*) -> Ref<UIViewController> { return make<CatalogHouseAdsController>(); }},
            {"Interstitial", [](auto*) { return makeCatalogInterstitialScreen(); }},
            {"Search", [](auto*) { return makeCatalogSearchScreen(); }},
            {"Token Picker", [](auto*) { return makeCatalogTokensScreen(); }},
            {"Message Composer", [](auto*) { return makeCatalogComposerScreen(); }},
            {"Text Bar", [](auto*) { return makeCatalogTextBarScreen(); }},
            {"Post Popup", [](auto*) { return makeCatalogPostPopupScreen(); }},
            {"Full-Screen Ad", [](auto*) { return makeCatalogFullScreenAdScreen(); }},
            {"Launcher", [](auto*) { return makeCatalogLauncherScreen(); }},
            {"Tabs", [](auto*) { return makeCatalogTabsScreen(); }},
            {"Photos", [](auto*) { return makeCatalogPhotosScreen(); }},
        };
        return table;
    }

    Ref<UIViewController> browser_;
    bool barsKept_ = false;
    UIBarStyle barStyle_ = UIBarStyleDefault;
    Ref<UIColor> barTint_;
    bool barTranslucent_ = false;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
};

// ---- the delegate ------------------------------------------------------------------------------

class CatalogAppDelegate : public NSObject, public UIApplicationDelegate {
    NS_OBJECT(CatalogAppDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"application:didFinishLaunchingWithOptions:", "applicationDidReceiveMemoryWarning:"});
    }

    bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) override {
        gMemoryWarnings = 0;
        // The navigator's window: a shake reloads the model screen on top.
        window_ =
            make<DZNavigatorWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        auto listings =
            make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                         make<CatalogListController>().get());
        listings->setTabBarItem(
            make<UITabBarItem>(&UITabBarItem::initWithTitle, NS("Listings"), nullptr, 0).get());
        auto settings = make<CatalogSettingsController>();
        settings->setTitle(NS("Settings"));
        auto about = make<CatalogAboutController>();
        about->setTitle(NS("About"));
        auto components =
            make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                         make<CatalogComponentsController>().get());
        components->setTabBarItem(
            make<UITabBarItem>(&UITabBarItem::initWithTitle, NS("Catalog"), nullptr, 0).get());
        auto tabs = make<UITabBarController>();
        tabs->setViewControllers(
            NSArray::arrayWithObjects({listings, settings, about, components}));
        window_->setRootViewController(tabs);
        window_->makeKeyAndVisible();
        installCatalogNavigator(window_, tabs);
        // In place of the app's screens, the app's analytics session runs as at its launch, with
        // the vendor's house ads on for the House Ads screen.
        TallyAPI::setAppCircleEnabled(true);
        TallyAPI::startSession(kNoticewallAnalyticsKey);
        return true;
    }

    void applicationDidReceiveMemoryWarning(UIApplication*) override { ++gMemoryWarnings; }

    Ref<UIWindow> window() override { return window_; }

private:
    Ref<UIWindow> window_;
};

void registerCatalogApp() {
    CatalogAppDelegate::staticClass();
}
