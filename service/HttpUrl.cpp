#include "service/HttpUrl.h"

#include "platform/Errors.h"
#include "service/CurlHandles.h"

#include <optional>

namespace qv {

namespace {

[[noreturn]] void failInvalidUrl(const std::string& text) {
    throw GeneralError("Invalid url '" + text + "' - only supports 'http' and 'https' schemes");
}

std::optional<std::string> urlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK) {
        return std::nullopt;
    }
    CurlStringPtr owned(raw);
    return std::string(owned.get());
}

} // namespace

HttpUrl SplitHttpUrl(const std::string& text) {
    EnsureCurlInitialised();
    CurlUrlPtr url(curl_url());
    if (!url) {
        throw GeneralError("Out of memory while reading the URL '" + text + "'");
    }
    // No scheme guessing: a bare host name or a plain word is not a service address. A NUL
    // would hide the rest of the text from the client.
    if (text.find('\0') != std::string::npos ||
        curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        failInvalidUrl(text);
    }
    const auto scheme = urlPart(url.get(), CURLUPART_SCHEME);
    const auto host = urlPart(url.get(), CURLUPART_HOST);
    const auto port = urlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || host->empty() || !port || (*scheme != "http" && *scheme != "https")) {
        failInvalidUrl(text);
    }

    HttpUrl parts;
    parts.scheme = *scheme == "https" ? HttpScheme::Https : HttpScheme::Http;
    parts.host = *host;
    parts.port = static_cast<std::uint16_t>(std::stoul(*port));
    parts.target = urlPart(url.get(), CURLUPART_PATH).value_or("/");
    if (const auto query = urlPart(url.get(), CURLUPART_QUERY)) {
        parts.target += "?" + *query;
    }
    return parts;
}

} // namespace qv
