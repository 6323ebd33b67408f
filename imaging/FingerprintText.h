// The fingerprint text both clock-in roads send: WSQ in Base64.

#pragma once

#include "imaging/Bitmap.h"

#include <string>

namespace qv {

// What both clock-in roads send as the fingerprint: the 8-bit bitmap compressed to WSQ by the
// bound compression library and encoded as Base64 text ending in CR LF. Empty when nothing was
// compressed (a bitmap without pixels). The WSQ block goes back to the library before this
// returns, also when encoding fails.
std::string encodeFingerprint(const Bitmap& fingerprint);

} // namespace qv
