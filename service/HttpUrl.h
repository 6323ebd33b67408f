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
    // The address as it goes on the wire: blanks percent-encoded, backslashes read as slashes.
    std::string address;
    bool hasUserInfo = false; // credentials written into the address
};

// Splits an http or https URL, filling in the scheme's default port. Blanks in the path or
// query are accepted and sent as %20; a backslash before the query is read as a slash, as a
// browser does. A text with another scheme or none, a plain word included, raises "Invalid url
// '<text>' - only supports 'http' and 'https' schemes"; an http(s) text that still cannot be
// read as an address raises "Invalid url '<text>' - not a valid address: <reason>". Messages
// show the text through DisplayedUrl.
HttpUrl SplitHttpUrl(const std::string& text);

// The address as messages and logs may show it: a password written into it is replaced by
// "***", the user name and host are kept so that the reader can tell which server failed.
std::string DisplayedUrl(const std::string& text);

} // namespace qv
