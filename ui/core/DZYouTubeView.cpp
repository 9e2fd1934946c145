#include "ui/core/DZYouTubeView.h"

#include "Foundation/NSString.h"
#include "json/NSString+HXHTMLAdditions.h"

namespace {
// The missing blanks before the two "wmode" attributes are as the player page has always been.
NSString* const kPage =
    NS("<html><head><meta name=\"viewport\" content=\"initial-scale=1.0, user-scalable=no, "
       "width=%0.0f\"/></head><body style=\"background:#fff;margin-top:0px;margin-left:0px\"><div>"
       "<object width=\"%0.0f\" height=\"%0.0f\"><param name=\"movie\" value=\"%@\"></param><param "
       "name=\"wmode\"value=\"transparent\"></param><embed id=\"yt\" src=\"%@\" "
       "type=\"application/x-shockwave-flash\"wmode=\"transparent\" width=\"%0.0f\" "
       "height=\"%0.0f\"></embed></object></div></body></html>");
}  // namespace

bool DZYouTubeView::initWithURLPath(NSString* urlPath) {
    if (!initWithFrame(CGRectMake(0, 0, 140, 105))) return false;
    setUrlPath(urlPath);
    return true;
}

void DZYouTubeView::setUrlPath(NSString* urlPath) {
    urlPath_ = urlPath ? urlPath->copy() : nullptr;
    if (!urlPath_) {
        loadHTMLString(NS("&nbsp;"), nullptr);
        return;
    }
    // The URL goes into attribute values: a quote or an ampersand in it must stay text.
    Ref<NSString> escaped = hx_stringByEscapingForHTML(urlPath_);
    CGSize size = frame().size;
    double w = size.width, h = size.height;
    loadHTMLString(NSString::stringWithFormat(kPage, w, w, h, escaped, escaped, w, h), nullptr);
}

void DZYouTubeView::layoutSubviews() {
    CGSize size = frame().size;
    stringByEvaluatingJavaScriptFromString(NSString::stringWithFormat(
        NS("yt.width = %0.0f; yt.height = %0.0f"), double(size.width), double(size.height)));
}
