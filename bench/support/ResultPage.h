// The stand-in site's 100-row result page, made by the site's own generator and answered
// without sockets, for the benchmarks that read it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/site/Site.h"

inline const std::string& resultPageBytes() {
    static const std::string body = [] {
        bnsite::SiteOptions options;
        options.tls = false;
        bnsite::Site site(options);
        bnsite::HttpRequest request;
        request.host = "boston.bazaarnest.test";
        request.target = request.path = "/sss/";
        bnsite::HttpResponse response = site.handle(request);
        if (response.status != 200) {
            std::fprintf(stderr, "the site answered %d for the result page\n", response.status);
            std::abort();
        }
        return response.body;
    }();
    return body;
}
