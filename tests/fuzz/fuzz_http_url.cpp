// Splits arbitrary text as a service address, as the settings may hold any. A refusal must be
// the invalid-url error and may not show a password written into the text; an accepted address
// must have the parts the transport relies on and go on the wire without a blank.

#include "platform/Errors.h"
#include "service/CurlHandles.h"
#include "service/HttpUrl.h"

#include <string>

namespace {

// The password as libcurl reads it out of the text, when it reads one.
std::string passwordIn(const std::string& text) {
    qv::CurlUrlPtr url(curl_url());
    char* raw = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_ALLOW_SPACE) != 0 ||
        curl_url_get(url.get(), CURLUPART_PASSWORD, &raw, 0) != CURLUE_OK) {
        return {};
    }
    const qv::CurlStringPtr owned(raw);
    return owned.get();
}

// Whether a message shows `password` where it stood: between a colon and the "@" that ends
// the user information, before the path. The same text later in the path is not the password.
bool showsPassword(const std::string& message, const std::string& password) {
    if (password.empty() || password == "***") { // the mask itself
        return false;
    }
    const std::size_t at = message.find(":" + password + "@");
    const std::size_t colon = message.find(':');
    const std::size_t start =
        colon == std::string::npos ? 0 : message.find_first_not_of("/\\", colon + 1);
    const std::size_t pathStart =
        start == std::string::npos ? std::string::npos : message.find_first_of("/?#", start);
    return at != std::string::npos && (pathStart == std::string::npos || at < pathStart);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string password = text.find('\0') == std::string::npos ? passwordIn(text) : "";
    if (showsPassword(qv::DisplayedUrl(text), password)) {
        __builtin_trap();
    }
    try {
        const qv::HttpUrl url = qv::SplitHttpUrl(text);
        if (url.host.empty() || url.target.empty() || url.target.front() != '/' ||
            url.address.find(' ') != std::string::npos) {
            __builtin_trap();
        }
    } catch (const qv::GeneralError& error) {
        const std::string message = error.what();
        const std::size_t quoted = std::string("Invalid url '").size();
        if (message.rfind("Invalid url '", 0) != 0 ||
            showsPassword(message.substr(quoted), password)) {
            __builtin_trap();
        }
    }
    return 0;
}
