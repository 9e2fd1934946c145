// Answers a listing through the site's own reply form: e-mail address and message, with the
// site's captcha. Complete, though the app replies through the mail composer instead.
#pragma once

#include <cstdint>

#include "Classes/ValidationViewController.h"
#include "Foundation/NSArray.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

#include "Classes/ItemInfo.h"
#include "Classes/ReplyPage.h"
#include "Classes/RequestInFlight.h"
#include "UIKit/UILabel.h"

class ReplyViewController : public UIViewController,
                            public UITextFieldDelegate,
                            public UITextViewDelegate,
                            public NKHTTPRequestDelegate,
                            public ValidationViewDelegate {
    NS_OBJECT(ReplyViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

public:
    enum : int32_t { kStateEditing = 0, kStateReplied = 1 };

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillUnload() override;
    void viewDidUnload() override;
    // No tap goes out while the reply form's page or the reply is out: each answer would ask
    // for a captcha of its own.
    void sendButtonPressed(NSObject* sender);
    void cancelButtonPressed(NSObject* sender);
    void showAlert(NSString* title, NSString* message);
    void showVerificationView(NSString* url);
    bool textFieldShouldReturn(UITextField* field) override;
    bool textViewShouldBeginEditing(UITextView* view) override;

    void requestStarted(NKHTTPRequest*) override {}
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;
    void validationSuccess(NSString* code) override;
    void validationCanceled() override;

    Ref<UITextField> emailTextField() { return emailTextField_; }
    void setEmailTextField(UITextField* v) { emailTextField_ = v; }
    Ref<UITextView> messageTextView() { return messageTextView_; }
    void setMessageTextView(UITextView* v) { messageTextView_ = v; }
    Ref<UILabel> messageLabel() { return messageLabel_; }
    void setMessageLabel(UILabel* v) { messageLabel_ = v; }
    Ref<ItemInfo> itemInfo() { return itemInfo_; }
    void setItemInfo(ItemInfo* v) { itemInfo_ = v; }
    Ref<ReplyPage> replyPage() { return replyPage_; }
    int32_t state() { return state_; }
    // Whether the screen keeps itself alive for the reply's result.
    bool isHeldForResult() { return held_ != nullptr; }

    void dealloc() override;

private:
    Ref<UITextField> emailTextField_;
    Ref<UITextView> messageTextView_;
    Ref<UILabel> messageLabel_;
    Ref<ItemInfo> itemInfo_;
    Ref<ReplyPage> replyPage_;
    int32_t state_ = kStateEditing;
    RequestInFlight requests_;
    Ref<ReplyViewController> held_;
    // What was typed, kept while the view is let go (under the captcha screen) for the view
    // made again and for the reply.
    Ref<NSString> typedEmail_, typedMessage_;
    // The field the set-up focused.
    Weak<UIView> focused_;
};
