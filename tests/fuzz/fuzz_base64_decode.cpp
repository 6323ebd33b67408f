// Decodes arbitrary text and checks what must hold for any input: the chunked stream decoder
// agrees with a block decode split at an arbitrary place, never writes more than the alphabet
// characters allow, and re-encoding the bytes decodes back to them.

#include "imaging/Base64Blocks.h"
#include "imaging/UMimeFile.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::uint8_t> decodeSplit(std::span<const std::uint8_t> text, std::size_t split) {
    std::vector<std::uint8_t> out(text.size() / 4 * 3 + 6);
    qv::Base64DecodeState state;
    std::size_t written = qv::Base64DecodeBlock(text.first(split), out, state);
    written += qv::Base64DecodeBlock(text.subspan(split), std::span(out).subspan(written), state);
    written += qv::Base64DecodeFinish(std::span(out).subspan(written), state);
    out.resize(written);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qv::MemoryStream decoded;
    qv::Base64TextToStream(text, decoded);
    const std::vector<std::uint8_t> bytes(decoded.bytes().begin(), decoded.bytes().end());

    const std::string_view content = text.substr(0, text.find('\0'));
    const auto alphabet = static_cast<std::size_t>(std::ranges::count_if(content, [](char c) {
        return qv::kBase64DecodeTable[static_cast<unsigned char>(c)] != qv::kBase64Skip;
    }));
    check(bytes.size() == alphabet / 4 * 3 + (alphabet % 4 == 0 ? 0 : alphabet % 4 - 1));

    const std::span<const std::uint8_t> chars(data, content.size());
    check(decodeSplit(chars, size == 0 ? 0 : data[0] % (content.size() + 1)) == bytes);

    qv::MemoryStream again(bytes);
    std::string reencoded;
    qv::StreamToBase64Text(again, reencoded);
    qv::MemoryStream roundTrip;
    qv::Base64TextToStream(reencoded, roundTrip);
    check(std::ranges::equal(roundTrip.bytes(), bytes));
    return 0;
}
