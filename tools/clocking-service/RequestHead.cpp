// A request head judged from its bytes as they arrive, stricter than the HTTP library is.

#include "tools/clocking-service/RequestHead.h"

#include "platform/TextCase.h"

#include <algorithm>

namespace qv::clocking {

namespace {

HeadVerdict refused(int status, std::string reason) {
    return {HeadVerdict::Kind::Refused, status, std::move(reason)};
}

// The request line: its target within the limits.
HeadVerdict judgeRequestLine(std::string_view line, const HeadLimits& limits) {
    const std::size_t start = line.find(' ');
    const std::size_t end = line.rfind(' ');
    if (start == std::string_view::npos || end == start) {
        return refused(400, "The request line is not \"METHOD target HTTP/1.1\"");
    }
    const std::string_view target = line.substr(start + 1, end - start - 1);
    if (target.size() > limits.maxTarget) {
        return refused(414, "The request target is longer than " +
                                std::to_string(limits.maxTarget) + " bytes");
    }
    const std::size_t query = target.find('?');
    const std::size_t arguments =
        query == std::string_view::npos
            ? 0
            : 1 + static_cast<std::size_t>(
                      std::count(target.begin() + static_cast<long>(query), target.end(), '&'));
    if (arguments > limits.maxArguments) {
        return refused(414, "The query has " + std::to_string(arguments) +
                                " arguments; this service takes at most " +
                                std::to_string(limits.maxArguments));
    }
    return {};
}

} // namespace

HeadVerdict judgeHead(std::string_view received, const HeadLimits& limits) {
    int lengths = 0;
    int codings = 0;
    for (std::size_t at = 0, line = 0;; ++line) {
        const std::size_t end = received.find_first_of("\r\n", at);
        if (end == std::string_view::npos) {
            if (line == 0 && received.size() > limits.maxTarget + 32) {
                return refused(414, "The request target is longer than " +
                                        std::to_string(limits.maxTarget) + " bytes");
            }
            break;
        }
        if (received[end] == '\n' || (end + 1 < received.size() && received[end + 1] != '\n')) {
            return refused(400, "A line of the request head ends without CR LF");
        }
        if (end + 1 == received.size()) {
            break; // CR, and LF yet to come
        }
        const std::string_view text = received.substr(at, end - at);
        at = end + 2;
        if (line == 0) {
            if (HeadVerdict verdict = judgeRequestLine(text, limits);
                verdict.kind == HeadVerdict::Kind::Refused) {
                return verdict;
            }
            continue;
        }
        if (text.empty()) {
            return {HeadVerdict::Kind::Complete, 0, {}};
        }
        if (text.front() == ' ' || text.front() == '\t') {
            return refused(400,
                           "A header line is folded onto the one before, which is not allowed");
        }
        const std::string_view name = text.substr(0, text.find(':'));
        lengths += equalsIgnoringCase(name, "Content-Length") ? 1 : 0;
        codings += equalsIgnoringCase(name, "Transfer-Encoding") ? 1 : 0;
        if (lengths > 1 || codings > 1) {
            return refused(400, "The request gives " + std::string(name) +
                                    " more than once; where its body ends is open to doubt");
        }
    }
    if (received.size() >= limits.maxBytes) {
        return refused(431, "The request head is larger than " + std::to_string(limits.maxBytes) +
                                " bytes");
    }
    return {};
}

} // namespace qv::clocking
