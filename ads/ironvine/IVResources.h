// Images and page texts compiled into the ad engine: the ad browser's arrow buttons and the page
// that shows an embedded video.
#pragma once

#include "Foundation/NSObject.h"

class NSString;
class UIImage;

class IVResources : public NSObject {
    NS_OBJECT(IVResources, NSObject)
    static Ref<NSString> youtubeTemplateHTML();
    // 12 x 16 palette PNGs, a new image on every call: a white arrow edged dark, the disabled
    // one pale grey with a fainter edge.
    static Ref<UIImage> backButton();
    static Ref<UIImage> backButtonDisabled();
    static Ref<UIImage> forwardButton();
    static Ref<UIImage> forwardButtonDisabled();
};
