// The item screen: the listing page it writes, stepping through the list, the star and the
// favourites store, the reply and share sheets with their composers and the call address, the
// refresh button and tapped links, and the page views it counts.
#include <gtest/gtest.h>

#include <string>

#include "Classes/ItemViewController.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "MessageUI/MFMessageComposeViewController.h"
#include "ResultScreensTesting.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIImage.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWebView.h"
#include "analytics/TallySession.h"
#include "ui/core/DZWebController.h"

namespace {

bool has(NSString* page, const std::string& piece) {
    return page->utf8().find(piece) != std::string::npos;
}

size_t countOf(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

// The view's picture at scale 2, and whether two pictures are the same pixel for pixel.
Ref<UIImage> pictureOf(UIView* view) {
    return UIViewRenderImage(view, 2);
}

bool samePixels(UIImage* a, UIImage* b) {
    auto pa = UIImagePixelsOf(a->CGImage()), pb = UIImagePixelsOf(b->CGImage());
    return pa.width == pb.width && pa.height == pb.height && pa.argb == pb.argb;
}

}  // namespace

class ItemScreen : public ResultScreensTest {
protected:
    void SetUp() override {
        ResultScreensTest::SetUp();
        TallySession::createActiveTallySession(NS("item-screen-key"));
        MFMailComposeViewController::setCanSendMail(true);
        MFMessageComposeViewController::setCanSendText(true);
        items = NSMutableArray::array();
        for (int i = 1; i <= 10; ++i) {
            auto item = listing(
                ("Listing " + std::to_string(i)).c_str(),
                ("http://boston.bazaarnest.test/fua/" + std::to_string(i) + ".html").c_str());
            items->addObject(item);
        }
        screen = alloc<ItemViewController>();
        screen->initWithNibName(NS("ItemViewController"), nullptr);
    }
    void TearDown() override {
        if (screen->presentedViewController()) screen->dismissModalViewControllerAnimated(false);
        screen = nullptr;
        NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                          nullptr);
        ResultScreensTest::TearDown();
    }
    // Shows the screen on the list at the index, as the result list does.
    void open(int index) {
        screen->displayItems(items, index);
        nav->pushViewController(screen, false);
        advanceRunLoop(1);
    }
    ItemInfo* item(int index) {
        return static_cast<ItemInfo*>(items->objectAtIndex(static_cast<NSUInteger>(index)).get());
    }
    static int pageViews() { return TallySession::currentSession()->pageViewCount(); }

    Ref<NSMutableArray> items;
    Ref<ItemViewController> screen;
};

