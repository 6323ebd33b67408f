// The state of one HTTP call as libcurl's callbacks see it, and the callbacks themselves.

#include "service/HttpExchange.h"

#include "platform/TextCase.h"
#include "platform/TextTrim.h"

#include <charconv>
#include <string_view>

namespace qv {

namespace {

// "HTTP/1.1 404 Not Found" gives 404 and "Not Found"; a missing reason phrase gives "".
void readStatusLine(std::string_view line, long& status, std::string& reason) {
    status = 0;
    reason.clear();
    const auto codeStart = line.find(' ');
    if (codeStart == std::string_view::npos) {
        return;
    }
    const auto rest = line.substr(codeStart + 1);
    std::from_chars(rest.data(), rest.data() + rest.size(), status);
    const auto reasonStart = rest.find(' ');
    if (reasonStart != std::string_view::npos) {
        reason = rest.substr(reasonStart + 1);
    }
}

} // namespace

bool HttpExchange::acceptHeaders() {

    if (status == 303) {
        seeOther = true; // the service wants a GET elsewhere, which carries no SOAP call
        return false;
    }
    if (!isErrorStatus(status) || isRedirect(status)) {
        return true;
    }
    // libcurl answers the first challenge itself when it has credentials to offer.
    if ((status == 401 && haveCredentials && challenges++ == 0) ||
        (status == 407 && proxyChallenges++ == 0)) {
        return true;
    }
    refusedStatus = true; // an error page is of no use, however slowly it comes
    return false;
}

std::size_t HttpExchange::onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<HttpExchange*>(user);
    const std::string_view line = trimmed(std::string_view(data, size * count), isLineBreak);
    try {
        // Every response of the exchange (a "100 Continue", a redirect, the final answer)
        // starts with its own status line; the last one wins.
        if (line.starts_with("HTTP/")) {
            readStatusLine(line, exchange.status, exchange.reason);
            exchange.location.clear();
        } else if (line.empty()) {
            return exchange.acceptHeaders() ? size * count : 0;
        } else if (line.size() > 9 && equalsIgnoringCase(line.substr(0, 9), "location:")) {
            exchange.location = trimmed(line.substr(9), isSpaceOrTab);
        }
    } catch (...) {
        exchange.callbackFailure = std::current_exception();
        return 0;
    }
    return size * count;
}

int HttpExchange::onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                             curl_off_t uploaded) {
    auto& exchange = *static_cast<HttpExchange*>(user);
    const auto now = exchange.clock();
    if (now - exchange.started >= exchange.deadline) {
        exchange.overdue = true;
        return 1;
    }
    if (!exchange.transferring) {
        curl_off_t pretransfer = 0;
        curl_easy_getinfo(exchange.handle, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        if (pretransfer == 0) {
            return 0;
        }
        exchange.transferring = true;
        exchange.lastMovement = now;
    }
    const curl_off_t moved = downloaded + uploaded;
    if (moved != exchange.movedSoFar) {
        exchange.movedSoFar = moved;
        exchange.lastMovement = now;
    } else if (now - exchange.lastMovement >= exchange.stallTimeout) {
        exchange.stalled = true;
        return 1;
    }
    return 0;
}

std::size_t HttpExchange::onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<HttpExchange*>(user);
    const std::size_t length = size * count;
    if (isRedirect(exchange.status)) {
        return length; // the body of a redirect that curl is about to follow
    }
    if (isErrorStatus(exchange.status)) {
        exchange.refusedStatus = true;
        return 0;
    }
    if (length > exchange.maxReplyBytes - exchange.received) {
        exchange.replyTooLarge = true;
        return 0;
    }
    try {
        exchange.response.write({reinterpret_cast<const std::uint8_t*>(data), length});
    } catch (...) {
        exchange.callbackFailure = std::current_exception();
        return 0;
    }
    exchange.received += length;
    return length;
}

} // namespace qv
