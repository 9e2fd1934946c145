#include "external/nk-http-request/Classes/NKAuthenticationDialog.h"

#include <cmath>
#include <utility>

#include "CFNetwork/CFHTTPAuthentication.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSValue.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIWindow.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::sameServer;
using nk_detail::sameText;

namespace {

// The sheet showing now and the requests waiting for one; main thread only.
struct Sheets {
    Ref<NKAuthenticationDialog> current;
    Ref<NSMutableArray> waiting = NSMutableArray::array();
};
Sheets& sheets() {
    static ProcessWide<Sheets> slot;
    return *slot.get();
}

Ref<NKAuthenticationDialog>& currentSheet() {
    return sheets().current;
}

Ref<NSMutableArray>& waitingList() {
    return sheets().waiting;
}

Ref<UIWindow> firstWindow() {
    Ref<NSArray> windows = UIApplication::sharedApplication()->windows();
    return windows ? as<UIWindow>(windows->firstObject()) : nullptr;
}

bool onTablet() {
    return UI_USER_INTERFACE_IDIOM() == UIUserInterfaceIdiomPad;
}

bool isScheme(NSString* scheme, NSString* wanted) {
    return scheme && scheme->isEqualToString(wanted);
}

// The prompt and the titles of the sheet.
NSString* const kServerPrompt = NS("Login to this secure server.");
NSString* const kProxyPrompt = NS("Login to this secure proxy server.");
NSString* const kInTheClear = NS("Password will be sent in the clear.");
NSString* const kSecurely = NS("Password will be sent securely.");

constexpr CGFloat kFieldInset = 10;
constexpr CGFloat kFooterHeight = 30;
constexpr NSTimeInterval kRotationDuration = 0.3;

}  // namespace

// ---- the presenting controller --------------------------------------------------------------

bool NKAutorotatingViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) {
    return true;
}

// ---- the sheets -----------------------------------------------------------------------------

void NKAuthenticationDialog::describeClass(RuntimeClass& c) {
    c.implements({"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:",
                  "tableView:heightForHeaderInSection:", "tableView:titleForFooterInSection:",
                  "tableView:heightForFooterInSection:"});
    c.method("loginWithCredentialsFromDialog:",
             &NKAuthenticationDialog::loginWithCredentialsFromDialog);
    c.method("cancelAuthenticationFromDialog:",
             &NKAuthenticationDialog::cancelAuthenticationFromDialog);
    c.method("keyboardWillShow:", &NKAuthenticationDialog::keyboardWillShow);
    c.method("orientationChanged:", &NKAuthenticationDialog::orientationChanged);
    c.method("show", &NKAuthenticationDialog::show);
    c.method("dismiss", &NKAuthenticationDialog::dismiss);
}

void NKAuthenticationDialog::presentAuthenticationDialogForRequest(NKHTTPRequest* request) {
    if (!request) return;
    Ref<NKHTTPRequest> keep(request);
    if (currentSheet()) {
        if (waitingList()->indexOfObjectIdenticalTo(request) == NSNotFound)
            waitingList()->addObject(request);
        return;
    }
    // Without a window nobody could ever answer the sheet: the request fails instead of waiting.
    if (!firstWindow()) {
        request->cancelAuthentication();
        return;
    }
    Ref<NKAuthenticationDialog> sheet = make<NKAuthenticationDialog>();
    currentSheet() = sheet;
    sheet->setRequest(request);
    sheet->setType(request->authenticationNeeded() == NKProxyAuthenticationNeeded
                       ? NKProxyAuthenticationType
                       : NKStandardAuthenticationType);
    sheet->show();
}

void NKAuthenticationDialog::dismissCurrentDialog() {
    if (Ref<NKAuthenticationDialog> sheet = currentSheet()) sheet->dismiss();
}

Ref<NKAuthenticationDialog> NKAuthenticationDialog::currentDialog() {
    return currentSheet();
}

Ref<NSArray> NKAuthenticationDialog::waitingRequests() {
    return waitingList()->copy();
}

