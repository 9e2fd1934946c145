#include "MessageUI/MFMailComposeViewController.h"

#include <atomic>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "MessageUI/MFOutbox.h"

NSString* const MFMailComposeErrorDomain = NS("MFMailComposeErrorDomain");

namespace {
std::atomic<bool> mailAccount{true};
const char* const kBoundary = "Bazaarnest-Mail-Boundary";

Ref<NSArray> copyStrings(NSArray* list) {
    return list ? list->copy() : nullptr;
}

// Attachment names and types go into header parameters: one line, no quotes of their own.
std::string parameterValue(NSString* value) {
    std::string s = mf_detail::headerValue(value);
    std::string out;
    for (char c : s) {
        if (c != '"' && c != '\\') out += c;
    }
    return out;
}

// Base64 in lines of 76 characters, as mail bodies carry it.
std::string wrapped(const std::string& base64) {
    std::string out;
    for (size_t i = 0; i < base64.size(); i += 76) {
        out += base64.substr(i, 76);
        out += '\n';
    }
    return out;
}
}  // namespace

void MFMailComposeViewController::describeClass(RuntimeClass& c) {
    c.classMethod("canSendMail", &MFMailComposeViewController::canSendMail);
    c.method("sendPressed:", &MFMailComposeViewController::sendPressed);
    c.method("cancelPressed:", &MFMailComposeViewController::cancelPressed);
}

bool MFMailComposeViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!UINavigationController::initWithNibName(nibName, bundle)) return false;
    form_ = mf_detail::makeForm(this);
    pushViewController(form_, false);
    refreshForm();
    return true;
}

bool MFMailComposeViewController::canSendMail() {
    return mailAccount.load();
}

void MFMailComposeViewController::setCanSendMail(bool can) {
    mailAccount.store(can);
}

Ref<NSString> MFMailComposeViewController::outboxPath() {
    return mf_detail::outboxPath();
}

void MFMailComposeViewController::setSubject(NSString* subject) {
    subject_ = subject ? subject->copy() : nullptr;
    refreshForm();
}

void MFMailComposeViewController::setToRecipients(NSArray* recipients) {
    to_ = copyStrings(recipients);
    refreshForm();
}

void MFMailComposeViewController::setCcRecipients(NSArray* recipients) {
    cc_ = copyStrings(recipients);
    refreshForm();
}

void MFMailComposeViewController::setBccRecipients(NSArray* recipients) {
    bcc_ = copyStrings(recipients);
    refreshForm();
}

void MFMailComposeViewController::setMessageBody(NSString* body, bool isHTML) {
    body_ = body ? body->copy() : nullptr;
    bodyIsHTML_ = isHTML;
    refreshForm();
}

void MFMailComposeViewController::addAttachmentData(NSData* data, NSString* mimeType,
                                                    NSString* fileName) {
    if (!data) return;
    attachments_.push_back(
        {data->copy(), mimeType ? mimeType->copy() : Ref<NSString>(NS("application/octet-stream")),
         fileName ? fileName->copy() : Ref<NSString>(NS("attachment"))});
    refreshForm();
}

void MFMailComposeViewController::refreshForm() {
    if (!form_) return;
    form_->setTitle(subject_ && subject_->length() > 0 ? subject_.get() : NS("New Message"));
    std::vector<std::string> lines;
    lines.push_back("To: " + mf_detail::recipientList(to_));
    if (cc_ && cc_->count() > 0) lines.push_back("Cc: " + mf_detail::recipientList(cc_));
    if (bcc_ && bcc_->count() > 0) lines.push_back("Bcc: " + mf_detail::recipientList(bcc_));
    lines.push_back("Subject: " + mf_detail::headerValue(subject_));
    for (auto& a : attachments_)
        lines.push_back("Attachment: " + parameterValue(a.fileName));
    // An HTML body shows as the phone renders it, not as its markup.
    Ref<NSString> shown = body_;
    if (body_ && bodyIsHTML_) shown = NSString::fromUTF8(mf_detail::readableHTML(body_->utf8()));
    mf_detail::setFormLines(form_, lines, shown);
}

