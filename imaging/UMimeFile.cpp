// Base64 text of a whole memory stream, and back.

#include "imaging/UMimeFile.h"

#include "imaging/Base64Blocks.h"
#include "imaging/Base64Streams.h"

#include <cstdint>
#include <vector>

namespace qv {

bool StreamToBase64Text(MemoryStream& stream, std::string& text) {
    text.clear();
    stream.seek(0);
    MemoryStream encoded;
    // Sized once up front: growing the temporary chunk by chunk would copy it over and over.
    encoded.resize(Base64EncodedSize(stream.size()));
    Base64EncodeStream(stream, encoded);
    // The encoder writes no line breaks, so the text is at most one line.
    if (encoded.size() > 0) {
        text.reserve(encoded.size() + 2);
        text.assign(reinterpret_cast<const char*>(encoded.data()), encoded.size());
        text += "\r\n";
    }
    return true;
}

bool Base64TextToStream(std::string_view text, MemoryStream& stream) {
    // Line breaks need no handling of their own: the decoder skips them like any byte outside
    // the alphabet.
    const std::string_view content = text.substr(0, text.find('\0'));
    MemoryStream source(std::vector<std::uint8_t>(content.begin(), content.end()));
    stream.reserve(stream.position() + content.size() / 4 * 3 + 3);
    Base64DecodeStream(source, stream);
    return true;
}

} // namespace qv