bool NKAuthenticationDialog::init() {
    if (!initWithNibName(nullptr, nullptr)) return false;
    Ref<NSNotificationCenter> center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("keyboardWillShow:"), UIKeyboardWillShowNotification,
                        nullptr);
    if (!onTablet()) {
        Ref<UIDevice> device = UIDevice::currentDevice();
        if (!device->isGeneratingDeviceOrientationNotifications()) {
            device->beginGeneratingDeviceOrientationNotifications();
            didEnableRotationNotifications_ = true;
        }
        center->addObserver(this, Selector::named("orientationChanged:"),
                            UIDeviceOrientationDidChangeNotification, nullptr);
    }
    observing_ = true;
    return true;
}

void NKAuthenticationDialog::dealloc() {
    finish();
    NKAutorotatingViewController::dealloc();
}

void NKAuthenticationDialog::finish() {
    if (observing_) {
        Ref<NSNotificationCenter> center = NSNotificationCenter::defaultCenter();
        center->removeObserver(this, UIKeyboardWillShowNotification, nullptr);
        // Whoever switched the orientation notifications on or not, a sheet that is gone must
        // not stay registered for them.
        center->removeObserver(this, UIDeviceOrientationDidChangeNotification, nullptr);
        observing_ = false;
    }
    if (didEnableRotationNotifications_) {
        UIDevice::currentDevice()->endGeneratingDeviceOrientationNotifications();
        didEnableRotationNotifications_ = false;
    }
    if (finished_) return;
    finished_ = true;
    request_ = nullptr;
    if (tableView_) {
        tableView_->setDelegate(nullptr);
        tableView_->setDataSource(nullptr);
        tableView_ = nullptr;
    }
    if (presentingController_ && presentingController_->isViewLoaded())
        presentingController_->view()->removeFromSuperview();
}

// ---- showing ----------------------------------------------------------------------------------

void NKAuthenticationDialog::show() {
    Ref<NKAuthenticationDialog> keep(this);
    Ref<UIView> root = view();
    Ref<NSArray> old = root->subviews();
    for (NSObject* o : *old) {
        if (auto v = as<UIView>(Ref<NSObject>(o))) v->removeFromSuperview();
    }
    CGRect bounds = root->bounds();

    Ref<UINavigationBar> bar = make<UINavigationBar>(&UINavigationBar::initWithFrame,
                                                     CGRectMake(0, 0, bounds.size.width, 44));
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    root->addSubview(bar);
    Ref<NSString> title;
    if (type_ == NKProxyAuthenticationType) {
        title = request_ ? request_->proxyHost() : nullptr;
    } else if (Ref<NSURL> url = request_ ? request_->url() : nullptr) {
        title = url->host();
    }
    Ref<UINavigationItem> item = make<UINavigationItem>(&UINavigationItem::initWithTitle, title);
    bar->setItems(NSArray::arrayWithObject(item));
    showTitle();
    Ref<UIBarButtonItem> cancel = alloc<UIBarButtonItem>();
    cancel->initWithBarButtonSystemItem(UIBarButtonSystemItemCancel, this,
                                        Selector::named("cancelAuthenticationFromDialog:"));
    item->setLeftBarButtonItem(cancel);
    Ref<UIBarButtonItem> login = alloc<UIBarButtonItem>();
    login->initWithTitle(NS("Login"), UIBarButtonItemStyleDone, this,
                         Selector::named("loginWithCredentialsFromDialog:"));
    item->setRightBarButtonItem(login);
    bar->sizeToFit();

    CGFloat barHeight = bar->frame().size.height;
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(
        CGRectMake(0, barHeight, bounds.size.width, bounds.size.height - barHeight),
        UITableViewStyleGrouped);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    table->setDelegate(this);
    table->setDataSource(this);
    root->addSubview(table);
    setTableView(table);
    table->reloadData();

    if (onTablet()) setModalPresentationStyle(UIModalPresentationFormSheet);
    presentingController()->presentModalViewController(this, true);
    // The focus can only go to a field on screen.
    table->layoutIfNeeded();
    if (Ref<UITextField> user = usernameField()) user->becomeFirstResponder();
}

