// Replying through the site's captcha, logging into a site account and posting listings,
// replayed through the terminal front end against the stand-in site with Denver's bikes chosen.
// The site starts each session afresh, so its captcha words come in the same order every
// time; a script's "{captcha}" stands for the words of the newest challenge, as a person reads
// them off the image.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "AppTesting.h"
#include "Foundation/NSData.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSUserDefaults.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace fs = std::filesystem;

namespace {

// The script's lines, "{captcha}" filled in with the newest challenge's words when read.
class CaptchaLines : public std::streambuf {
public:
    explicit CaptchaLines(const std::string& text) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines_.push_back(line);
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (next_ >= lines_.size()) return traits_type::eof();
        std::string line = lines_[next_++];
        auto at = line.find("{captcha}");
        if (at != std::string::npos)
            line.replace(at, 9, sitetest::site().lastCaptchaAnswer().value_or("(none)"));
        current_ = line + "\n";
        setg(current_.data(), current_.data(), current_.data() + current_.size());
        return traits_type::to_int_type(*gptr());
    }

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
    std::string current_;
};

class PostingTranscripts : public apptest::AppSessionTest {
protected:
    void SetUp() override {
        AppSessionTest::SetUp();
        sitetest::site().reset();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setObject(NS("Denver"), NS("LocationName"));
        defaults->setObject(NS("http://denver.bazaarnest.test"), NS("LocationUrl"));
        defaults->setObject(NS("Colorado"), NS("LocationState"));
        defaults->setObject(NS("Bikes"), NS("CatagoryName"));
        defaults->setObject(NS("bik/"), NS("CatagoryUrl"));
        defaults->setObject(NS("For Sale"), NS("CatagorySection"));
        defaults->synchronize();
        previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        UIImagePickerController::setCameraAvailable(true);
    }
    void TearDown() override {
        UIWebView::setURLLoader(previousLoader);
        sitetest::site().reset();
        AppSessionTest::TearDown();
    }

    // Runs `name`.script and compares the printout with `name`.transcript.
    static void expectPostingTranscript(const std::string& name) {
        registerAppInterfaces();
        sitetest::site();
        auto here = apptest::appTestFolder();
        CaptchaLines lines(readFile(here / (name + ".script")));
        std::istream in(&lines);
        std::ostringstream out;
        ShellOptions options;
        options.scriptPath = "-";
        ShellSession session(options, out, in);
        EXPECT_EQ(session.run(), 0);
        expectTranscript(here / (name + ".transcript"), out.str());
    }
    UIWebViewURLLoader previousLoader;
};

}  // namespace

TEST_F(PostingTranscripts, ReplyThroughTheCaptcha) {
    expectPostingTranscript("post-reply");
}

TEST_F(PostingTranscripts, FailedThenGoodLoginAndLogout) {
    expectPostingTranscript("post-login");
}

TEST_F(PostingTranscripts, APostWithTwoPhotosThroughConfirmTermsAndCaptcha) {
    // Two photos in the library: 300 x 240 and 450 x 330 pixels.
    fs::path photos = UIImagePickerController::photoLibraryPath()->utf8();
    fs::remove_all(photos);
    fs::create_directories(photos);
    int n = 0;
    for (auto size : {CGSizeMake(300, 240), CGSizeMake(450, 330)}) {
        UIGraphicsBeginImageContextWithOptions(size, true, 1);
        CGContextSetRGBFillColor(UIGraphicsGetCurrentContext(), 0.3f, 0.6f, 0.2f, 1);
        CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, size.width, size.height));
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        auto data = UIImageJPEGRepresentation(image, 0.9f);
        data->writeToFile(str((photos / ("photo" + std::to_string(++n) + ".jpg")).string()), true);
    }
    expectPostingTranscript("post-photos");
    fs::remove_all(photos);
    // Two uploads in slot order, each a third of its photo.
    auto uploads = sitetest::site().uploadedPhotos();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].width, 100);
    EXPECT_EQ(uploads[0].height, 80);
    EXPECT_EQ(uploads[1].width, 150);
    EXPECT_EQ(uploads[1].height, 110);
}
