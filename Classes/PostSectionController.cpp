#include "Classes/PostSectionController.h"

#include "Classes/LoginViewController.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/PostCatagoryController.h"
#include "Classes/PostController.h"
#include "Classes/PostInfo.h"
#include "Classes/PostLocationController.h"
#include "Classes/PostPage.h"
#include "Classes/PostSection.h"
#include "Classes/PostingSupport.h"
#include "Classes/ScreenSupport.h"
#include "Classes/SiteHosts.h"
#include "Classes/Theme.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZWebController.h"

namespace {

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

Ref<NSString> preference(NSString* key) {
    return NSUserDefaults::standardUserDefaults()->stringForKey(key);
}

// The types the app does not post: jobs, gigs, personals, housing and events.
bool isDroppedType(NSString* name) {
    static NSString* const kDropped[] = {NS("Job Offered"),        NS("Gig Offered"),
                                         NS("Personal / Romance"), NS("Housing Offered"),
                                         NS("Housing Wanted"),     NS("Event")};
    for (NSString* dropped : kDropped)
        if (name && name->isEqualToString(dropped)) return true;
    return false;
}

}  // namespace

void PostSectionController::describeClass(RuntimeClass& c) {
    c.implements(
        {"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:", "requestFailed:",
         "numberOfSectionsInTableView:", "tableView:willDisplayCell:forRowAtIndexPath:",
         "tableView:willSelectRowAtIndexPath:", "tableView:didSelectRowAtIndexPath:",
         "alertView:clickedButtonAtIndex:", "loginDone:"});
    c.method("loginButtonPressed:", &PostSectionController::loginButtonPressed);
    c.method("postNoAccountButtonPressed:", &PostSectionController::postNoAccountButtonPressed);
    c.method("logoutButtonPressed:", &PostSectionController::logoutButtonPressed);
    c.method("accountButtonPressed:", &PostSectionController::accountButtonPressed);
}

void PostSectionController::viewDidLoad() {
    UIViewController::viewDidLoad();
    // A view made again after a memory warning keeps the posting session and its list: the
    // requests out belong to them.
    if (!sectionList_) sectionList_ = NSMutableArray::arrayWithCapacity(16);
    if (!postInfo_) {
        postInfo_ = make<PostInfo>();
        postInfo_->setPostPage(make<PostPage>());
    }
    activityLabel_ = makeActivityLabel(NS("Loading..."), view());
    activityLabel_->setHidden(!requests_.isOut());
    view()->bringSubviewToFront(activityLabel_);
    logoutButton_ = make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Logout"),
                                          UIBarButtonItemStylePlain, this,
                                          Selector::named("logoutButtonPressed:"));
    accountButton_ = make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("My Postings"),
                                           UIBarButtonItemStylePlain, this,
                                           Selector::named("accountButtonPressed:"));
}

void PostSectionController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    if (isEmpty(preference(NS("LocationUrl")))) {
        auto alert = alloc<UIAlertView>();
        alert->initWithTitle(NS("Choose Location"), NS("Please choose your location first."), this,
                             NS("OK"));
        alert->show();
        return;
    }
    if (!hasLoginInfo()) {
        showLoginWindow();
        return;
    }
    // The screen appears again under the overlay (its captcha screen went away): the overlay
    // saved the account before its login ended, and a second login with it would race the
    // overlay's, answer it with a failure and clear the password it was proving.
    if (loginWindowShows()) return;
    if (shouldLogin()) {
        startLogin();
        return;
    }
    if (postMode_ == kPostModeLoggedOut) {
        loginDone(false);
        return;
    }
    loginDone(true);
    if (postMode_ == kPostModeNoAccount) {
        logoutButton_->setTitle(NS("Login"));
        navigationItem()->setRightBarButtonItem(nullptr);
    }
}