void NKAuthenticationDialog::showTitle() {
    if (!isViewLoaded()) return;
    Ref<UIView> root = view();
    Ref<NSArray> subviews = root->subviews();
    auto bar = subviews ? as<UINavigationBar>(subviews->firstObject()) : nullptr;
    if (!bar) return;
    if (Ref<UINavigationItem> item = bar->topItem()) {
        if (UIDeviceOrientationIsPortrait(UIDevice::currentDevice()->orientation())) {
            item->setPrompt(type_ == NKProxyAuthenticationType ? kProxyPrompt : kServerPrompt);
        } else {
            item->setPrompt(nullptr);
        }
    }
    bar->sizeToFit();
    if (tableView_) {
        CGRect f = root->bounds();
        CGFloat barHeight = bar->frame().size.height;
        f.origin.y += barHeight;
        f.size.height -= barHeight;
        tableView_->setFrame(f);
    }
}

void NKAuthenticationDialog::dismiss() {
    Ref<NKAuthenticationDialog> keep(this);
    // The keyboard goes with the sheet.
    if (isViewLoaded()) view()->endEditing(true);
    bool shown = isViewLoaded() && view()->window();
    if (Ref<UIViewController> presenter = presentingViewController())
        presenter->dismissModalViewControllerAnimated(true);
    // A sheet that never made it on screen will not hear that it disappeared.
    if (!shown) ended();
}

void NKAuthenticationDialog::viewDidDisappear(bool animated) {
    NKAutorotatingViewController::viewDidDisappear(animated);
    // Only the sheet's own dismissal ends it, not a screen put over it.
    if (isBeingDismissed()) ended();
}

void NKAuthenticationDialog::ended() {
    if (finished_) return;
    Ref<NKAuthenticationDialog> keep(this);
    if (currentSheet().get() == this) currentSheet() = nullptr;
    finish();
    presentNextDialog();
}

void NKAuthenticationDialog::presentNextDialog() {
    if (currentSheet()) return;
    Ref<NSMutableArray> list = waitingList();
    while (list->count() > 0) {
        auto next = as<NKHTTPRequest>(list->objectAtIndex(0));
        list->removeObjectAtIndex(0);
        // A request that stopped waiting meanwhile (cancelled, failed) needs no sheet.
        if (!next || !next->isAwaitingCredentials()) continue;
        presentAuthenticationDialogForRequest(next);
        return;
    }
}

// ---- answers ------------------------------------------------------------------------------------

Ref<NSArray> NKAuthenticationDialog::requestsRequiringTheseCredentials() {
    Ref<NSMutableArray> found = NSMutableArray::array();
    Ref<NKHTTPRequest> own = request_;
    if (!own) return found;
    Ref<NSURL> ownURL = own->url();
    Ref<NSString> ownRealm = own->authenticationRealm();
    Ref<NSArray> waiting = waitingRequests();
    for (NSObject* o : *waiting) {
        auto other = as<NKHTTPRequest>(Ref<NSObject>(o));
        if (!other || other.get() == own.get()) continue;
        if (other->authenticationNeeded() != own->authenticationNeeded()) continue;
        if (!sameServer(other->url(), ownURL)) continue;
        if (!sameText(other->authenticationRealm(), ownRealm)) continue;
        // Proxy credentials belong to their proxy: another one must not be sent them.
        if (type_ == NKProxyAuthenticationType &&
            (!sameText(other->proxyHost(), own->proxyHost()) ||
             other->proxyPort() != own->proxyPort()))
            continue;
        found->addObject(other);
    }
    found->addObject(own);
    return found;
}

