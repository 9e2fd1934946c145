#include "Classes/ScreenSupport.h"

#include "AdLoom/internal/AdLoomView.h"
#include "Classes/MatchKit/MatchKit.h"
#include "Classes/Mobilizer.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSLocale.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIView.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "json/NSString+HTML.h"
#include "ui/style/DZActivityLabel.h"

NSString* const kAdLoomApplicationKey = NS("3f9a1c0be7d24a5c8e61b0f2d4a97c3e");

namespace {

// The site's times are English whatever the phone's language: reading them with the user's
// locale would fail on "AM"/"PM" and the zone names elsewhere.
Ref<NSDateFormatter> posixFormatter(NSString* format) {
    auto formatter = make<NSDateFormatter>();
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX")));
    formatter->setDateFormat(format);
    return formatter;
}

}  // namespace

bool isErrorPage(NKHTTPRequest* request) {
    return request && request->responseStatusCode() >= 400;
}

Ref<NSDate> parsePostingTime(NSString* time) {
    if (!time) return nullptr;
    auto trimmed =
        time->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceAndNewlineCharacterSet());
    return posixFormatter(NS("yyyy-MM-dd, hh:mma zzz"))->dateFromString(trimmed);
}

Ref<NSString> formatPostingDay(NSDate* date) {
    if (!date) return NS("");
    return posixFormatter(NS("MMM d"))->stringFromDate(date);
}

Ref<NSString> oneLineBody(NSString* detail) {
    if (!detail) return nullptr;
    auto text = stringByReplacingOccurrencesOfRegex(withoutScriptsAndStyles(detail).get(),
                                                    NS("<[^>]*>"), NS(" "));
    text = stringByDecodingHTMLEntities(text);
    text =
        text->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceAndNewlineCharacterSet());
    return stringByReplacingOccurrencesOfRegex(text, NS("[\r\n]+"), NS(" "));
}

Ref<UIView> makeActivityLabel(NSString* text, UIView* parent) {
    auto label = alloc<DZActivityLabel>();
    label->initWithStyle(DZActivityLabelStyleBlackBezel);
    label->setText(text);
    label->sizeToFit();
    CGFloat width = parent ? parent->frame().size.width : 320;
    label->setFrame(CGRectMake(0, 160, width, label->frame().size.height));
    label->setHidden(true);
    if (parent) parent->addSubview(label);
    return label;
}

void placeBanner(AdLoomDelegate* screen, UIView* holder) {
    if (!holder) return;
    auto banner = AdLoomView::requestAdLoomViewWithDelegate(screen);
    holder->addSubview(banner.get());
}

Ref<UIView> BannerHolder::hitTest(CGPoint point, UIEvent* event) {
    auto hit = UIView::hitTest(point, event);
    // The holder itself and a banner with no ad in it let the touch through.
    if (!hit || hit.get() == this || is<AdLoomView>(hit.get())) return nullptr;
    return hit;
}

namespace {
void setBottomInset(UIScrollView* list, CGFloat bottom) {
    UIEdgeInsets inset = list->contentInset();
    inset.bottom = bottom;
    list->setContentInset(inset);
    list->setScrollIndicatorInsets(inset);
}
}  // namespace

void BannerHolder::showAd() {
    // Solid behind the ad: an ad a little shorter than the strip shows no rows under it.
    setBackgroundColor(UIColor::whiteColor());
    auto list = list_.lock();
    if (!list || showsAd_) return;
    showsAd_ = true;
    bottomBeforeAd_ = list->contentInset().bottom;
    setBottomInset(list.get(), frame().size.height);
}

void BannerHolder::willRemoveSubview(UIView* subview) {
    UIView::willRemoveSubview(subview);
    if (!is<AdLoomView>(subview)) return;
    setBackgroundColor(nullptr);
    if (!showsAd_) return;
    showsAd_ = false;
    if (auto list = list_.lock()) setBottomInset(list.get(), bottomBeforeAd_);
}

void BannerHost::adLoomDidReceiveAd(AdLoomView* banner) {
    if (auto holder = as<BannerHolder>(banner ? banner->superview().get() : nullptr))
        holder->showAd();
}

void removeBanners(UIView* holder) {
    if (!holder) return;
    auto subviews = holder->subviews();
    for (NSUInteger i = 0; i < subviews->count(); ++i) {
        auto banner = as<AdLoomView>(subviews->objectAtIndex(i));
        if (!banner) continue;
        // Nothing the banner still has under way reaches the screen.
        banner->setDelegate(nullptr);
        banner->removeFromSuperview();
    }
}
