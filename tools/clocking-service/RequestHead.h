// A request head judged from its bytes as they arrive, stricter than the HTTP library is.

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::clocking {

struct HeadLimits {
    // The whole head, request line and header lines; the HTTP library's buffer holds no more.
    std::size_t maxBytes = 64 * 1024;
    // The request target, path and query.
    std::size_t maxTarget = 8 * 1024;
    // Each query argument costs the library a record of a connection's memory; too many of
    // them leave it unable to answer at all.
    std::size_t maxArguments = 100;
};

struct HeadVerdict {
    enum class Kind { Incomplete, Complete, Refused };
    Kind kind = Kind::Incomplete;
    int status = 0; // when refused
    std::string reason;
};

// Judges the bytes received so far: a complete head (up to its blank line) that frames its
// body in one way only, with every line ended by CR LF and none folded; or what is wrong with
// it as soon as it shows; or that more is needed.
HeadVerdict judgeHead(std::string_view received, const HeadLimits& limits = {});

} // namespace qv::clocking
