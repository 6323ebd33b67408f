#include "service/HttpUrl.h"

#include "platform/Errors.h"
#include "platform/TextCase.h"
#include "service/CurlHandles.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace qv {

namespace {

[[noreturn]] void failScheme(const std::string& text) {
    throw GeneralError("Invalid url '" + DisplayedUrl(text) +
                       "' - only supports 'http' and 'https' schemes");
}

[[noreturn]] void failUnreadable(const std::string& text, const std::string& reason) {
    // A NUL would end the message where it stands.
    std::string shown;
    for (const char c : DisplayedUrl(text)) {
        shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    }
    throw GeneralError("Invalid url '" + shown + "' - not a valid address: " + reason);
}

bool isSchemeCharacter(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

// The scheme of "scheme:rest", or nothing when the text does not start with one.
std::optional<std::string> schemeOf(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(text[i], i == 0)) {
            return std::nullopt;
        }
    }
    std::string scheme(text.substr(0, colon));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), lowerAscii);
    return scheme;
}

// Where the authority (user information, host, port) of "scheme://authority/path" starts and
// ends at the first of `terminators`; both npos when the text has no "//" after its scheme.
std::pair<std::size_t, std::size_t> authorityOf(std::string_view text,
                                                std::string_view terminators) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return {std::string_view::npos, std::string_view::npos};
    }
    std::size_t start = colon + 1;
    while (start < text.size() && start < colon + 3 &&
           (text[start] == '/' || text[start] == '\\')) {
        ++start;
    }
    if (start != colon + 3) {
        return {std::string_view::npos, std::string_view::npos};
    }
    return {start, std::min(text.find_first_of(terminators, start), text.size())};
}

// Backslashes before the query become slashes and blanks become %20, so that an address
// copied from a Windows path or with a blank in a folder name reaches the intended resource.
std::string wireForm(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t query = text.find_first_of("?#");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i < query) {
            out += '/';
        } else if (c == ' ') {
            out += "%20";
        } else {
            out += c;
        }
    }
    return out;
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

std::string DisplayedUrl(const std::string& text) {
    // Read as loosely as any client might: the user information ends at the last "@" before
    // the path, and starts after "scheme:" and its slashes, or at the very start when no slash
    // follows a scheme. A backslash does not end it here, so that a password stays hidden
    // however a reader splits the text.
    std::size_t start = 0;
    if (const auto colon = text.find(':'); schemeOf(text) && colon + 1 < text.size() &&
                                           (text[colon + 1] == '/' || text[colon + 1] == '\\')) {
        start = text.find_first_not_of("/\\", colon + 1);
    }
    if (start == std::string::npos) {
        return text;
    }
    const std::size_t end = std::min(text.find_first_of("/?#", start), text.size());
    const std::size_t at = text.rfind('@', end == 0 ? 0 : end - 1);
    if (at == std::string::npos || at < start) {
        return text;
    }
    const std::size_t colon = text.find(':', start);
    if (colon >= at) {
        return text;
    }
    return text.substr(0, colon + 1) + "***" + text.substr(at);
}

HttpUrl SplitHttpUrl(const std::string& text) {
    const auto scheme = schemeOf(text);
    if (!scheme || (*scheme != "http" && *scheme != "https")) {
        failScheme(text);
    }
    // A NUL would hide the rest of the text from the client.
    if (text.find('\0') != std::string::npos) {
        failUnreadable(text, "it holds a NUL character");
    }
    // A backslash ends the host as a slash would.
    const auto [authorityStart, authorityEnd] = authorityOf(text, "/?#\\");
    if (authorityStart == std::string::npos) {
        failUnreadable(text, "the host must follow \"" + *scheme + "://\"");
    }
    if (text.find(' ', authorityStart) < authorityEnd) {
        failUnreadable(text, "the host part holds a blank");
    }

    EnsureCurlInitialised();
    CurlUrlPtr url(curl_url());
    if (!url) {
        throw GeneralError("Out of memory while reading the URL '" + DisplayedUrl(text) + "'");
    }
    const std::string wire = wireForm(text);
    if (const CURLUcode code = curl_url_set(url.get(), CURLUPART_URL, wire.c_str(), 0);
        code != CURLUE_OK) {
        failUnreadable(text, curl_url_strerror(code));
    }
    const auto host = urlPart(url.get(), CURLUPART_HOST);
    const auto port = urlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    const auto address = urlPart(url.get(), CURLUPART_URL);
    if (!host || host->empty()) {
        failUnreadable(text, "it names no host");
    }
    if (!port || !address) {
        failUnreadable(text, "it names no port");
    }

    HttpUrl parts;
    parts.scheme = *scheme == "https" ? HttpScheme::Https : HttpScheme::Http;
    parts.host = *host;
    parts.port = static_cast<std::uint16_t>(std::stoul(*port));
    parts.target = urlPart(url.get(), CURLUPART_PATH).value_or("/");
    if (const auto query = urlPart(url.get(), CURLUPART_QUERY)) {
        parts.target += "?" + *query;
    }
    parts.address = *address;
    parts.hasUserInfo = urlPart(url.get(), CURLUPART_USER).has_value();
    return parts;
}

} // namespace qv
