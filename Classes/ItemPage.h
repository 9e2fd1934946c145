// A listing's own page on the site: downloads it (usually with the listing's record listening)
// and scrapes the body, the posting time, the phone number, the reply address and the images.
// Like the result pages, a listing page still downloading stops when the Search screen comes
// back into view ("StopItemPageNotification").
#pragma once

#include "Classes/WebPage.h"

class ItemInfo;
class NSMutableArray;
class NSNotification;

class ItemPage : public WebPage {
    NS_OBJECT(ItemPage, WebPage)
    static void describeClass(RuntimeClass& c);

    // Observes "StopItemPageNotification" from any sender.
    void registerForNotification();
    void deregisterForNotification();
    // Stops the page: deregisters, detaches the listener from the request, cancels it.
    void receivedNotification(NSNotification* notification);

    // Register for the stop notification, then the base operations.
    void downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) override;
    void postData(NSDictionary* values, int format, NKHTTPRequestDelegate* listner,
                  NSString* urlString) override;

    // The body: the text between the body marker and the tag block, else the heading, else
    // "This posting has expired". Never nil.
    Ref<NSString> getDetail();
    // The body of a listing the site no longer has: "This posting has expired".
    static Ref<NSString> expiredDetail();
    // Everything after "Date:" up to the next tag, or nil.
    Ref<NSString> getTime();
    // The first phone number in the body and its tag block, or nil.
    Ref<NSString> getphoneNumber();
    // The "Reply to:" address, else the reply form's action on the page's own host (http), or
    // nil.
    Ref<NSString> getReplyUrl();
    // Empties urls, then appends the image URLs of the page's image script in page order.
    void getImages(NSMutableArray* urls);
    // Copies body, time, images (only when the record's showImage is set), reply address and
    // phone number into the record.
    void fillItemInfo(ItemInfo* item);

    // Nothing in the app calls these three.
    Ref<NSString> getLocation() { return nullptr; }
    Ref<NSString> getAdsId() { return nullptr; }
    Ref<NSString> getBodyImageUrl();

    // A form action as an http URL on the page's own host: a path is put on the host as it
    // stands, a full address is kept, any other relative form is resolved against the page.
    // Nil without an action or a page URL with a host.
    static Ref<NSString> actionUrlOnHost(NSURL* pageUrl, NSString* action);

    void dealloc() override;
};
