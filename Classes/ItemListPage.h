// One page of search or browse results, read into ItemInfo records (title, link, price, place
// and category note of each row), and whether the site offers a further page.
//
// A page that is downloading stops when "StopItemPageNotification" is posted: it detaches its
// listener and cancels its request.
#pragma once

#include "WebPage.h"

class NSMutableArray;
class NSNotification;

extern NSString* const StopItemPageNotification;  // "StopItemPageNotification"

class ItemListPage : public WebPage {
    NS_OBJECT(ItemListPage, WebPage)
    static void describeClass(RuntimeClass& c);

    void registerForNotification();
    void deregisterForNotification();
    // Stops the page: deregisters, detaches the listener, cancels the request.
    void receivedNotification(NSNotification* notification);

    void downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) override;
    void postData(NSDictionary* values, int format, NKHTTPRequestDelegate* listner,
                  NSString* urlString) override;

    // The rows of the downloaded page as ItemInfo records, in page order; never nil.
    Ref<NSMutableArray> getItemList();
    // Whether the page links to a further page of results.
    bool hasMoreResults();

    void dealloc() override;
};