bool PostSectionController::hasLoginInfo() {
    if (postMode_ == kPostModeNoAccount || postMode_ == kPostModeLoggedOut) return true;
    return !isEmpty(preference(NS("Username"))) && !isEmpty(preference(NS("Password")));
}

bool PostSectionController::shouldLogin() {
    if (postMode_ == kPostModeNoAccount || postMode_ == kPostModeLoggedOut) return false;
    auto app = NoticewallAppDelegate::sharedDelegate();
    auto time = app ? app->loginTime() : nullptr;
    return !time || -time->timeIntervalSinceNow() > kLoginReuseSeconds;
}

bool PostSectionController::loginWindowShows() {
    return loginWindow_ && loginWindow_->isShown();
}

void PostSectionController::showLoginWindow() {
    // One overlay at a time: a screen that appears again while it shows keeps the one up.
    if (loginWindowShows()) return;
    // The one overlay is shown again rather than another made: a login cancelled on it may
    // still be out, and its Login waits for that one to end rather than race it.
    if (!loginWindow_) {
        loginWindow_ = alloc<LoginViewController>();
        loginWindow_->initWithNibName(NS("LoginViewController"), nullptr);
        loginWindow_->setListner(this);
    }
    Ref<UIWindow> window = view()->window();
    if (!window)
        if (auto app = NoticewallAppDelegate::sharedDelegate()) window = app->window();
    if (window) window->addSubview(loginWindow_->view());
    loginWindow_->show();
}

void PostSectionController::startLogin() {
    // The screen shown again while its login is out starts no second one: each would reload
    // the posting pages under the list when it ended. A page still loading does not wait: the
    // login's end loads it again.
    if (login_) return;
    login_ = make<LoginPage>();
    auto page = login_;
    storedLogin_ = requests_.start(
        page, [&] { page->login(preference(NS("Username")), preference(NS("Password")), this); });
    activityLabel_->setHidden(false);
}

void PostSectionController::loginDone(bool success) {
    Ref<PostSectionController> keep = this;
    if (login_ && login_->isAbandoned()) {
        // The login the person logged out from ends unheard; the overlay's word while it is
        // still out is heard as ever.
        if (!login_->isRunning()) {
            login_ = nullptr;
            return;
        }
    } else if (login_) {
        requests_.ended(storedLogin_);
        login_ = nullptr;
    }
    if (!isViewLoaded()) return;
    activityLabel_->setHidden(!requests_.isOut());
    if (success) {
        myLocationUrl_ = preference(NS("LocationUrl"));
        loadSectionPage();
        if (tableHeadLabel_)
            tableHeadLabel_->setText(
                NSString::stringWithFormat(NS("   Post to %@:"), preference(NS("LocationName"))));
        setLoginButtonsHidden(true);
        navigationItem()->setLeftBarButtonItem(logoutButton_);
        navigationItem()->setRightBarButtonItem(accountButton_);
        return;
    }
    postMode_ = kPostModeLoggedOut;
    showLoggedOut();
}

void PostSectionController::showLoggedOut() {
    // The login choice alone: no posting types under its buttons, no account buttons. A choice
    // or a load of the types still out is let go (no step comes over the login choice), and so
    // is its busy line, which would cover the buttons.
    if (requests_.isOut()) {
        requests_.letGo();
        postInfo_->setPostPage(make<PostPage>());
    }
    if (activityLabel_) activityLabel_->setHidden(true);
    sectionList_->removeAllObjects();
    listedPage_ = nullptr;
    if (myTableView_) myTableView_->reloadData();
    if (tableHeadLabel_) tableHeadLabel_->setText(NS(""));
    setLoginButtonsHidden(false);
    navigationItem()->setLeftBarButtonItem(nullptr);
    navigationItem()->setRightBarButtonItem(nullptr);
}

void PostSectionController::setLoginButtonsHidden(bool hidden) {
    if (loginButton_) loginButton_->setHidden(hidden);
    if (postNoAccountButton_) postNoAccountButton_->setHidden(hidden);
}