TEST_F(ItemScreen, TheListingPagePieces) {
    auto bare = listing("Desk", "http://x.test/1.html");
    bare->setPrice(NS("$40"));
    auto page = ItemViewController::formatItemDisplay(bare);
    EXPECT_TRUE(has(page,
                    "<table border=\"0\"><tr><td><b>Desk</b></td></tr>"
                    "<tr><td><p class=\"price\">$40</p></td></tr>"
                    "<tr><td><p class=\"time\"></p></td></tr></table><hr class=\"thin\">"));
    EXPECT_FALSE(has(page, "class=\"location\""));
    // Not arrived yet: the refresh button stands for the body.
    EXPECT_TRUE(has(page,
                    "<table style=\"word-wrap:word-break\"><tr><td>Loading ... <button "
                    "style=\"font-size: 18px\" onClick=\"window.location='http://"
                    "refreshthispost'\">Refresh</button></td></tr></table>"));
    EXPECT_TRUE(page->hasPrefix(NS("<html><head><meta name=\"viewport\"")));
    EXPECT_TRUE(page->hasSuffix(NS("<br/><br/><br/><br/></body></html>")));

    auto full = listing("Sofa <new> & clean", "http://x.test/2.html");
    full->setLocation(NS("Oakland"));
    full->setExtraInfo(NS("furniture - by owner"));
    full->setTime(NS(" 2012-02-28, 10:15AM EST"));
    full->setDetail(NS("<p>Blue sofa</p>\n<!--\nimgList = new Array(\"a.jpg\");\n-->"));
    full->setImageUrl(NSMutableArray::arrayWithObjects(
        {NS("http://images.bazaarnest.test/1.jpg"), NS("http://images.bazaarnest.test/2.jpg"),
         NS("http://images.bazaarnest.test/3.jpg")}));
    page = ItemViewController::formatItemDisplay(full);
    // The listing's own texts are escaped; its body stays markup.
    EXPECT_TRUE(has(page, "<b>Sofa &lt;new&gt; &amp; clean</b>"));
    EXPECT_TRUE(has(page, "<p class=\"location\">Oakland - furniture - by owner</p>"));
    EXPECT_TRUE(has(page, "<p class=\"time\"> 2012-02-28, 10:15AM EST</p>"));
    EXPECT_FALSE(has(page, "class=\"price\""));
    EXPECT_FALSE(has(page, "imgList"));
    EXPECT_FALSE(has(page, "Refresh"));
    EXPECT_TRUE(has(page, "Blue sofa"));
    EXPECT_EQ(countOf(page->utf8(), "<center><img src=\"http://images.bazaarnest.test/"), 3u);
    EXPECT_LT(page->utf8().find("1.jpg"), page->utf8().find("3.jpg"));
    // A body in the older format keeps the site's table of the same photos: each shows once,
    // from the image list, and the words after the table stay.
    auto hostedTable =
        std::string("<table summary=\"bazaarnest hosted images\">\n") +
        "<tr><td align=\"center\"><img src=\"http://images.bazaarnest.test/1.jpg\"></td></tr>\n" +
        "<tr><td align=\"center\"><img src=\"http://images.bazaarnest.test/2.jpg\"></td></tr>\n" +
        "<tr><td align=\"center\"><img src=\"http://images.bazaarnest.test/3.jpg\"></td></tr>\n" +
        "</table>\n";
    full->setDetail(str("<p>Blue sofa</p>\n" + hostedTable +
                        "<p>Pick up only</p>\n<!--\nimgList = new Array(\"a.jpg\");\n-->"));
    page = ItemViewController::formatItemDisplay(full);
    EXPECT_EQ(countOf(page->utf8(), "<img"), 3u);
    EXPECT_EQ(countOf(page->utf8(), "1.jpg"), 1u);
    EXPECT_FALSE(has(page, "hosted images"));
    EXPECT_TRUE(has(page, "Pick up only"));
    // Without an image list the table is the only place the photos show: it stays.
    full->setImageUrl(NSMutableArray::arrayWithCapacity(4));
    page = ItemViewController::formatItemDisplay(full);
    EXPECT_EQ(countOf(page->utf8(), "<img"), 3u);
    // Image URLs come from the page's script: a quote in one stays inside its attribute.
    full->setImageUrl(NSMutableArray::arrayWithObject(
        NS("http://images.bazaarnest.test/4.jpg\" onerror=\"alert(1)&x=<b>")));
    page = ItemViewController::formatItemDisplay(full);
    EXPECT_TRUE(has(page,
                    "<center><img src=\"http://images.bazaarnest.test/4.jpg&quot; "
                    "onerror=&quot;alert(1)&amp;x=&lt;b&gt;\"><br/><br/></center>"));
    EXPECT_FALSE(has(page, "onerror=\""));

    EXPECT_FALSE(ItemViewController::transcoding(nullptr));
    EXPECT_TRUE(ItemViewController::isRichContent(nullptr));
    EXPECT_TRUE(ItemViewController::isRichContent(NS("<TABLE WIDTH=600>")));
    EXPECT_FALSE(ItemViewController::isRichContent(NS("<table><tr>")));
}

