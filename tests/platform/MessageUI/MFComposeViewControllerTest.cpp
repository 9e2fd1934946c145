// The composers: what the outbox receives, the delegate's results and the settings that make
// sending fail.
#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/Runtime.h"
#include "MessageUI/MFOutbox.h"
#include "MessageUI/MessageUI.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewRendering.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"

namespace {

class Results : public NSObject,
                public MFMailComposeViewControllerDelegate,
                public MFMessageComposeViewControllerDelegate {
    NS_OBJECT(Results, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"mailComposeController:didFinishWithResult:error:",
                      "messageComposeViewController:didFinishWithResult:"});
    }
    std::vector<NSInteger> mail, messages;
    Ref<NSError> error;
    void mailComposeControllerDidFinishWithResult(MFMailComposeViewController*,
                                                  MFMailComposeResult r, NSError* e) override {
        mail.push_back(r);
        error = e;
    }
    void messageComposeViewControllerDidFinishWithResult(MFMessageComposeViewController*,
                                                         MessageComposeResult r) override {
        messages.push_back(r);
    }
};

std::string fileText(NSString* path) {
    auto data = NSData::dataWithContentsOfFile(path);
    return data ? std::string(static_cast<const char*>(data->bytes()), data->length()) : "";
}

struct ComposeTest : testing::Test {
    Ref<Results> results = make<Results>();
    void SetUp() override {
        Clock::useManual(0);  // 2001-01-01 00:00:00 UTC
        NSFileManager::defaultManager()->removeItemAtPath(MFMailComposeViewController::outboxPath(),
                                                          nullptr);
    }
    void TearDown() override {
        Clock::useReal();
        MFMailComposeViewController::setCanSendMail(true);
        MFMessageComposeViewController::setCanSendText(true);
    }
};

TEST_F(ComposeTest, SentMailIsWrittenToTheOutbox) {
    auto composer = make<MFMailComposeViewController>();
    composer->setMailComposeDelegate(results);
    composer->setToRecipients(NSArray::arrayWithObject(NS("seller@example.com")));
    composer->setSubject(NS("Re: Blue bike"));
    composer->setMessageBody(NS("<html><body>Is it available?</body></html>"), true);
    EarlierWriterLeftover leftover(
        MFMailComposeViewController::outboxPath()->stringByAppendingPathComponent(
            NS("mail-0001.eml")));
    auto path = composer->send();
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(leftover.gone());  // one of the platform's own files
    EXPECT_EQ(text(path->lastPathComponent()), "mail-0001.eml");
    EXPECT_EQ(text(path->stringByDeletingLastPathComponent()->lastPathComponent()), "Outbox");
    EXPECT_EQ(fileText(path),
              "To: seller@example.com\n"
              "Subject: Re: Blue bike\n"
              "Date: Mon, 01 Jan 2001 00:00:00 +0000\n"
              "MIME-Version: 1.0\n"
              "Content-Type: text/html; charset=\"utf-8\"\n"
              "Content-Transfer-Encoding: 8bit\n"
              "\n"
              "<html><body>Is it available?</body></html>\n");
    EXPECT_EQ(results->mail, (std::vector<NSInteger>{MFMailComposeResultSent}));
    EXPECT_EQ(composer->send(), nullptr);  // once only
    EXPECT_EQ(results->mail.size(), 1u);

    // The next mail takes the next name.
    auto second = make<MFMailComposeViewController>();
    EXPECT_EQ(text(second->send()->lastPathComponent()), "mail-0002.eml");
}

TEST_F(ComposeTest, HeadersStayOnOneLineAndAttachmentsAreEncoded) {
    auto composer = make<MFMailComposeViewController>();
    composer->setSubject(NS("Hi\r\nBcc: everyone@example.com"));
    composer->setMessageBody(NS("plain"), false);
    uint8_t bytes[] = {0xFF, 0xD8, 0xFF};
    composer->addAttachmentData(NSData::dataWithBytes(bytes, 3), NS("image/jpeg"),
                                NS("photo\".jpg"));
    std::string mail = text(composer->mailText());
    EXPECT_NE(mail.find("Subject: Hi  Bcc: everyone@example.com\n"), std::string::npos);
    EXPECT_EQ(mail.find("\nBcc:"), std::string::npos);
    EXPECT_NE(mail.find("Content-Type: multipart/mixed"), std::string::npos);
    EXPECT_NE(mail.find("filename=\"photo.jpg\""), std::string::npos);
    EXPECT_NE(mail.find("/9j/\n"), std::string::npos);  // the bytes in base64
    EXPECT_NE(mail.find("Content-Type: text/plain"), std::string::npos);
}

TEST_F(ComposeTest, WithoutAnAccountSendingFails) {
    MFMailComposeViewController::setCanSendMail(false);
    EXPECT_FALSE(MFMailComposeViewController::canSendMail());
    auto composer = make<MFMailComposeViewController>();
    composer->setMailComposeDelegate(results);
    EXPECT_EQ(composer->send(), nullptr);
    EXPECT_EQ(results->mail, (std::vector<NSInteger>{MFMailComposeResultFailed}));
    ASSERT_NE(results->error, nullptr);
    EXPECT_EQ(text(results->error->domain()), "MFMailComposeErrorDomain");
    EXPECT_EQ(results->error->code(), MFMailComposeErrorCodeSendFailed);
    auto files = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(
        MFMailComposeViewController::outboxPath(), nullptr);
    EXPECT_EQ(files->count(), 0u);
}

