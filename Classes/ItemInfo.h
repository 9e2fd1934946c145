// One listing as the app knows it: a result row gives its title, link, price, place and
// category note; the listing's own page (fetched by its ItemPage, with the record listening)
// adds the body, time, images, phone number and reply address. The favourites store keeps and
// rebuilds records.
#pragma once

#include "Classes/ItemPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSObject.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class ItemInfo;
class NKHTTPRequest;
class NSMutableArray;
class NSString;

// What a record tells the screen that lists it once its listing page has been scraped. The
// result list screen implements it.
class ItemInfoListener {
public:
    virtual ~ItemInfoListener() = default;
    virtual void itemUpdated(ItemInfo* item) = 0;
};

class ItemInfo : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(ItemInfo, NSObject)
    static void describeClass(RuntimeClass& c);

    // The title, entities decoded and any personals code removed.
    Ref<NSString> title() { return title_; }
    void setTitle(NSString* v) { title_ = v; }
    // The posting time as the listing page writes it after "Date:".
    Ref<NSString> time() { return time_; }
    void setTime(NSString* v) { time_ = v; }
    // The body as HTML.
    Ref<NSString> detail() { return detail_; }
    void setDetail(NSString* v) { detail_ = v; }
    // The listing page's URL; the key of a favourite.
    Ref<NSString> detailUrl() { return detailUrl_; }
    void setDetailUrl(NSString* v) { detailUrl_ = v; }
    // The image URLs in page order.
    Ref<NSMutableArray> imageUrl() { return imageUrl_; }
    void setImageUrl(NSMutableArray* v) { imageUrl_ = v; }
    // One image URL, the thumbnail when imageUrl is empty (carried by favourites only).
    Ref<NSString> bodyImageUrl() { return bodyImageUrl_; }
    void setBodyImageUrl(NSString* v) { bodyImageUrl_ = v; }
    Ref<NSString> location() { return location_; }
    void setLocation(NSString* v) { location_ = v; }
    // The dollar amount of the row, or the personals code.
    Ref<NSString> price() { return price_; }
    void setPrice(NSString* v) { price_ = v; }
    // The first phone number in the body.
    Ref<NSString> phoneNumber() { return phoneNumber_; }
    void setPhoneNumber(NSString* v) { phoneNumber_ = v; }
    Ref<NSString> email() { return email_; }
    void setEmail(NSString* v) { email_ = v; }
    // The row's small category note.
    Ref<NSString> extraInfo() { return extraInfo_; }
    void setExtraInfo(NSString* v) { extraInfo_ = v; }
    Ref<NSString> adsId() { return adsId_; }
    void setAdsId(NSString* v) { adsId_ = v; }
    // An e-mail address, or the URL of the site's reply page.
    Ref<NSString> replyUrl() { return replyUrl_; }
    void setReplyUrl(NSString* v) { replyUrl_ = v; }
    // The poster's address a reply page's captcha revealed, kept by that page's link for the
    // rest of the session: the listing opened again from any list writes to it. Nil if none.
    static Ref<NSString> revealedAddress(NSString* replyLink);
    static void keepRevealedAddress(NSString* replyLink, NSString* address);
    // The page object that fetches this listing's page.
    Ref<ItemPage> itemPage();
    void setItemPage(ItemPage* v);
    // The screen told when the record is complete. Not retained: the screen owns its records,
    // so holding it back would keep both alive.
    Ref<ItemInfoListener> controller() { return controller_.lock(); }
    void setController(ItemInfoListener* v) { controller_ = v; }
    // Whether the listing page's images are collected; no accessor in the original record, kept
    // as a plain flag set by the result list.
    bool showImage = false;

    // Whether the last download of the listing page failed or came back as a fault of the
    // site's: the screens then offer to fetch it again rather than wait.
    bool loadFailed() { return loadFailed_; }
    // Fetches the listing page again for a record still without its body (after a failure, or
    // a download that was stopped); nothing while its own download is under way.
    void reloadPage();

    // The request callbacks of the record's own listing-page download. A listing page fills
    // the record; a page the site no longer has gives the expired body; a failure or another
    // error page leaves the row's fields and marks the load failed. The screen is told of each.
    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest* request) override;
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    void dealloc() override;

private:
    Ref<NSString> title_;
    Ref<NSString> time_;
    Ref<NSString> detail_;
    Ref<NSString> detailUrl_;
    Ref<NSMutableArray> imageUrl_;
    Ref<NSString> bodyImageUrl_;
    Ref<NSString> location_;
    Ref<NSString> price_;
    Ref<NSString> phoneNumber_;
    Ref<NSString> email_;
    Ref<NSString> extraInfo_;
    Ref<NSString> adsId_;
    Ref<NSString> replyUrl_;
    Ref<ItemPage> itemPage_;
    Weak<ItemInfoListener> controller_;
    // The download whose completion has run here, on the main thread. A request marks itself
    // finished on its network thread before that: until its completion has come, a download
    // is still under way for the record.
    Weak<NKHTTPRequest> answered_;
    bool loadFailed_ = false;
};