void PostSectionController::loadSectionPage() {
    // A page of the session still out (a choice on its way, an earlier load) keeps its page:
    // the pages load again into a session of their own, and that answer is applied to the one
    // it was sent for.
    if (requests_.isOut()) postInfo_->setPostPage(make<PostPage>());
    download(preference(NS("LocationUrl")));
}

void PostSectionController::download(NSString* url) {
    auto page = postInfo_->postPage();
    requests_.start(
        page, [&] { page->downloadPage(url, this); }, page);
}

void PostSectionController::clearLoginInfo() {
    LoginPage::forgetSiteLogin();
}

void PostSectionController::loginButtonPressed(NSObject*) {
    showLoginWindow();
    setLoginButtonsHidden(true);
    postMode_ = kPostModeUndecided;
    logoutButton_->setTitle(NS("Logout"));
    navigationItem()->setRightBarButtonItem(accountButton_);
}

void PostSectionController::postNoAccountButtonPressed(NSObject*) {
    // Posting without an account is no login: an overlay still up goes, with its login.
    if (loginWindowShows()) loginWindow_->cancelAction(nullptr);
    loginDone(true);
    setLoginButtonsHidden(true);
    postMode_ = kPostModeNoAccount;
    logoutButton_->setTitle(NS("Login"));
    navigationItem()->setRightBarButtonItem(nullptr);
}

void PostSectionController::logoutButtonPressed(NSObject*) {
    // The stored account's login still out would log the person in again: it is abandoned as a
    // cancelled one is, and kept until it ends so that its word is told from the overlay's.
    if (login_) login_->abandon();
    clearLoginInfo();
    if (auto app = NoticewallAppDelegate::sharedDelegate()) app->setLoginTime(nullptr);
    postMode_ = kPostModeLoggedOut;
    showLoggedOut();
}

void PostSectionController::accountButtonPressed(NSObject*) {
    auto browser = make<DZWebController>();
    // Black opaque (style 2).
    browser->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    if (auto nav = navigationController()) nav->pushViewController(browser, true);
    browser->openURL(NSURL::URLWithString(
        NSString::stringWithFormat(NS("https://%@/"), SiteHosts::accountHost())));
}

void PostSectionController::alertViewClickedButtonAtIndex(UIAlertView*, NSInteger) {
    if (auto tabs = tabBarController_.lock()) tabs->setSelectedIndex(0);
}

NSInteger PostSectionController::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    return sectionList_ ? static_cast<NSInteger>(sectionList_->count()) : 0;
}

Ref<UITableViewCell> PostSectionController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                           NSIndexPath* path) {
    return posting::choiceCell(
        table,
        as<PostSection>(sectionList_->objectAtIndex(static_cast<NSUInteger>(path->row()))).get());
}

void PostSectionController::tableViewWillDisplayCellForRowAtIndexPath(UITableView*,
                                                                      UITableViewCell* cell,
                                                                      NSIndexPath*) {
    cell->setBackgroundColor(Theme::getCellBackgroundColor(nullptr));
}

Ref<NSIndexPath> PostSectionController::tableViewWillSelectRowAtIndexPath(UITableView*,
                                                                          NSIndexPath* path) {
    return requests_.rowToSelect(path);
}

