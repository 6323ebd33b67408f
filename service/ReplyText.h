// A SOAP reply's bytes turned into UTF-8 text, whatever encoding they declared.

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// A reply's bytes turned into UTF-8, whatever encoding they came in: the byte-order mark
// decides first (UTF-8, UTF-16, UTF-32 in either byte order), then the first bytes of a
// document without one (UTF-16 or UTF-32 starting with "<"), then the XML declaration's
// encoding: UTF-8 and US-ASCII, ISO-8859-1, ISO-8859-15 and windows-1252 are read; an 8-bit
// document that claims UTF-16 or UTF-32 is read as UTF-8, as the services that write such
// declarations mean it. Any other encoding, and UTF-16/32 that is not valid, raises
// EXmlParseError. The byte-order mark is dropped; line ends are kept as they came.
std::string replyAsUtf8(std::span<const std::uint8_t> bytes);

// The message of EXmlParseError: the reason, then CR LF, "Line: ", the line of `offset` in the
// UTF-8 text (lines end at CR LF, LF or a lone CR), CR LF and the first 40 characters of that
// line.
std::string xmlErrorMessage(const std::string& reason, std::string_view text, std::size_t offset);

} // namespace qv
