// A page of the outside page-simplifying service: asks it for a plain copy of a page and turns
// the service's image placeholders back into images.
#pragma once

#include "Classes/WebPage.h"

class MobilizerPage : public WebPage {
    NS_OBJECT(MobilizerPage, WebPage)

    // The service's URL for the page, with the page's URL inserted as it stands.
    static Ref<NSString> serviceUrl(NSString* pageUrl);

    // Downloads the service's copy of the page instead of the page itself.
    void downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) override;
    // The simplified text with every "[Image]" placeholder link replaced by its image.
    Ref<NSString> getContent();
};