TEST_F(ComposeTest, TextMessagesAndCancels) {
    EXPECT_NE(NSClassFromString(NS("MFMessageComposeViewController")), nullptr);
    auto composer = make<MFMessageComposeViewController>();
    composer->setMessageComposeDelegate(results);
    composer->setRecipients(NSArray::arrayWithObject(NS("5551234")));
    composer->setBody(NS("I am interested in your bazaarnest post - Blue bike"));
    auto path = composer->send();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(fileText(path),
              "To: 5551234\n"
              "Date: Mon, 01 Jan 2001 00:00:00 +0000\n"
              "Content-Type: text/plain; charset=\"utf-8\"\n"
              "\n"
              "I am interested in your bazaarnest post - Blue bike\n");

    auto cancelled = make<MFMessageComposeViewController>();
    cancelled->setMessageComposeDelegate(results);
    cancelled->cancel();
    MFMessageComposeViewController::setCanSendText(false);
    auto failing = make<MFMessageComposeViewController>();
    failing->setMessageComposeDelegate(results);
    EXPECT_EQ(failing->send(), nullptr);
    EXPECT_EQ(results->messages,
              (std::vector<NSInteger>{MessageComposeResultSent, MessageComposeResultCancelled,
                                      MessageComposeResultFailed}));

    // The form's Send button is the person's send.
    auto mail = make<MFMailComposeViewController>();
    mail->setMailComposeDelegate(results);
    auto send = mail->topViewController()->navigationItem()->rightBarButtonItem();
    ASSERT_NE(send, nullptr);
    EXPECT_TRUE(send->sendAction());
    EXPECT_TRUE(mail->isFinished());
}

// The composer come on screen, 320 x 460 points.
void shown(UIViewController* composer) {
    composer->view()->setFrame(CGRectMake(0, 0, 320, 460));
    composer->beginAppearanceTransition(true, false);
    composer->endAppearanceTransition();
}

// Whether some opaque pixel of the pixel row is dark (text).
bool textIn(const UIImagePixels& pixels, int y) {
    for (int x = 0; x < 320; ++x)
        if (RGBA p = pixelAt(pixels, x, y); p.a == 255 && p.r < 90) return true;
    return false;
}

// The bands of rows with text in them, top to bottom, from `top` down.
int textLines(UIImage* image, int top, int bottom) {
    auto pixels = UIImagePixelsOf(image->CGImage());
    int lines = 0;
    bool inText = false;
    for (int y = top; y < bottom; ++y) {
        bool t = textIn(pixels, y);
        if (t && !inText) ++lines;
        inText = t;
    }
    return lines;
}

TEST_F(ComposeTest, TheComposersDrawTheirFieldsWithWhatTheAppPutInThem) {
    auto mail = make<MFMailComposeViewController>();
    mail->setToRecipients(NSArray::arrayWithObject(NS("seller@bazaarnest.test")));
    mail->setCcRecipients(NSArray::arrayWithObject(NS("me@bazaarnest.test")));
    mail->setSubject(NS("Blue bike"));
    mail->setMessageBody(NS("Is the blue bike still for sale? I could come and see it this "
                            "weekend, any time on Saturday or Sunday afternoon."),
                         false);
    shown(mail);
    auto image = UIViewRenderImage(mail->view(), 1);
    ASSERT_TRUE(image);
    // White below the bar, a line of text in each field's row, then the body wrapped whole.
    EXPECT_TRUE(near(pixelAt(image, 316, 300), kWhite, 0)) << pixelAt(image, 316, 300);
    EXPECT_TRUE(near(pixelAt(image, 316, 60), kWhite, 0)) << pixelAt(image, 316, 60);
    EXPECT_EQ(textLines(image, 44, 88), 1);
    EXPECT_EQ(textLines(image, 88, 132), 1);
    EXPECT_EQ(textLines(image, 132, 176), 1);
    EXPECT_GE(textLines(image, 176, 460), 2);

    // An HTML body reads as text, its links by their words.
    EXPECT_EQ(mf_detail::readableHTML("<html><body>http://a.test/1.html<br/><br/>Sent from <a "
                                      "href=\"http://b.test/\">Bazaarnest</a> &amp; co</body>"
                                      "</html>"),
              "http://a.test/1.html\n\nSent from Bazaarnest & co");

    auto message = make<MFMessageComposeViewController>();
    message->setRecipients(NSArray::arrayWithObject(NS("5551234")));
    message->setBody(NS("I am interested in your bazaarnest post - Blue bike, ready to ride"));
    shown(message);
    image = UIViewRenderImage(message->view(), 1);
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(pixelAt(image, 316, 300), kWhite, 0)) << pixelAt(image, 316, 300);
    EXPECT_EQ(textLines(image, 44, 88), 1);
    EXPECT_GE(textLines(image, 88, 460), 2);
}

}  // namespace
