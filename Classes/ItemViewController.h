// One listing of a list at a time, rendered as an HTML page of the app's own making: title,
// price, place, time, the cleaned body and the images. Steps through the list, shows the
// listing's own site page on request, stars it as a favourite, offers the ways to answer it
// (call, text, e-mail) and to share it (e-mail, text). Links tapped inside a listing open in the
// framework's web controller. Every listing shown counts one page view. Made from the interface
// "ItemViewController".
//
// The list hands its listings over before the view has loaded: outlet calls then reach nil and
// do nothing, and the render the view makes when it loads is not counted again.
#pragma once

#include "AdLoom/internal/AdLoomDelegate.h"
#include "Classes/RequestInFlight.h"
#include "Classes/ScreenSupport.h"
#include "Classes/ValidationViewController.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "MessageUI/MFMessageComposeViewController.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class EmailPage;
class ItemInfo;
class MobilizerPage;
class NSArray;
class NSManagedObjectContext;
class NSMutableArray;
class NSPredicate;
class UIBarButtonItem;
class UISegmentedControl;

class ItemViewController : public UIViewController,
                           public UIActionSheetDelegate,
                           public MFMailComposeViewControllerDelegate,
                           public BannerHost,
                           public MFMessageComposeViewControllerDelegate,
                           public UIWebViewDelegate,
                           public NKHTTPRequestDelegate,
                           public ValidationViewDelegate {
    NS_OBJECT(ItemViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    // The base initialiser, then the app delegate's store context.
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;

    void displayItems(NSArray* items, int32_t index);
    void displayCurrentItem();
    // A record of the list has its page (or its failure): the listing shown is drawn again with
    // it, without counting another page view.
    void itemUpdated(ItemInfo* item);
    // The listing's page; title, price, place and time are escaped, the body stays HTML.
    static Ref<NSString> formatItemDisplay(ItemInfo* item);
    // The body cut before the image script and cleaned; nil for nil.
    static Ref<NSString> transcoding(NSString* html);
    // The body without the site's table of hosted photos, when it has one.
    static Ref<NSString> withoutHostedImages(NSString* html);
    void updateSegmentedControl();
    void updateStarButton();
    void updateReplyButton();
    // YES when the text holds a table with a width or style (nil counts as rich).
    static bool isRichContent(NSString* html);

    // ---- favourites -----------------------------------------------------------------------
    bool isCurrentItemFavorite();
    void addCurrentItemToFavorite();
    void removeCurrentItemFromFavorite();
    void toggleCurrentItemFavorite();
    Ref<NSMutableArray> loadManagedObjects(NSString* entity, NSString* key, bool ascending,
                                           NSPredicate* predicate);

    // ---- actions --------------------------------------------------------------------------
    void replyButtonPressed(NSObject* sender);
    void starButtonPressed(NSObject* sender);
    void webButtonPressed(NSObject* sender);
    void shareButtonPressed(NSObject* sender);
    void segmentedControlAction(NSObject* sender);
    void replyByEmail();
    // Nothing while the code of an earlier answer is out: its answer opens the mail composer.
    // The address the captcha reveals belongs to the listing whose reply page was read here.
    void showReplyView();
    void shareWithEmail();
    // The app's page in the store, as shared listings name it.
    static Ref<NSString> storePageUrl();
    // The call address: "tel:" and the number's digits, with its leading "+"; nil when the
    // number holds no digit.
    static Ref<NSURL> callUrl(NSString* phoneNumber);

    void actionSheetDidDismissWithButtonIndex(UIActionSheet* sheet, NSInteger index) override;
    void mailComposeControllerDidFinishWithResult(MFMailComposeViewController* controller,
                                                  MFMailComposeResult result,
                                                  NSError* error) override;
    void messageComposeViewControllerDidFinishWithResult(MFMessageComposeViewController* controller,
                                                         MessageComposeResult result) override;

    // ---- the site's reply page: the captcha that reveals the poster's relay address ---------
    void validationSuccess(NSString* code) override;
    void validationCanceled() override {}
    void requestStarted(NKHTTPRequest*) override {}
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;
    Ref<EmailPage> emailPage() { return emailPage_; }
    // The captcha's code is out to the reply page.
    bool isRevealing() { return requests_.isOut(); }

    // ---- web view -------------------------------------------------------------------------
    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType type) override;
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;

    // ---- the mediation banner's delegate --------------------------------------------------
    Ref<NSString> adLoomApplicationKey() override;
    Ref<UIViewController> viewControllerForPresentingModalView() override;
    // The banner shows an ad: its holder makes room for it at the foot of the content.

    // ---- properties and outlets -----------------------------------------------------------
    Ref<UIWebView> webView() { return webView_; }
    void setWebView(UIWebView* v);
    Ref<UIBarButtonItem> replyButton() { return replyButton_; }
    void setReplyButton(UIBarButtonItem* v);
    Ref<UIBarButtonItem> starButton() { return starButton_; }
    void setStarButton(UIBarButtonItem* v);
    Ref<UIBarButtonItem> webButton() { return webButton_; }
    void setWebButton(UIBarButtonItem* v);
    Ref<UIBarButtonItem> shareButton() { return shareButton_; }
    void setShareButton(UIBarButtonItem* v);
    Ref<UIView> adsHolder() { return adsHolder_; }
    void setAdsHolder(UIView* v);
    Ref<NSArray> itemArray() { return itemArray_; }
    void setItemArray(NSArray* v);
    int32_t currentIndex() { return currentIndex_; }
    void setCurrentIndex(int32_t v) { currentIndex_ = v; }
    Ref<NSManagedObjectContext> managedObjectContext() { return managedObjectContext_; }
    void setManagedObjectContext(NSManagedObjectContext* v);
    // The listing shown; nil when the list has none at the index.
    Ref<ItemInfo> currentItem();
    bool rawWebView() { return rawWebView_; }
    Ref<UISegmentedControl> segmentedControl() { return segmentedControl_; }
    Ref<UIView> activityLabel() { return activityLabel_; }

    // ---- view life cycle ------------------------------------------------------------------
    void viewDidLoad() override;
    void viewDidUnload() override;
    void dealloc() override;

private:
    // Shows the current listing; counts a page view when asked.
    void render(bool countPageView);
    // The listing's own page on the site, in place of the formatted one.
    void showSitePage();
    void presentMessageComposer(NSString* body, NSArray* recipients);
    void requestBanner();
    // The listing is the one shown, on a screen in the window with nothing over it.
    bool isShowing(ItemInfo* item);

    Ref<UIWebView> webView_;
    UINetworkActivityHold pageLoading_;  // the indicator, while the page loads
    Ref<UIBarButtonItem> replyButton_;
    Ref<UIBarButtonItem> starButton_;
    Ref<UIBarButtonItem> webButton_;
    Ref<UIBarButtonItem> shareButton_;
    Ref<UISegmentedControl> segmentedControl_;
    Ref<NSArray> itemArray_;
    int32_t currentIndex_ = 0;
    bool rawWebView_ = false;
    Ref<NSManagedObjectContext> managedObjectContext_;
    Ref<MobilizerPage> mobPage_;
    Ref<UIView> activityLabel_;
    Ref<UIView> adsHolder_;
    Ref<EmailPage> emailPage_;
    RequestInFlight requests_;
    // The listing whose reply page the e-mail page read, until its captcha's answer is in: the
    // address revealed is that listing's, whichever the screen shows by then.
    Ref<ItemInfo> revealing_;
    // Set by a render made before the view loaded (it was counted then).
    bool renderedBeforeViewLoaded_ = false;
};