void NKAuthenticationDialog::loginWithCredentialsFromDialog(NSObject*) {
    Ref<NKAuthenticationDialog> keep(this);
    Ref<NSString> user = usernameField() ? usernameField()->text() : Ref<NSString>(NS(""));
    Ref<NSString> password = passwordField() ? passwordField()->text() : Ref<NSString>(NS(""));
    bool ntlm = isNTLM();
    Ref<UITextField> domainText = domainField();
    Ref<NSString> domain = domainText ? domainText->text() : Ref<NSString>(NS(""));
    Ref<NSArray> targets = requestsRequiringTheseCredentials();
    for (NSObject* o : *targets) {
        auto r = as<NKHTTPRequest>(Ref<NSObject>(o));
        if (type_ == NKProxyAuthenticationType) {
            r->setProxyUsername(user);
            r->setProxyPassword(password);
            if (ntlm) r->setProxyDomain(domain);
        } else {
            r->setUsername(user);
            r->setPassword(password);
            if (ntlm) r->setDomain(domain);
        }
        r->retryUsingSuppliedCredentials();
        waitingList()->removeObjectIdenticalTo(r);
    }
    dismiss();
}

void NKAuthenticationDialog::cancelAuthenticationFromDialog(NSObject*) {
    Ref<NKAuthenticationDialog> keep(this);
    Ref<NSArray> targets = requestsRequiringTheseCredentials();
    for (NSObject* o : *targets) {
        auto r = as<NKHTTPRequest>(Ref<NSObject>(o));
        r->cancelAuthentication();
        waitingList()->removeObjectIdenticalTo(r);
    }
    dismiss();
}

// ---- fields -------------------------------------------------------------------------------------

bool NKAuthenticationDialog::isNTLM() {
    if (!request_) return false;
    Ref<NSString> scheme = type_ == NKProxyAuthenticationType
                               ? request_->proxyAuthenticationScheme()
                               : request_->authenticationScheme();
    return isScheme(scheme, kCFHTTPAuthenticationSchemeNTLM);
}

Ref<UITextField> NKAuthenticationDialog::textFieldInRow(NSUInteger row, NSUInteger section) {
    size_t index;
    if (section == 0 && row < 2) {
        index = row;
    } else if (section == 1 && row == 0 && isNTLM()) {
        index = 2;
    } else {
        return nullptr;
    }
    if (!fields_[index]) {
        Ref<UITextField> field = make<UITextField>(&UITextField::initWithFrame, CGRectZero);
        field->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                   UIViewAutoresizingFlexibleHeight);
        field->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
        field->setAutocorrectionType(UITextAutocorrectionTypeNo);
        static NSString* const placeholders[] = {NS("User"), NS("Password"), NS("Domain")};
        field->setPlaceholder(placeholders[index]);
        if (index == 1) field->setSecureTextEntry(true);
        fields_[index] = field;
    }
    return fields_[index];
}

void NKAuthenticationDialog::setRequest(NKHTTPRequest* request) {
    request_ = request;
}

void NKAuthenticationDialog::setTableView(UITableView* tableView) {
    tableView_ = tableView;
}

Ref<NKAutorotatingViewController> NKAuthenticationDialog::presentingController() {
    if (!presentingController_) {
        presentingController_ = make<NKAutorotatingViewController>();
        Ref<UIView> v = presentingController_->view();
        v->setFrame(CGRectZero);
        v->setUserInteractionEnabled(false);
        if (Ref<UIWindow> window = firstWindow()) window->addSubview(v);
    }
    return presentingController_;
}

void NKAuthenticationDialog::setPresentingController(NKAutorotatingViewController* controller) {
    presentingController_ = controller;
}

// ---- table --------------------------------------------------------------------------------------

NSInteger NKAuthenticationDialog::numberOfSectionsInTableView(UITableView*) {
    return isNTLM() ? 2 : 1;
}

NSInteger NKAuthenticationDialog::tableViewNumberOfRowsInSection(UITableView*, NSInteger section) {
    return section == 0 ? 2 : 1;
}

