// The catalog's table screens: every kind of framework table row (URLs of the four navigation
// modes, an editor row, a banner and a row menu), and a paged model screen on the catalog's
// items service with load more and pull-to-refresh.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class DZURLRequest;
class DZURLRequestModel;
class NSDictionary;
class NSString;
class UIViewController;

Ref<UIViewController> makeCatalogTablesScreen();

// What the catalog's paged models share: page `page` of a JSON service asked for with the cache
// policy (the page number rides in the request's user info), and the page's dictionary read
// from the finished request, or nil once the model has been told the page failed.
void sendCatalogPageRequest(NSString* url, DZURLRequestModel* model, int32_t policy, int page);
Ref<NSDictionary> readCatalogPage(DZURLRequest* request, DZURLRequestModel* model);
