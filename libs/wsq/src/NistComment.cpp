// The resolution recorded in a NIST comment.

#include "NistComment.h"

#include <charconv>

namespace qv::wsq {

std::optional<int> nistCommentPpi(std::string_view text) {
    if (!text.starts_with("NIST_COM")) {
        return std::nullopt;
    }
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        constexpr std::string_view key = "PPI ";
        if (line.starts_with(key)) {
            std::string_view number = line.substr(key.size());
            while (!number.empty() && number.back() == '\r') {
                number.remove_suffix(1);
            }
            int ppi = 0;
            const auto [rest, error] =
                std::from_chars(number.data(), number.data() + number.size(), ppi);
            if (error != std::errc() || rest != number.data() + number.size()) {
                return std::nullopt;
            }
            return ppi;
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return std::nullopt;
}

} // namespace qv::wsq
