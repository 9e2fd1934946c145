// The login sheet the engine shows by itself when a server (401) or a proxy (407) asks for
// credentials and no delegate answers: a modal screen with a navigation bar (Cancel, the host as
// title, Login) over a grouped table of text fields for the user name, the password and, for
// NTLM, the domain. One sheet shows at a time; other requests wait in a process-wide list, and
// one answer goes to every waiting request for the same place and kind of challenge. Everything
// here runs on the main thread.
#pragma once

#include <cstdint>

#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"

class NKHTTPRequest;
class NSArray;
class NSNotification;
class UITextField;

// The sheets' presenting controller: it turns with the device, whatever the orientation.
class NKAutorotatingViewController : public UIViewController {
    NS_OBJECT(NKAutorotatingViewController, UIViewController)
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
};

// What a sheet asks for.
enum NKAuthenticationType : int32_t {
    NKStandardAuthenticationType = 0,  // the server's login
    NKProxyAuthenticationType = 1,     // the proxy's login
};

class NKAuthenticationDialog : public NKAutorotatingViewController,
                               public UITableViewDataSource,
                               public UITableViewDelegate {
    NS_OBJECT(NKAuthenticationDialog, NKAutorotatingViewController)
    static void describeClass(RuntimeClass& c);

    // Shows a sheet for the request, or queues the request while another sheet shows. A
    // request that no sheet can be shown for (the application has no window) has its
    // authentication cancelled, so that it fails rather than waits for ever.
    static void presentAuthenticationDialogForRequest(NKHTTPRequest* request);
    // +dismiss: dismisses the sheet showing now, if any.
    static void dismissCurrentDialog();
    // The sheet showing now (nil when none) and the requests waiting for a sheet, in order.
    static Ref<NKAuthenticationDialog> currentDialog();
    static Ref<NSArray> waitingRequests();

    // No interface file; observes the keyboard and, on a phone, the device's orientation.
    bool init() override;
    void dealloc() override;

    // Builds the bar and the table in the view and presents the sheet.
    void show();
    // The prompt for the orientation, then the table below the bar.
    void showTitle();
    void dismiss();

    // The bar buttons (the sender is the bar button item).
    void loginWithCredentialsFromDialog(NSObject* sender);
    void cancelAuthenticationFromDialog(NSObject* sender);

    // The waiting requests the sheet's answer goes to (same kind of challenge, host, port,
    // scheme and realm, and for a proxy the same proxy), then the sheet's own request, last.
    Ref<NSArray> requestsRequiringTheseCredentials();
    // Takes the first request still waiting off the list and shows a sheet for it.
    static void presentNextDialog();

    Ref<UITextField> usernameField() { return textFieldInRow(0, 0); }
    Ref<UITextField> passwordField() { return textFieldInRow(1, 0); }
    // Nil unless the challenge is NTLM.
    Ref<UITextField> domainField() { return textFieldInRow(0, 1); }
    Ref<UITextField> textFieldInRow(NSUInteger row, NSUInteger section);

    // The end of the sheet: cleans up and shows the next one.
    void viewDidDisappear(bool animated) override;

    // ---- table -------------------------------------------------------------------------------
    NSInteger numberOfSectionsInTableView(UITableView* tableView) override;
    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView* tableView,
                                                   NSInteger section) override;
    CGFloat tableViewHeightForHeaderInSection(UITableView* tableView, NSInteger section) override;
    Ref<NSString> tableViewTitleForFooterInSection(UITableView* tableView,
                                                   NSInteger section) override;
    CGFloat tableViewHeightForFooterInSection(UITableView* tableView, NSInteger section) override;

    // ---- notifications -------------------------------------------------------------------------
    void keyboardWillShow(NSNotification* note);
    void orientationChanged(NSNotification* note);

    // ---- fields --------------------------------------------------------------------------------
    Ref<NKHTTPRequest> request() { return request_; }
    void setRequest(NKHTTPRequest* request);
    NKAuthenticationType type() { return type_; }
    void setType(NKAuthenticationType type) { type_ = type; }
    Ref<UITableView> tableView() { return tableView_; }
    void setTableView(UITableView* tableView);
    // Made on first use.
    Ref<NKAutorotatingViewController> presentingController();
    void setPresentingController(NKAutorotatingViewController* controller);
    bool didEnableRotationNotifications() { return didEnableRotationNotifications_; }
    void setDidEnableRotationNotifications(bool v) { didEnableRotationNotifications_ = v; }

private:
    // Whether this sheet's challenge (of its kind) is NTLM, which asks for a domain too.
    bool isNTLM();
    // Observers off, the request and the table let go, the presenting view out of the window.
    void finish();
    // The sheet is gone: the next one, if any, shows.
    void ended();

    Ref<NKHTTPRequest> request_;
    NKAuthenticationType type_ = NKStandardAuthenticationType;
    Ref<UITableView> tableView_;
    Ref<NKAutorotatingViewController> presentingController_;
    bool didEnableRotationNotifications_ = false;
    bool observing_ = false;
    bool finished_ = false;
    // The fields live with the sheet, not with their cells, so that what was typed survives
    // the table making its cells again.
    Ref<UITextField> fields_[3];
};
