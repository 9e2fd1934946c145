// The catalog's items service: GET http://catalog.services.test/items.json?page=N answers one
// page of 20 of the 45 items (title, subtitle, thumbnail URL), numbered from 1; the thumbnails
// are small PNGs at /thumbs/<n>.png. "set=empty" answers an empty set; "fault=<status>" answers
// that status, "fault=garbage" a body that is not JSON. Photo sets: GET /photos.json?set=S&page=N
// answers ten photos a page of the set "one" (1 photo), "ten" (10) or "many" (25; "unknown" is
// the same with the total -1), each with a caption, a size (every fourth 0 x 0, unknown) and the
// URLs of versions 1 (full), 3 (preview) and 4 (thumbnail) under /photos/<set>/<i>-<v>.png:
// square, 3:2 and portrait pictures.
#pragma once

#include <string>

#include "tools/services/Module.h"

namespace bnservices {

class CatalogModule : public Module {
public:
    static constexpr int kPageSize = 20;
    static constexpr int kItemCount = 45;

    std::vector<std::string> hosts() const override;
    HttpResponse handle(const HttpRequest& request) override;

    // The page's JSON document (pages past the end are empty).
    static std::string pageJson(int page, bool empty);
    static constexpr int kNameCount = 500;
    static constexpr int kMaxCompletions = 10;

    // The n-th name (0 .. kNameCount - 1).
    static std::string name(int n);
    // The completions' JSON document.
    static std::string namesJson(const std::string& prefix);
    // A square PNG of one colour per item.
    static std::string thumbnailPng(int item);

    static constexpr int kPhotoPageSize = 10;
    // The photo set's page as JSON; an unknown set has no photos.
    static std::string photosJson(const std::string& set, int page);
    // Photo i (from 1) of a set in a version, empty when there is no such photo.
    static std::string photoPng(const std::string& set, int photo, int version);
};

}  // namespace bnservices