Ref<NSString> MFMailComposeViewController::mailText() {
    std::string text;
    text += "To: " + mf_detail::recipientList(to_) + "\n";
    if (cc_ && cc_->count() > 0) text += "Cc: " + mf_detail::recipientList(cc_) + "\n";
    if (bcc_ && bcc_->count() > 0) text += "Bcc: " + mf_detail::recipientList(bcc_) + "\n";
    text += "Subject: " + mf_detail::headerValue(subject_) + "\n";
    text += "Date: " + mf_detail::mailDate() + "\n";
    text += "MIME-Version: 1.0\n";
    std::string bodyType = bodyIsHTML_ ? "text/html" : "text/plain";
    std::string body = body_ ? body_->utf8() : "";
    if (attachments_.empty()) {
        text += "Content-Type: " + bodyType + "; charset=\"utf-8\"\n";
        text += "Content-Transfer-Encoding: 8bit\n\n";
        text += body;
        if (!body.empty() && body.back() != '\n') text += "\n";
        return NSString::fromUTF8(text);
    }
    text += std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"\n\n";
    text += std::string("--") + kBoundary + "\n";
    text += "Content-Type: " + bodyType + "; charset=\"utf-8\"\n";
    text += "Content-Transfer-Encoding: 8bit\n\n";
    text += body;
    if (!body.empty() && body.back() != '\n') text += "\n";
    for (auto& a : attachments_) {
        std::string name = parameterValue(a.fileName);
        text += std::string("--") + kBoundary + "\n";
        text += "Content-Type: " + parameterValue(a.mimeType) + "; name=\"" + name + "\"\n";
        text += "Content-Disposition: attachment; filename=\"" + name + "\"\n";
        text += "Content-Transfer-Encoding: base64\n\n";
        text += wrapped(a.data->base64EncodedString()->utf8());
    }
    text += std::string("--") + kBoundary + "--\n";
    return NSString::fromUTF8(text);
}

Ref<NSString> MFMailComposeViewController::send() {
    if (finished_) return nullptr;
    Ref<MFMailComposeViewController> keep(this);
    if (!canSendMail()) {
        auto info = NSDictionary::dictionaryWithObject(NS("No mail account is set up."),
                                                       NSLocalizedDescriptionKey);
        finish(MFMailComposeResultFailed,
               NSError::errorWithDomain(MFMailComposeErrorDomain, MFMailComposeErrorCodeSendFailed,
                                        info));
        return nullptr;
    }
    auto path = mf_detail::writeToOutbox(mailText(), "mail", "eml");
    if (!path) {
        auto info = NSDictionary::dictionaryWithObject(NS("The mail could not be written."),
                                                       NSLocalizedDescriptionKey);
        finish(MFMailComposeResultFailed,
               NSError::errorWithDomain(MFMailComposeErrorDomain, MFMailComposeErrorCodeSendFailed,
                                        info));
        return nullptr;
    }
    finish(MFMailComposeResultSent, nullptr);
    return path;
}

void MFMailComposeViewController::cancel() {
    if (finished_) return;
    Ref<MFMailComposeViewController> keep(this);
    finish(MFMailComposeResultCancelled, nullptr);
}

void MFMailComposeViewController::finish(MFMailComposeResult result, NSError* error) {
    finished_ = true;
    auto d = mailDelegate_.lock();
    if (respondsTo(d.get(), Selector::named("mailComposeController:didFinishWithResult:error:"))) {
        d->mailComposeControllerDidFinishWithResult(this, result, error);
    }
}

void MFMailComposeViewController::sendPressed(NSObject*) {
    send();
}

void MFMailComposeViewController::cancelPressed(NSObject*) {
    cancel();
}
