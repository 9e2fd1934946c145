// The base of every site page class, and the only place in the app that creates HTTP requests.
// The site has no programming interface, so the app reads and posts its ordinary HTML pages:
// a page object downloads (asynchronously or synchronously), posts forms (URL-encoded or
// multipart, with JPEG photos), hands back the page text and finds form inputs in it.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class NKHTTPRequest;
class NKHTTPRequestDelegate;
class NSArray;
class NSDictionary;
class NSURL;

class WebPage : public NSObject {
    NS_OBJECT(WebPage, NSObject)
    static void describeClass(RuntimeClass& c);

    // Adds the two fixed headers ("User-Agent", "Accept") every request to the site carries.
    void setupMetaInfo(NKHTTPRequest* request);

    // Starts an asynchronous GET; the listener becomes the request's delegate and hears the
    // request callbacks on the main thread. A previous request is let go, not cancelled.
    virtual void downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner);
    // The same GET, synchronously and without a delegate; getPage gives the text afterwards.
    void downloadPageSync(NSString* urlString);

    // Posts the dictionary's fields (in its own enumeration order).
    virtual void postData(NSDictionary* values, int format, NKHTTPRequestDelegate* listner,
                          NSString* urlString);
    // Posts an ordered list of pairs: name, value, name, value, ... A string value is a form
    // field; any other value is sent as a JPEG file named after the field. format is the
    // form request's post format (0 multipart, 1 URL-encoded). A nil listener posts
    // synchronously; a nil urlString posts to the page's current URL.
    void postDataArray(NSArray* pairs, int format, NKHTTPRequestDelegate* listner,
                       NSString* urlString);

    // The response text of the last request, taken once and kept; nil before any request.
    Ref<NSString> getPage();
    // The same text, under the name the reply and posting pages use after a post.
    Ref<NSString> getReply();

    // The value attribute of the first input with that name, or nil. Lines do not matter.
    Ref<NSString> getInputValue(NSString* name);
    // The name attribute of the first input whose tag holds the token (after the name, or
    // failing that before it), or nil.
    Ref<NSString> getInputKeyByToken(NSString* token);

    Ref<NKHTTPRequest> request();
    Ref<NSURL> url();
    // Replaces the cached text; for pages whose text comes from elsewhere (and for tests).
    void setWebpage(NSString* text);

    void dealloc() override;

protected:
    // Drops the cached text and lets the previous request go (without cancelling it).
    void resetForNewRequest();

    Ref<NKHTTPRequest> request_;
    Ref<NSURL> url_;
    Ref<NSString> webpage_;
};
