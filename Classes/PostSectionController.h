// The first screen of the Post tab ("New Ads"). It decides whether the user must log into a
// site account first, drives the login, then downloads the chosen city's home page, follows its
// posting link and lists the site's posting types. Choosing one posts it back to the site and
// moves on to the step the site answers with (category, area or compose form). It also logs out
// (deleting the site's cookies) and opens the site's account page ("My Postings").
#pragma once

#include <cstdint>

#include "Classes/LoginPage.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

#include "Classes/LoginViewController.h"
#include "Classes/PostInfo.h"
#include "Classes/RequestInFlight.h"
#include "Foundation/NSArray.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITabBarController.h"

class PostSectionController : public UIViewController,
                              public NKHTTPRequestDelegate,
                              public UITableViewDataSource,
                              public UITableViewDelegate,
                              public UIAlertViewDelegate,
                              public LoginListner {
    NS_OBJECT(PostSectionController, UIViewController)
    static void describeClass(RuntimeClass& c);

public:
    // The login state.
    enum : int32_t { kPostModeUndecided = 0, kPostModeNoAccount = 1, kPostModeLoggedOut = 2 };
    // How long a successful login is reused.
    static constexpr double kLoginReuseSeconds = 14400;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;

    bool hasLoginInfo();
    bool shouldLogin();
    void showLoginWindow();
    // The login overlay is on the window: its login is the one running.
    bool loginWindowShows();
    void startLogin();
    void loginDone(bool success) override;
    void loadSectionPage();
    void clearLoginInfo();

    void loginButtonPressed(NSObject* sender);
    void postNoAccountButtonPressed(NSObject* sender);
    void logoutButtonPressed(NSObject* sender);
    void accountButtonPressed(NSObject* sender);

    void alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) override;

    NSInteger numberOfSectionsInTableView(UITableView*) override { return 1; }
    NSInteger tableViewNumberOfRowsInSection(UITableView* table, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override;
    void tableViewWillDisplayCellForRowAtIndexPath(UITableView* table, UITableViewCell* cell,
                                                   NSIndexPath* path) override;
    // While the screen's page is loading, a choice's post or the stored account's login is in
    // flight its rows take no taps: a second choice would go out with the same form (or with
    // none), which the site refuses.
    Ref<NSIndexPath> tableViewWillSelectRowAtIndexPath(UITableView* table,
                                                       NSIndexPath* path) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) override;

    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    // The root tab bar that shows this screen; not retained, since the tab bar owns this
    // screen's navigation stack.
    Ref<UITabBarController> rootTabBarController() { return tabBarController_.lock(); }
    void setTabBarController(UITabBarController* controller) { tabBarController_ = controller; }

    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v) { myTableView_ = v; }
    Ref<UILabel> tableHeadLabel() { return tableHeadLabel_; }
    void setTableHeadLabel(UILabel* v) { tableHeadLabel_ = v; }
    Ref<UIButton> loginButton() { return loginButton_; }
    void setLoginButton(UIButton* v) { loginButton_ = v; }
    Ref<UIButton> postNoAccountButton() { return postNoAccountButton_; }
    void setPostNoAccountButton(UIButton* v) { postNoAccountButton_ = v; }

    int32_t postMode() { return postMode_; }
    Ref<NSMutableArray> sectionList() { return sectionList_; }
    Ref<PostInfo> postInfo() { return postInfo_; }
    Ref<UIBarButtonItem> logoutButton() { return logoutButton_; }
    Ref<UIBarButtonItem> accountButton() { return accountButton_; }
    Ref<UIView> activityLabel() { return activityLabel_; }
    // A request of the screen's is out (its page, a choice, the stored account's login) and its
    // answer not in yet.
    bool isLoading() { return requests_.isOut(); }
    // The overlay while it shows.
    Ref<LoginViewController> loginWindow() { return loginWindowShows() ? loginWindow_ : nullptr; }

    void dealloc() override;

private:
    void setLoginButtonsHidden(bool hidden);
    // The logged-out state: the login choice alone.
    void showLoggedOut();
    // Pushes the next posting step from its interface, with the page holder of the session
    // the choice was made in.
    void push(UIViewController* next, NSString* interfaceName, PostInfo* info);
    void download(NSString* url);
    // The page goes back to the one whose posting types are listed, so that a choice tapped
    // after a refusal or a failed request posts the form shown again.
    void restoreListedPage();

    Ref<UITableView> myTableView_;
    Ref<NSMutableArray> sectionList_;
    Ref<NSString> myLocationUrl_;
    Ref<UIView> activityLabel_;
    Ref<PostInfo> postInfo_;
    Weak<UITabBarController> tabBarController_;
    Ref<UILabel> tableHeadLabel_;
    Ref<UIButton> loginButton_;
    Ref<UIButton> postNoAccountButton_;
    Ref<UIBarButtonItem> logoutButton_;
    Ref<UIBarButtonItem> accountButton_;
    int32_t postMode_ = kPostModeUndecided;
    RequestInFlight requests_;
    // The text of the page whose posting types the list shows.
    Ref<NSString> listedPage_;
    // The overlay's own listener is not retained and nothing else holds it while the user types.
    // Made once and shown again: it keeps the login it sent until that ends.
    Ref<LoginViewController> loginWindow_;
    // The stored account's login while it runs.
    Ref<LoginPage> login_;
    RequestInFlight::Ticket storedLogin_ = 0;
};
