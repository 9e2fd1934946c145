#include "MessageUI/MFMessageComposeViewController.h"

#include <atomic>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "MessageUI/MFOutbox.h"

namespace {
std::atomic<bool> textCapable{true};

// Callers find the class by name before they touch it, so it is entered at start-up.
const Class registeredByName = MFMessageComposeViewController::staticClass();
}  // namespace

void MFMessageComposeViewController::describeClass(RuntimeClass& c) {
    c.classMethod("canSendText", &MFMessageComposeViewController::canSendText);
    c.method("sendPressed:", &MFMessageComposeViewController::sendPressed);
    c.method("cancelPressed:", &MFMessageComposeViewController::cancelPressed);
}

bool MFMessageComposeViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!UINavigationController::initWithNibName(nibName, bundle)) return false;
    (void)registeredByName;
    form_ = mf_detail::makeForm(this);
    form_->setTitle(NS("New Message"));
    pushViewController(form_, false);
    refreshForm();
    return true;
}

bool MFMessageComposeViewController::canSendText() {
    return textCapable.load();
}

void MFMessageComposeViewController::setCanSendText(bool can) {
    textCapable.store(can);
}

void MFMessageComposeViewController::setRecipients(NSArray* recipients) {
    recipients_ = recipients ? recipients->copy() : nullptr;
    refreshForm();
}

void MFMessageComposeViewController::setBody(NSString* body) {
    body_ = body ? body->copy() : nullptr;
    refreshForm();
}

void MFMessageComposeViewController::refreshForm() {
    if (!form_) return;
    std::vector<std::string> lines;
    lines.push_back("To: " + mf_detail::recipientList(recipients_));
    mf_detail::setFormLines(form_, lines, body_);
}

Ref<NSString> MFMessageComposeViewController::messageText() {
    std::string text;
    text += "To: " + mf_detail::recipientList(recipients_) + "\n";
    text += "Date: " + mf_detail::mailDate() + "\n";
    text += "Content-Type: text/plain; charset=\"utf-8\"\n\n";
    std::string body = body_ ? body_->utf8() : "";
    text += body;
    if (!body.empty() && body.back() != '\n') text += "\n";
    return NSString::fromUTF8(text);
}

Ref<NSString> MFMessageComposeViewController::send() {
    if (finished_) return nullptr;
    Ref<MFMessageComposeViewController> keep(this);
    if (!canSendText()) {
        finish(MessageComposeResultFailed);
        return nullptr;
    }
    auto path = mf_detail::writeToOutbox(messageText(), "message", "txt");
    finish(path ? MessageComposeResultSent : MessageComposeResultFailed);
    return path;
}

void MFMessageComposeViewController::cancel() {
    if (finished_) return;
    Ref<MFMessageComposeViewController> keep(this);
    finish(MessageComposeResultCancelled);
}

void MFMessageComposeViewController::finish(MessageComposeResult result) {
    finished_ = true;
    // The delegate's one method is required: it is called whether or not the class lists it.
    if (auto d = messageDelegate_.lock())
        d->messageComposeViewControllerDidFinishWithResult(this, result);
}

void MFMessageComposeViewController::sendPressed(NSObject*) {
    send();
}

void MFMessageComposeViewController::cancelPressed(NSObject*) {
    cancel();
}
