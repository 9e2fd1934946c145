// The mail composer: recipients, subject, body (plain or HTML) and attachments, filled in by
// the app and sent or cancelled by the person (the shell calls send or cancel). A sent mail is
// written to the outbox folder of the sandbox, Library/Outbox under the home folder, as one
// file holding its headers and body; the delegate then hears the result. The composer never
// dismisses itself: the delegate does.
#pragma once

#include <vector>

#include "UIKit/UINavigationController.h"

class MFMailComposeViewController;
class NSData;
class NSError;

enum MFMailComposeResult : NSInteger {
    MFMailComposeResultCancelled = 0,
    MFMailComposeResultSaved,
    MFMailComposeResultSent,
    MFMailComposeResultFailed,
};

extern NSString* const MFMailComposeErrorDomain;
enum MFMailComposeErrorCode : NSInteger {
    MFMailComposeErrorCodeSaveFailed = 0,
    MFMailComposeErrorCodeSendFailed = 1,
};

// "mailComposeController:didFinishWithResult:error:".
class MFMailComposeViewControllerDelegate {
public:
    virtual ~MFMailComposeViewControllerDelegate() = default;
    virtual void mailComposeControllerDidFinishWithResult(MFMailComposeViewController*,
                                                          MFMailComposeResult, NSError*) {}
};

class MFMailComposeViewController : public UINavigationController {
    NS_OBJECT(MFMailComposeViewController, UINavigationController)
    static void describeClass(RuntimeClass& c);

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;

    // Whether the phone has a mail account (a setting, on by default).
    static bool canSendMail();
    static void setCanSendMail(bool can);
    // Library/Outbox of the sandbox, made on first use.
    static Ref<NSString> outboxPath();

    Ref<MFMailComposeViewControllerDelegate> mailComposeDelegate() { return mailDelegate_.lock(); }
    void setMailComposeDelegate(MFMailComposeViewControllerDelegate* delegate) {
        mailDelegate_ = delegate;
    }

    Ref<NSString> subject() { return subject_; }
    void setSubject(NSString* subject);
    Ref<NSArray> toRecipients() { return to_; }
    void setToRecipients(NSArray* recipients);
    Ref<NSArray> ccRecipients() { return cc_; }
    void setCcRecipients(NSArray* recipients);
    Ref<NSArray> bccRecipients() { return bcc_; }
    void setBccRecipients(NSArray* recipients);
    Ref<NSString> messageBody() { return body_; }
    bool isBodyHTML() { return bodyIsHTML_; }
    void setMessageBody(NSString* body, bool isHTML);
    void addAttachmentData(NSData* data, NSString* mimeType, NSString* fileName);

    struct Attachment {
        Ref<NSData> data;
        Ref<NSString> mimeType;
        Ref<NSString> fileName;
    };
    const std::vector<Attachment>& attachments() const { return attachments_; }

    // The person's send: writes the mail to the outbox and reports Sent, or Failed (with an
    // error of MFMailComposeErrorDomain) without a mail account or when the file cannot be
    // written. Returns the path written, nil on failure. A composer sends or cancels once.
    Ref<NSString> send();
    // The person's cancel: reports Cancelled.
    void cancel();
    // Whether the composer has finished (sent, failed or cancelled).
    bool isFinished() { return finished_; }

    // The mail as it is written to the outbox.
    Ref<NSString> mailText();

private:
    void sendPressed(NSObject* sender);
    void cancelPressed(NSObject* sender);
    void finish(MFMailComposeResult result, NSError* error);
    void refreshForm();

    Weak<MFMailComposeViewControllerDelegate> mailDelegate_;
    Ref<NSString> subject_;
    Ref<NSArray> to_, cc_, bcc_;
    Ref<NSString> body_;
    bool bodyIsHTML_ = false;
    std::vector<Attachment> attachments_;
    Ref<UIViewController> form_;
    bool finished_ = false;
};
