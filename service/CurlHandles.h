// RAII owners of libcurl handles and the one-time global initialisation.

#pragma once

#include <curl/curl.h>
#include <memory>

namespace qv {

// Owners for the libcurl objects the transport works with.

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrlPtr = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlStringPtr = std::unique_ptr<char, CurlStringDeleter>;

// libcurl's process-wide set-up; safe to call from any thread, does the work once.
void EnsureCurlInitialised();

} // namespace qv