TEST_F(ItemScreen, StepsThroughTheList) {
    open(2);
    EXPECT_EQ(text(screen->title()), "3 of 10");
    auto segments = screen->segmentedControl();
    ASSERT_TRUE(segments);
    EXPECT_EQ(segments->numberOfSegments(), 2u);
    EXPECT_TRUE(segments->isEnabledForSegmentAtIndex(0));
    EXPECT_TRUE(segments->isEnabledForSegmentAtIndex(1));
    EXPECT_TRUE(has(screen->webView()->readableText(), "Listing 3"));
    segments->tapSegment(0);
    segments->tapSegment(0);
    EXPECT_EQ(text(screen->title()), "1 of 10");
    EXPECT_FALSE(segments->isEnabledForSegmentAtIndex(0));
    segments->tapSegment(0);  // already at the first
    EXPECT_EQ(screen->currentIndex(), 0);
    screen->displayItems(items, 9);
    EXPECT_EQ(text(screen->title()), "10 of 10");
    EXPECT_TRUE(segments->isEnabledForSegmentAtIndex(0));
    EXPECT_FALSE(segments->isEnabledForSegmentAtIndex(1));
    segments->tapSegment(1);
    EXPECT_EQ(screen->currentIndex(), 9);
    // Rows the list appends later are reachable: the screen shows the list's own array.
    screen->displayItems(items, 8);
    items->addObject(listing("Listing 11", "http://boston.bazaarnest.test/fua/11.html"));
    segments->tapSegment(1);
    EXPECT_EQ(text(screen->title()), "10 of 11");
    segments->tapSegment(1);
    EXPECT_EQ(text(screen->title()), "11 of 11");
    advanceRunLoop(1);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Listing 11"));
}

TEST_F(ItemScreen, AListingsScriptsAndStylesNeverShow) {
    // Two listings alike but for the script and style blocks of the first.
    item(0)->setDetail(
        NS("Plain words<script type=\"text/javascript\">var promo = 1;</script>"
           "<STYLE>\np { color: red }\n</STYLE>"));
    item(1)->setTitle(item(0)->title());
    item(1)->setDetail(NS("Plain words  "));
    open(0);
    auto web = screen->webView();
    EXPECT_FALSE(has(web->readableText(), "promo"));
    EXPECT_TRUE(has(web->readableText(), "Plain words"));
    auto withCode = pictureOf(web);
    screen->segmentedControl()->tapSegment(1);
    advanceRunLoop(1);
    EXPECT_TRUE(samePixels(withCode, pictureOf(web)));
}

TEST_F(ItemScreen, TheNextAndPreviousListingsOpenAtTheirTops) {
    std::string lines;
    for (int i = 0; i < 80; ++i)
        lines += "line " + std::to_string(i) + "<br>";
    for (int i = 0; i < 3; ++i)
        item(i)->setDetail(NSString::fromUTF8(lines));
    open(1);
    auto web = screen->webView();
    auto scroller = web->scrollView();
    pictureOf(web);  // laid out: the page is longer than the view
    ASSERT_GT(scroller->contentSize().height, 1000);
    for (int segment : {1, 0}) {
        scroller->setContentOffset(CGPointMake(0, 800));
        screen->segmentedControl()->tapSegment(segment);
        advanceRunLoop(1);
        EXPECT_EQ(scroller->contentOffset().y, 0) << segment;
        // The picture is the page's top, as the page shows when scrolled there by hand.
        auto shown = pictureOf(web);
        scroller->setContentOffset(CGPointMake(0, 0));
        EXPECT_TRUE(samePixels(shown, pictureOf(web))) << segment;
    }
}

TEST_F(ItemScreen, CountsAPageViewForEveryListingShown) {
    int before = pageViews();
    // Handed over before the view loads: the render then counts, the view's own does not.
    screen->displayItems(items, 0);
    EXPECT_FALSE(screen->isViewLoaded());
    EXPECT_FALSE(screen->webView());
    EXPECT_EQ(text(screen->title()), "1 of 10");
    advanceRunLoop(1);
    nav->pushViewController(screen, false);
    advanceRunLoop(1);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Listing 1"))
        << text(screen->webView()->readableText());
    EXPECT_EQ(pageViews(), before + 1);
    screen->segmentedControl()->tapSegment(1);
    advanceRunLoop(1);
    screen->displayItems(items, 5);
    advanceRunLoop(1);
    EXPECT_EQ(pageViews(), before + 3);
}

