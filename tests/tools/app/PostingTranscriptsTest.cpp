// Replying through the site's captcha, logging into a site account and posting listings,
// replayed through the terminal front end against the stand-in site with Denver's bikes chosen.
// The site starts each session afresh, so its captcha words come in the same order every
// time; a script's "{captcha}" stands for the words of the newest challenge, as a person reads
// them off the image; a comment "# site: PAGES" makes the site's next posts answer with those
// pages (the admin host's switch), and "# admin: TARGET" asks the site's admin host for TARGET
// (a fault: "/faults?host=...").
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "AppTesting.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Foundation/NSData.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSUserDefaults.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/AnalyticsModule.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"
#include "tools/site/SiteNames.h"

namespace fs = std::filesystem;

namespace {

std::vector<bnservices::AnalyticsModule::Upload> analyticsUploads() {
    return servicestest::services().module<bnservices::AnalyticsModule>("analytics")->uploads();
}

// The names of the events every upload so far carried, in order.
std::vector<std::string> uploadedEventNames() {
    std::vector<std::string> events;
    for (const auto& u : analyticsUploads())
        for (const auto& session : u.upload.sessions)
            for (const auto& event : session.events)
                events.push_back(event.name);
    return events;
}

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
        // "# site: PAGES": the site's next posts answer with those pages.
        if (line.rfind("# site: ", 0) == 0) sitetest::site().setNextPostingPage(line.substr(8));
        // "# admin: TARGET": what a person would ask the admin host for while the app runs.
        if (line.rfind("# admin: ", 0) == 0) {
            standin::HttpRequest admin;
            admin.host = std::string(bnsite::kAdminHost);
            admin.target = line.substr(9);
            auto answer = sitetest::site().handle(admin);
            EXPECT_EQ(answer.status, 200) << line;
        }
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
        apptest::chooseDenverBikes();
        previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        UIImagePickerController::setCameraAvailable(true);
        fs::remove_all(MFMailComposeViewController::outboxPath()->utf8());
    }
    void TearDown() override {
        // The mails sent leave no file behind for other sessions' outbox names.
        fs::remove_all(MFMailComposeViewController::outboxPath()->utf8());
        UIWebView::setURLLoader(previousLoader);
        sitetest::site().reset();
        AppSessionTest::TearDown();
    }

    // Runs `name`.script and compares the printout with `name`.transcript. The posting
    // session's name in a step's address, which depends on the sessions the site made before,
    // reads "(session)".
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
        static const std::regex kSession("/k/[a-z0-9]+");
        expectTranscript(here / (name + ".transcript"),
                         std::regex_replace(out.str(), kSession, "/k/(session)"));
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
    servicestest::services().reset();
    TallySession::removeFilesForTesting(kNoticewallAnalyticsKey);
    apptest::expectPictureNamesUsed("post-photos", [] { expectPostingTranscript("post-photos"); });
    fs::remove_all(photos);
    // The analytics service heard of the post, once, and of no posting error.
    std::vector<std::string> events;
    ASSERT_TRUE(runLoopUntil([&] {
        events = uploadedEventNames();
        return !events.empty();
    }));
    EXPECT_EQ(std::count(events.begin(), events.end(), "Post Success"), 1);
    for (const auto& name : events)
        EXPECT_EQ(name.rfind("Post Error", 0), std::string::npos);
    // Two uploads in slot order, each a third of its photo.
    auto uploads = sitetest::site().uploadedPhotos();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].width, 100);
    EXPECT_EQ(uploads[0].height, 80);
    EXPECT_EQ(uploads[1].width, 150);
    EXPECT_EQ(uploads[1].height, 110);
}

namespace {

bool dark(RGBA c) {
    return c.r < 100 && c.g < 100 && c.b < 100;
}
bool blue(RGBA c) {
    return c.b > c.r + 60 && c.b > 120;
}
int count(UIImage* image, CGRect r, bool (*test)(RGBA)) {
    auto px = UIImagePixelsOf(image->CGImage());
    int n = 0;
    for (int y = int(r.origin.y); y < int(CGRectGetMaxY(r)); ++y)
        for (int x = int(r.origin.x); x < int(CGRectGetMaxX(r)); ++x)
            n += test(pixelAt(px, x, y)) ? 1 : 0;
    return n;
}
Ref<UIImage> picture(const fs::path& dir, const char* name) {
    return UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / name).string()));
}

}  // namespace

