// Base64 text of a whole memory stream, and back.

#pragma once

#include "platform/MemoryStream.h"

#include <string>
#include <string_view>

namespace qv {

// The whole content of the stream, from its start whatever its position, as one line of
// Base64 followed by CR LF; an empty stream gives the empty text. The stream's position is
// left at its end. Failures are raised; the result is always true.
bool StreamToBase64Text(MemoryStream& stream, std::string& text);

// Decodes the text up to its first NUL, skipping everything outside the alphabet, and writes
// the bytes at the stream's position, which is left after them (not rewound). Failures are
// raised; the result is always true.
bool Base64TextToStream(std::string_view text, MemoryStream& stream);

} // namespace qv