TEST_F(ItemScreen, StarsAndTheFavouritesStore) {
    open(0);
    EXPECT_FALSE(screen->isCurrentItemFavorite());
    EXPECT_TRUE(screen->starButton()->image() == UIImage::imageNamed(NS("staroff32.png")));
    screen->starButtonPressed(nullptr);
    EXPECT_TRUE(screen->isCurrentItemFavorite());
    EXPECT_TRUE(screen->starButton()->image() == UIImage::imageNamed(NS("staron32.png")));
    EXPECT_TRUE(ManagedStore::isFavorite(context(), item(0)->detailUrl()));
    // Another listing is not starred by it.
    screen->segmentedControl()->tapSegment(1);
    EXPECT_FALSE(screen->isCurrentItemFavorite());
    // Removing deletes every stored copy of the listing.
    ManagedStore::addFavorite(context(), item(0));
    screen->segmentedControl()->tapSegment(0);
    EXPECT_EQ(ManagedStore::favorites(context())->count(), 2u);
    screen->starButtonPressed(nullptr);
    EXPECT_FALSE(screen->isCurrentItemFavorite());
    EXPECT_EQ(ManagedStore::favorites(context())->count(), 0u);
    EXPECT_TRUE(screen->starButton()->image() == UIImage::imageNamed(NS("staroff32.png")));
}

TEST_F(ItemScreen, ReplySheetButtonsFollowTheListing) {
    item(0)->setPhoneNumber(NS("(617) 555-0142"));
    item(0)->setReplyUrl(NS("sale-4821@relay.bazaarnest.test"));
    item(1)->setReplyUrl(NS("sale-77@relay.bazaarnest.test"));
    open(2);
    EXPECT_FALSE(screen->replyButton()->isEnabled());  // neither address nor number
    screen->displayItems(items, 0);
    EXPECT_TRUE(screen->replyButton()->isEnabled());
    screen->replyButtonPressed(nullptr);
    auto sheet = as<UIActionSheet>(lastPanel());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(text(sheet->title()), "Reply To This Post");
    EXPECT_EQ(buttonsOf(sheet), "Call (617) 555-0142|Text (617) 555-0142|Reply with Email|Cancel");
    // Call: the number's digits only.
    sheet->clickButtonAtIndex(0);
    auto opened = UIApplication::sharedApplication()->openedURLs();
    ASSERT_EQ(opened->count(), 1u);
    EXPECT_EQ(text(cast<NSURL>(opened->objectAtIndex(0))->absoluteString()), "tel:6175550142");
    // Text: the message composer with the number and the interest line.
    screen->replyButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonAtIndex(1);
    auto message = as<MFMessageComposeViewController>(screen->presentedViewController());
    ASSERT_TRUE(message);
    EXPECT_EQ(text(message->body()), "I am interested in your bazaarnest post - Listing 1");
    EXPECT_EQ(text(message->recipients()->objectAtIndex(0)), "(617) 555-0142");
    screen->messageComposeViewControllerDidFinishWithResult(message, MessageComposeResultSent);
    EXPECT_FALSE(screen->presentedViewController());
    EXPECT_EQ(lastPanel(), nullptr);
    // E-mail: an address opens the mail composer at once.
    screen->replyButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonAtIndex(2);
    auto mail = as<MFMailComposeViewController>(screen->presentedViewController());
    ASSERT_TRUE(mail);
    EXPECT_EQ(text(mail->subject()), "Re: Listing 1");
    EXPECT_EQ(text(mail->toRecipients()->objectAtIndex(0)), "sale-4821@relay.bazaarnest.test");
    EXPECT_EQ(text(mail->messageBody()),
              "<html><body><br/><br/>http://boston.bazaarnest.test/fua/1.html "
              "<br/><br/></body></html>");
    screen->mailComposeControllerDidFinishWithResult(mail, MFMailComposeResultCancelled, nullptr);
    EXPECT_FALSE(screen->presentedViewController());

    // Only a reply address: e-mail is button 0.
    screen->displayItems(items, 1);
    screen->replyButtonPressed(nullptr);
    sheet = as<UIActionSheet>(lastPanel());
    EXPECT_EQ(buttonsOf(sheet), "Reply with Email|Cancel");
    sheet->clickButtonAtIndex(0);
    mail = as<MFMailComposeViewController>(screen->presentedViewController());
    ASSERT_TRUE(mail);
    EXPECT_EQ(text(mail->subject()), "Re: Listing 2");
    screen->dismissModalViewControllerAnimated(false);
    // Cancel does nothing.
    screen->replyButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonWithTitle(NS("Cancel"));
    EXPECT_FALSE(screen->presentedViewController());
}

