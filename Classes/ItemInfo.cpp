#include "Classes/ItemInfo.h"

#include "Classes/ItemPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
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
    // Keep both alive through the callbacks: the listener may drop the record or its page.
    Ref<ItemInfo> self(this);
    answered_ = request;
    int32_t status = request ? request->responseStatusCode() : 0;
    if (status >= 400) {
        // An error page is not the listing. One the site no longer has (gone, not found) ends
        // the wait as an expired page does; any other fault is a failed load, which the screen
        // offers to fetch again.
        if (status == 404 || status == 410)
            detail_ = ItemPage::expiredDetail();
        else
            loadFailed_ = true;
    } else if (Ref<ItemPage> page = itemPage_) {
        page->fillItemInfo(this);
    }
    if (auto listener = controller_.lock()) listener->itemUpdated(this);
}

void ItemInfo::requestFailed(NKHTTPRequest* request) {
    // The record keeps what the row gave it; only the wait is over.
    Ref<ItemInfo> self(this);
    answered_ = request;
    loadFailed_ = true;
    if (auto listener = controller_.lock()) listener->itemUpdated(this);
}

void ItemInfo::reloadPage() {
    if (!detailUrl_ || detail_) return;
    if (itemPage_) {
        // A download of ours still under way is the one to wait for: from its start until its
        // completion has run here, whatever its network thread has done meanwhile. One that was
        // stopped has no listener any more.
        auto request = itemPage_->request();
        if (request && request->delegate().get() == this && answered_.lock().get() != request.get())
            return;
    } else {
        itemPage_ = make<ItemPage>();
    }
    loadFailed_ = false;
    itemPage_->downloadPage(detailUrl_, this);
}

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
    answered_.reset();
    super::dealloc();
}

namespace {
ProcessWide<NSMutableDictionary>& revealedAddresses() {
    static ProcessWide<NSMutableDictionary> slot;
    return slot;
}
}  // namespace

Ref<NSString> ItemInfo::revealedAddress(NSString* replyLink) {
    auto known = revealedAddresses().peek();
    return known && replyLink ? as<NSString>(known->objectForKey(replyLink)) : nullptr;
}

void ItemInfo::keepRevealedAddress(NSString* replyLink, NSString* address) {
    if (replyLink && address) revealedAddresses().get()->setObject(address, replyLink);
}
