// The catalog's items service: GET http://catalog.services.test/items.json?page=N answers one
// page of 20 of the 45 items (title, subtitle, thumbnail URL), numbered from 1; the thumbnails
// are small PNGs at /thumbs/<n>.png. "set=empty" answers an empty set; "fault=<status>" answers
// that status, "fault=garbage" a body that is not JSON.
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
};

}  // namespace bnservices
