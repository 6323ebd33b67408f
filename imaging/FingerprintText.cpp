// The fingerprint text both clock-in roads send: WSQ in Base64.

#include "imaging/FingerprintText.h"

#include "imaging/UMimeFile.h"
#include "imaging/WSQBlock.h"
#include "imaging/WSQUtil.h"
#include "platform/MemoryStream.h"

namespace qv {

std::string encodeFingerprint(const Bitmap& fingerprint) {
    // Declared in this order so that the stream is released before the block.
    WSQBlock block;
    MemoryStream stream;
    BitmapToWSQ(fingerprint, block.data(), block.size());
    stream.write(block.bytes());
    std::string text;
    StreamToBase64Text(stream, text);
    return text;
}

} // namespace qv