void PostSectionController::tableViewDidSelectRowAtIndexPath(UITableView* table,
                                                             NSIndexPath* path) {
    auto section =
        as<PostSection>(sectionList_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    auto page = postInfo_->postPage();
    // The types listed are those of the session last loaded (its reload failed): a step of it
    // may be out from a form left by Back, and this choice waits for it as any form's step does.
    if (section)
        posting::sendChoice(this, this, requests_, section.get(), page.get(), page.get(), page);
    table->deselectRowAtIndexPath(path, true);
}

void PostSectionController::requestStarted(NKHTTPRequest*) {
    activityLabel_->setHidden(false);
}

void PostSectionController::requestFinished(NKHTTPRequest* request) {
    Ref<PostSectionController> keep = this;
    auto answer = requests_.ended(request);
    if (!answer) return;
    if (answer.control) PostInfo::stepEnded(this);
    activityLabel_->setHidden(!requests_.isOut());
    auto page = as<PostPage>(answer.sentFor);
    // The pages were loaded again while this answer was out: an earlier load is replaced by
    // that, but a choice goes on in the session it was made in.
    bool current = answer.isFor(postInfo_->postPage());
    if (!page || (!current && !answer.control)) return;
    Ref<PostInfo> info = postInfo_;
    if (!current) {
        info = make<PostInfo>();
        info->setPostPage(page);
    }
    auto text = page->getReply();
    bool refused = posting::isRefusal(request);
    if (!refused && current)
        if (auto postUrl = page->getPostUrl()) download(postUrl);
    int32_t type = refused ? kPostPageUnknown : page->getPostPageType();
    if (type == kPostPageChooseType && !current) type = kPostPageUnknown;
    switch (type) {
        case kPostPageChooseType: {
            auto sections = page->getSectionList();
            sectionList_->removeAllObjects();
            listedPage_ = page->getPage();
            for (NSObject* o : *sections) {
                auto section = as<PostSection>(o);
                if (!section || isDroppedType(section->name())) continue;
                if (section->name() && section->name()->isEqualToString(NS("For Sale")))
                    sectionList_->insertObject(section, 0);
                else
                    sectionList_->addObject(section);
            }
            if (myTableView_) myTableView_->reloadData();
            break;
        }
        case kPostPageChooseCategory:
            push(alloc<PostCatagoryController>(), NS("PostCatagoryController"), info);
            break;
        case kPostPageCompose:
            push(alloc<PostController>(), NS("PostController"), info);
            break;
        case kPostPageChooseArea:
            push(alloc<PostLocationController>(), NS("PostLocationController"), info);
            break;
        default:
            // A refusal or a page the chain does not have: the site's words say why.
            if (current) restoreListedPage();
            posting::showMessage(posting::failureText(text));
            break;
    }
}

void PostSectionController::restoreListedPage() {
    if (listedPage_) postInfo_->postPage()->setWebpage(listedPage_);
}

void PostSectionController::push(UIViewController* next, NSString* interfaceName, PostInfo* info) {
    next->initWithNibName(interfaceName, nullptr);
    if (auto step = as<PostStepController>(next)) step->setMyInfo(info);
    if (auto compose = as<PostController>(next)) compose->setMyInfo(info);
    auto nav = navigationController();
    if (!nav) return;
    if (nav->topViewController().get() == this) {
        nav->pushViewController(next, true);
        return;
    }
    // A page opened over this screen while the choice was out ("My Postings") stays on top:
    // the step goes just above this screen, where Back from that page finds it.
    auto stack = NSMutableArray::arrayWithArray(nav->viewControllers());
    NSUInteger at = stack->indexOfObjectIdenticalTo(this);
    if (at == NSNotFound) return;
    stack->insertObject(next, at + 1);
    nav->setViewControllers(stack, false);
}

void PostSectionController::requestFailed(NKHTTPRequest* request) {
    auto answer = requests_.ended(request);
    if (!answer) return;
    if (answer.control) PostInfo::stepEnded(this);
    activityLabel_->setHidden(!requests_.isOut());
    bool current = answer.isFor(postInfo_->postPage());
    // An earlier load of the pages, loaded again since, fails unheard.
    if (!current && !answer.control) return;
    if (current) restoreListedPage();
    posting::showMessage(NS("Network connection error"));
}

void PostSectionController::dealloc() {
    loginWindow_ = nullptr;
    login_ = nullptr;
    sectionList_ = nullptr;
    postInfo_ = nullptr;
    myTableView_ = nullptr;
    UIViewController::dealloc();
}