TEST_F(PostingTranscripts, PicturesOfTheOverlayTheComposeScreenAndTheCaptcha) {
    InScratchFolder shots("posting-shots");
    expectPostingTranscript("post-shots");
    const fs::path& dir = shots.path();

    // The overlay has slid down to y 20: its grey from there on, the status bar above.
    auto overlay = picture(dir, "post-overlay.png");
    ASSERT_TRUE(overlay);
    RGBA panel = pixelAt(overlay, 5, 24);
    EXPECT_TRUE(near(panel, RGBA{235, 235, 235, 255}, 6)) << panel;
    EXPECT_FALSE(near(pixelAt(overlay, 5, 10), panel, 6)) << pixelAt(overlay, 5, 10);
    // The embossed buttons at (40, 186) and (200, 186), 90 x 37, below the overlay's top.
    for (CGFloat x : {40.0, 200.0}) {
        CGRect button = CGRectMake(x + 4, 20 + 186 + 4, 82, 29);
        int plain = count(overlay, button, [](RGBA c) { return c.r == 235 && c.g == 235; });
        EXPECT_LT(plain, 82 * 29 / 2) << x;
        // The titles' slate blue.
        EXPECT_GT(count(overlay, button, [](RGBA c) { return c.r < 140 && c.b > c.r + 20; }), 20)
            << x;
    }
    // The blue "Post" button over the compose screen's placeholder (the view starts at y 64).
    auto compose = picture(dir, "post-compose.png");
    ASSERT_TRUE(compose);
    EXPECT_GT(count(compose, CGRectMake(10, 64 + 298, 300, 41), blue), 3000);
    // The empty description (10, 86, 300 by 112) shows as a box: a grey outline on the white.
    bool (*outline)(RGBA) = [](RGBA c) { return c.r > 90 && c.r < 200 && c.r == c.b; };
    EXPECT_GT(count(compose, CGRectMake(10, 64 + 96, 2, 92), outline), 80);
    EXPECT_GT(count(compose, CGRectMake(308, 64 + 96, 2, 92), outline), 80);
    EXPECT_GT(count(compose, CGRectMake(20, 64 + 86, 280, 2), outline), 250);
    EXPECT_GT(count(compose, CGRectMake(20, 64 + 196, 280, 2), outline), 250);
    // The picture slots (10, 206, 72 by 72) read "Add Picture" whole, on two lines: "Picture"
    // in slate blue across most of the slot's width below "Add".
    auto titleInk = [](RGBA c) { return c.r < 140 && c.b > c.r + 20; };
    int left = 320, right = 0;
    for (int y = 64 + 206 + 38; y < 64 + 206 + 56; ++y)
        for (int x = 12; x < 80; ++x)
            if (titleInk(pixelAt(compose, x, y)))
                left = std::min(left, x), right = std::max(right, x);
    EXPECT_LT(left, 26);
    EXPECT_GT(right, 66);
    EXPECT_GT(count(compose, CGRectMake(12, 64 + 206 + 18, 68, 18), titleInk), 20);
    // The captcha's image, shown at (10, 65) once it arrived: the two words in dark ink.
    auto captcha = picture(dir, "post-captcha.png");
    ASSERT_TRUE(captcha);
    EXPECT_GT(count(captcha, CGRectMake(10, 20 + 65, 300, 57), dark), 200);
}

TEST_F(PostingTranscripts, ACaptchaPostWhoseAnswerIsCutIsNotSentAgain) {
    expectPostingTranscript("post-cut");
    // The site took the posting once: one mail with its link, and no second submission.
    EXPECT_EQ(sitetest::site().sentMails().size(), 1u);
}

TEST_F(PostingTranscripts, ThroughATermsPageTheSiteAsksForToThePosting) {
    expectPostingTranscript("post-terms");
    auto posted = sitetest::site().listings().query([] {
        bnsite::ListingQuery q;
        q.metro = sitetest::site().catalog().metroIndex("denver");
        EXPECT_TRUE(sitetest::site().catalog().select("bik", &q.selector));
        q.words = {"Road", "bike"};
        q.limit = 1000;
        return q;
    }());
    std::vector<std::string> ours;
    for (const auto& l : posted.rows)
        if (l.userPosted) ours.push_back(l.bodyText);
    EXPECT_EQ(ours, std::vector<std::string>{"Light and fast."});
}

TEST_F(PostingTranscripts, EmailInBodyPhoneVerificationAndTheMailNotice) {
    expectPostingTranscript("post-notices");
}

TEST_F(PostingTranscripts, AreaAndLocationStepsThenRefusedConfirmAndCaptchaPosts) {
    // Boston has areas, and its first area has neighbourhoods.
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(NS("Boston"), NS("LocationName"));
    defaults->setObject(NS("http://boston.bazaarnest.test"), NS("LocationUrl"));
    defaults->setObject(NS("Massachusetts"), NS("LocationState"));
    defaults->synchronize();
    servicestest::services().reset();
    TallySession::removeFilesForTesting(kNoticewallAnalyticsKey);
    expectPostingTranscript("post-areas");
    // The service heard of the refused confirm post and the failed post, once each.
    std::vector<std::string> events;
    ASSERT_TRUE(runLoopUntil([&] {
        events = uploadedEventNames();
        return !events.empty();
    }));
    EXPECT_EQ(std::count(events.begin(), events.end(), "Post Error - Confirm"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Post Failed"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Post Success"), 0);
}

TEST_F(PostingTranscripts, PostTappedTwiceWhileItsPostIsHeldPostsOnce) {
    InScratchFolder shots("posting-twice");
    sitetest::takeLog();
    expectPostingTranscript("post-twice");
    // The posting host's posts: the type and category choices, then the one compose post, the
    // photos' finish, the confirm, the terms and the captcha's answer.
    std::size_t posts = 0;
    for (const auto& line : sitetest::takeLog())
        posts += line.find("\"POST https://" + std::string(bnsite::kPostingHost) + "/k/") !=
                 std::string::npos;
    EXPECT_EQ(posts, 7u);
    EXPECT_EQ(sitetest::site().sentMails().size(), 1u);
    // Under the bezel while the post is held, the blue Post button as ever; once the answer
    // came, the captcha's image alone.
    auto held = picture(shots.path(), "post-held.png");
    ASSERT_TRUE(held);
    EXPECT_GT(count(held, CGRectMake(10, 64 + 298, 300, 41), blue), 3000);
    auto captcha = picture(shots.path(), "post-twice-captcha.png");
    ASSERT_TRUE(captcha);
    EXPECT_GT(count(captcha, CGRectMake(10, 20 + 65, 300, 57), dark), 200);
}
