// WSQ marker codes and their names.

#include "Markers.h"

#include <array>
#include <cstdio>

namespace qv::wsq {

std::string markerName(std::uint16_t code) {
    static constexpr std::array<const char*, 9> names = {"SOI", "EOI", "SOF", "SOB", "DTT",
                                                         "DQT", "DHT", "DRT", "COM"};
    if (code >= marker::SOI && code <= marker::COM) {
        return names[code - marker::SOI];
    }
    if (isRestartMarker(code)) {
        return "RST" + std::to_string(code - marker::RST0);
    }
    std::array<char, 8> hex{};
    std::snprintf(hex.data(), hex.size(), "%04X", static_cast<unsigned>(code));
    return std::string("marker ") + hex.data();
}

} // namespace qv::wsq