TEST_F(ItemScreen, NoComposerWithoutAWayToSend) {
    item(0)->setPhoneNumber(NS("617.555.0142"));
    item(0)->setReplyUrl(NS("sale-1@relay.bazaarnest.test"));
    open(0);
    MFMessageComposeViewController::setCanSendText(false);
    MFMailComposeViewController::setCanSendMail(false);
    screen->replyButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonAtIndex(1);
    EXPECT_FALSE(screen->presentedViewController());
    screen->replyButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonAtIndex(2);
    EXPECT_FALSE(screen->presentedViewController());
    screen->shareButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonAtIndex(0);
    EXPECT_FALSE(screen->presentedViewController());
}

TEST_F(ItemScreen, CallAddresses) {
    auto call = [](const char* number) {
        auto url = ItemViewController::callUrl(number ? str(number).get() : nullptr);
        return url ? url->absoluteString()->utf8() : "(nil)";
    };
    EXPECT_EQ(call("(617) 555-0142"), "tel:6175550142");
    EXPECT_EQ(call("617.555.0142"), "tel:6175550142");
    EXPECT_EQ(call(" +1 617 555 0142"), "tel:+16175550142");
    EXPECT_EQ(call("617+555"), "tel:617555");  // a "+" only counts at the front
    EXPECT_EQ(call("call me"), "(nil)");
    EXPECT_EQ(call(nullptr), "(nil)");
}

TEST_F(ItemScreen, ShareSheetAndComposerTexts) {
    open(3);
    screen->shareButtonPressed(nullptr);
    auto sheet = as<UIActionSheet>(lastPanel());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(text(sheet->title()), "Share this Post");
    EXPECT_EQ(buttonsOf(sheet), "Share by Email|Share by Text|Cancel");
    sheet->clickButtonAtIndex(0);
    auto mail = as<MFMailComposeViewController>(screen->presentedViewController());
    ASSERT_TRUE(mail);
    EXPECT_EQ(text(mail->subject()), "Bazaarnest: Listing 4");
    EXPECT_EQ(mail->toRecipients() ? mail->toRecipients()->count() : 0u, 0u);
    EXPECT_EQ(text(mail->messageBody()),
              "<html><body>http://boston.bazaarnest.test/fua/4.html <br/><br/>Sent from <a "
              "href=\"http://itunes.appstore.test/us/app/id703158249?mt=8\">Bazaarnest Mobile</a> "
              "for iPhone</body></html>");
    screen->mailComposeControllerDidFinishWithResult(mail, MFMailComposeResultSent, nullptr);
    EXPECT_FALSE(screen->presentedViewController());

    screen->shareButtonPressed(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonAtIndex(1);
    auto message = as<MFMessageComposeViewController>(screen->presentedViewController());
    ASSERT_TRUE(message);
    EXPECT_EQ(text(message->body()),
              "Bazaarnest: Listing 4 http://boston.bazaarnest.test/fua/4.html");
    EXPECT_EQ(message->recipients() ? message->recipients()->count() : 0u, 0u);
    // A failed text says so, and the composer goes all the same.
    screen->messageComposeViewControllerDidFinishWithResult(message, MessageComposeResultFailed);
    EXPECT_FALSE(screen->presentedViewController());
    auto alert = as<UIAlertView>(lastPanel());
    ASSERT_TRUE(alert);
    EXPECT_EQ(text(alert->title()), "Bazaarnet");
    EXPECT_EQ(text(alert->message()), "Failed to send TEXT");
    EXPECT_EQ(buttonsOf(alert), "OK");
}

TEST_F(ItemScreen, RefreshRendersWhatArrivedSince) {
    open(0);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Loading ..."));
    item(0)->setDetail(NS("<p>Solid oak, seats six.</p>"));
    auto refresh = NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://refreshthispost")));
    EXPECT_FALSE(screen->webViewShouldStartLoadWithRequest(screen->webView(), refresh,
                                                           UIWebViewNavigationTypeOther));
    advanceRunLoop(1);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Solid oak, seats six."));
    EXPECT_FALSE(has(screen->webView()->readableText(), "Loading ..."));
    // The page's own button lands on the same path.
    screen->displayItems(items, 1);
    advanceRunLoop(1);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Refresh"));
    item(1)->setDetail(NS("<p>Pine, seats four.</p>"));
    screen->webView()->stringByEvaluatingJavaScriptFromString(
        NS("window.location='http://refreshthispost'"));
    advanceRunLoop(1);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Pine, seats four."));
    EXPECT_EQ(text(screen->title()), "2 of 10");
    // Other loads the page itself starts go ahead.
    auto other = NSURLRequest::requestWithURL(NSURL::URLWithString(NS("about:blank")));
    EXPECT_TRUE(screen->webViewShouldStartLoadWithRequest(screen->webView(), other,
                                                          UIWebViewNavigationTypeOther));
    EXPECT_TRUE(screen->webViewShouldStartLoadWithRequest(screen->webView(), other,
                                                          UIWebViewNavigationTypeReload));
}

TEST_F(ItemScreen, TappedLinksOpenTheWebController) {
    open(0);
    auto link = NSURLRequest::requestWithURL(
        NSURL::URLWithString(NS("http://www.bazaarnest.test/about/help/replying")));
    auto before = screen->webView()->readableText();
    EXPECT_FALSE(screen->webViewShouldStartLoadWithRequest(screen->webView(), link,
                                                           UIWebViewNavigationTypeLinkClicked));
    auto browser = as<DZWebController>(nav->topViewController());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->statusBarStyle(), UIStatusBarStyleBlackOpaque);
    EXPECT_EQ(text(browser->URL()->absoluteString()),
              "http://www.bazaarnest.test/about/help/replying");
    EXPECT_EQ(text(screen->webView()->readableText()), text(before));
    nav->popViewControllerAnimated(false);
    advanceRunLoop(1);
}