Ref<UITableViewCell> NKAuthenticationDialog::tableViewCellForRowAtIndexPath(
    UITableView*, NSIndexPath* indexPath) {
    Ref<UITableViewCell> cell = make<UITableViewCell>(&UITableViewCell::initWithStyle,
                                                      UITableViewCellStyleDefault, nullptr);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    Ref<UITextField> field = textFieldInRow(static_cast<NSUInteger>(indexPath->row()),
                                            static_cast<NSUInteger>(indexPath->section()));
    if (field) {
        field->setFrame(CGRectInset(cell->bounds(), kFieldInset, kFieldInset));
        cell->contentView()->addSubview(field);
    }
    return cell;
}

Ref<NSString> NKAuthenticationDialog::tableViewTitleForHeaderInSection(UITableView*,
                                                                       NSInteger section) {
    if (section != 0 || !request_) return nullptr;
    return request_->authenticationRealm();
}

CGFloat NKAuthenticationDialog::tableViewHeightForHeaderInSection(UITableView*, NSInteger section) {
    if (section != 0) return 0;
    return onTablet() ? 54 : 30;
}

Ref<NSString> NKAuthenticationDialog::tableViewTitleForFooterInSection(UITableView* tableView,
                                                                       NSInteger section) {
    if (section != numberOfSectionsInTableView(tableView) - 1 || !request_) return nullptr;
    if (type_ == NKProxyAuthenticationType) {
        // The proxy reads its credentials off the plain connection to it, whatever the URL.
        return isScheme(request_->proxyAuthenticationScheme(), kCFHTTPAuthenticationSchemeBasic)
                   ? kInTheClear
                   : kSecurely;
    }
    Ref<NSURL> url = request_->url();
    Ref<NSString> urlScheme = url ? url->scheme() : nullptr;
    bool https = urlScheme && urlScheme->lowercaseString()->isEqualToString(NS("https"));
    return isScheme(request_->authenticationScheme(), kCFHTTPAuthenticationSchemeBasic) && !https
               ? kInTheClear
               : kSecurely;
}

CGFloat NKAuthenticationDialog::tableViewHeightForFooterInSection(UITableView* tableView,
                                                                  NSInteger section) {
    return section == numberOfSectionsInTableView(tableView) - 1 ? kFooterHeight : 0;
}

// ---- notifications ------------------------------------------------------------------------------

void NKAuthenticationDialog::keyboardWillShow(NSNotification* note) {
    if (onTablet() || !tableView_ || !note) return;
    Ref<NSDictionary> info = note->userInfo();
    auto frame = info ? as<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
    if (!frame) return;
    CGFloat height = CGRectValue(frame).size.height;
    UIEdgeInsets inset = tableView_->contentInset();
    inset.bottom = height;
    tableView_->setContentInset(inset);
    UIEdgeInsets indicators = tableView_->scrollIndicatorInsets();
    indicators.bottom = height;
    tableView_->setScrollIndicatorInsets(indicators);
}

void NKAuthenticationDialog::orientationChanged(NSNotification*) {
    if (onTablet() || !isViewLoaded()) return;
    showTitle();
    UIInterfaceOrientation o = UIApplication::sharedApplication()->statusBarOrientation();
    CGFloat angle = 0;
    if (o == UIInterfaceOrientationPortraitUpsideDown) {
        angle = static_cast<CGFloat>(M_PI);
    } else if (o == UIInterfaceOrientationLandscapeRight) {
        angle = static_cast<CGFloat>(M_PI_2);
    } else if (o == UIInterfaceOrientationLandscapeLeft) {
        angle = static_cast<CGFloat>(-M_PI_2);
    }
    CGRect app = UIScreen::mainScreen()->applicationFrame();
    CGSize size = app.size;
    if (UIInterfaceOrientationIsLandscape(o)) std::swap(size.width, size.height);
    Ref<UIView> root = view();
    UIView::animateWithDuration(kRotationDuration, [root, angle, app, size] {
        root->setTransform(CGAffineTransformMakeRotation(angle));
        root->setBounds(CGRectMake(0, 0, size.width, size.height));
        root->setCenter(CGPointMake(CGRectGetMidX(app), CGRectGetMidY(app)));
    });
}
