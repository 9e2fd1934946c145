#include "Classes/ItemInfo.h"

#include "Classes/ItemPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

void ItemInfo::describeClass(RuntimeClass& c) {
    c.property("title", &ItemInfo::title, &ItemInfo::setTitle);
    c.property("time", &ItemInfo::time, &ItemInfo::setTime);
    c.property("detail", &ItemInfo::detail, &ItemInfo::setDetail);
    c.property("detailUrl", &ItemInfo::detailUrl, &ItemInfo::setDetailUrl);
    c.property("imageUrl", &ItemInfo::imageUrl, &ItemInfo::setImageUrl);
    c.property("bodyImageUrl", &ItemInfo::bodyImageUrl, &ItemInfo::setBodyImageUrl);
    c.property("location", &ItemInfo::location, &ItemInfo::setLocation);
    c.property("price", &ItemInfo::price, &ItemInfo::setPrice);
    c.property("phoneNumber", &ItemInfo::phoneNumber, &ItemInfo::setPhoneNumber);
    c.property("email", &ItemInfo::email, &ItemInfo::setEmail);
    c.property("extraInfo", &ItemInfo::extraInfo, &ItemInfo::setExtraInfo);
    c.property("adsId", &ItemInfo::adsId, &ItemInfo::setAdsId);
    c.property("replyUrl", &ItemInfo::replyUrl, &ItemInfo::setReplyUrl);
    c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:"});
}

Ref<ItemPage> ItemInfo::itemPage() {
    return itemPage_;
}

void ItemInfo::setItemPage(ItemPage* v) {
    itemPage_ = v;
}

void ItemInfo::requestStarted(NKHTTPRequest*) {}

void ItemInfo::requestReceivedResponseHeaders(NKHTTPRequest*) {}

void ItemInfo::requestFinished(NKHTTPRequest* request) {
    // The site's error pages (a listing it cannot find, a server fault) are not the listing:
    // like a failed download they leave the record as the row made it.
    if (request && request->responseStatusCode() >= 400) return;
    // Keep both alive through the callbacks: the listener may drop the record or its page.
    Ref<ItemInfo> self(this);
    if (Ref<ItemPage> page = itemPage_) page->fillItemInfo(this);
    if (auto listener = controller_.lock()) listener->itemUpdated(this);
}

void ItemInfo::requestFailed(NKHTTPRequest*) {}

void ItemInfo::dealloc() {
    title_ = nullptr;
    time_ = nullptr;
    detail_ = nullptr;
    detailUrl_ = nullptr;
    imageUrl_ = nullptr;
    bodyImageUrl_ = nullptr;
    location_ = nullptr;
    price_ = nullptr;
    phoneNumber_ = nullptr;
    email_ = nullptr;
    extraInfo_ = nullptr;
    adsId_ = nullptr;
    replyUrl_ = nullptr;
    itemPage_ = nullptr;
    controller_.reset();
    super::dealloc();
}
