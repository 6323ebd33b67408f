#pragma once

#include <cstdint>
#include <string>

namespace qv {

enum class HttpScheme { Http, Https };

// An endpoint split the way the transport needs it: the query stays with the request target.
struct HttpUrl {
    HttpScheme scheme = HttpScheme::Http;
    std::string host;
    std::uint16_t port = 0;
    std::string target;
};

// Splits an http or https URL, filling in the scheme's default port. Anything else, a plain
// word included, raises "Invalid url '<text>' - only supports 'http' and 'https' schemes".
HttpUrl SplitHttpUrl(const std::string& text);

} // namespace qv
