// The text message composer: recipients and a body, sent or cancelled by the person (the
// shell). A sent message is written to the outbox folder (Library/Outbox of the sandbox) as
// one file with its headers and body. The class is registered by name, since callers look it
// up that way before using it.
#pragma once

#include "UIKit/UINavigationController.h"

class MFMessageComposeViewController;

enum MessageComposeResult : NSInteger {
    MessageComposeResultCancelled = 0,
    MessageComposeResultSent,
    MessageComposeResultFailed,
};

// "messageComposeViewController:didFinishWithResult:".
class MFMessageComposeViewControllerDelegate {
public:
    virtual ~MFMessageComposeViewControllerDelegate() = default;
    virtual void messageComposeViewControllerDidFinishWithResult(MFMessageComposeViewController*,
                                                                 MessageComposeResult) = 0;
};

class MFMessageComposeViewController : public UINavigationController {
    NS_OBJECT(MFMessageComposeViewController, UINavigationController)
    static void describeClass(RuntimeClass& c);

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;

    // Whether the phone can send text messages (a setting, on by default).
    static bool canSendText();
    static void setCanSendText(bool can);

    Ref<MFMessageComposeViewControllerDelegate> messageComposeDelegate() {
        return messageDelegate_.lock();
    }
    void setMessageComposeDelegate(MFMessageComposeViewControllerDelegate* delegate) {
        messageDelegate_ = delegate;
    }

    Ref<NSArray> recipients() { return recipients_; }
    void setRecipients(NSArray* recipients);
    Ref<NSString> body() { return body_; }
    void setBody(NSString* body);

    // The person's send: written to the outbox and reported Sent; Failed when the phone cannot
    // send text or the file cannot be written. Returns the path written, nil on failure.
    Ref<NSString> send();
    void cancel();
    bool isFinished() { return finished_; }

    // The message as it is written to the outbox.
    Ref<NSString> messageText();

private:
    void sendPressed(NSObject* sender);
    void cancelPressed(NSObject* sender);
    void finish(MessageComposeResult result);
    void refreshForm();

    Weak<MFMessageComposeViewControllerDelegate> messageDelegate_;
    Ref<NSArray> recipients_;
    Ref<NSString> body_;
    Ref<UIViewController> form_;
    bool finished_ = false;
};
