// The reference client of the network benchmarks: libcurl's easy interface on one handle, so
// that its connection is kept between requests, sending the same User-Agent and Accept as the
// client it is compared with.
#pragma once

#include <curl/curl.h>

#include <string>

namespace benchnet {

class CurlClient {
public:
    CurlClient(const char* userAgent, const char* accept) {
        handle_ = curl_easy_init();
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &body_);
        curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, "gzip");
        curl_easy_setopt(handle_, CURLOPT_USERAGENT, userAgent);
        headers_ = curl_slist_append(nullptr, (std::string("Accept: ") + accept).c_str());
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers_);
    }
    ~CurlClient() {
        curl_easy_cleanup(handle_);
        curl_slist_free_all(headers_);
    }
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // The body's length, 0 on failure.
    size_t get(const std::string& url) {
        // A buffer of its own for every response, as the compared clients give each request.
        body_ = std::string();
        curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
        if (curl_easy_perform(handle_) != CURLE_OK) return 0;
        return body_.size();
    }

private:
    static size_t collect(char* data, size_t size, size_t count, void* out) {
        static_cast<std::string*>(out)->append(data, size * count);
        return size * count;
    }
    CURL* handle_ = nullptr;
    curl_slist* headers_ = nullptr;
    std::string body_;
};

}  // namespace benchnet
