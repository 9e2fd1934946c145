// Small HTML helpers shared by the site's pages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/HttpMessage.h"

namespace bnsite {

using namespace standin;

// escapeHtml comes from the stand-ins' shared part (HttpMessage.h).
// The entities the site itself writes (named ones of Latin-1, &amp; and numeric references) as
// UTF-8; others are left as they stand.
std::string decodeEntities(std::string_view html);
// Every tag replaced by a space.
std::string stripTags(std::string_view html);

// The site's error page: a heading and the reasons as a list of errors, each ending with a
// point, under the given status.
HttpResponse errorPage(int status, const std::vector<std::string>& reasons,
                       std::string_view title = "error");

// A complete page around a body.
std::string pageFrame(std::string_view title, std::string_view bodyClass, std::string_view body,
                      std::string_view lang = "en");

}  // namespace bnsite