TEST_F(ItemScreen, TheOriginalPostingAndBack) {
    open(0);
    screen->webButtonPressed(nullptr);
    EXPECT_TRUE(screen->rawWebView());
    EXPECT_FALSE(screen->activityLabel()->isHidden());
    EXPECT_EQ(text(screen->webView()->request()->URL()->absoluteString()),
              "http://boston.bazaarnest.test/fua/1.html");
    screen->webViewDidFinishLoad(screen->webView());
    EXPECT_TRUE(screen->activityLabel()->isHidden());
    // A memory warning under the in-app browser lets the view go: the view made again shows the
    // site's page still, and the button goes back to the app's rendering.
    auto link = NSURLRequest::requestWithURL(
        NSURL::URLWithString(NS("http://www.bazaarnest.test/about/help/replying")));
    screen->webViewShouldStartLoadWithRequest(screen->webView(), link,
                                              UIWebViewNavigationTypeLinkClicked);
    ASSERT_TRUE(as<DZWebController>(nav->topViewController()));
    screen->didReceiveMemoryWarning();
    ASSERT_FALSE(screen->isViewLoaded());
    nav->popViewControllerAnimated(false);
    ASSERT_TRUE(screen->isViewLoaded());
    EXPECT_TRUE(screen->rawWebView());
    ASSERT_TRUE(screen->webView()->request());
    EXPECT_EQ(text(screen->webView()->request()->URL()->absoluteString()),
              "http://boston.bazaarnest.test/fua/1.html");
    screen->webButtonPressed(nullptr);
    EXPECT_FALSE(screen->rawWebView());
    advanceRunLoop(1);
    EXPECT_TRUE(has(screen->webView()->readableText(), "Listing 1"));
    // Stepping always returns to the app's rendering.
    screen->webButtonPressed(nullptr);
    screen->segmentedControl()->tapSegment(1);
    EXPECT_FALSE(screen->rawWebView());
}
