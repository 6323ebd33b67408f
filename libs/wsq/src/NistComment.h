// The resolution recorded in a NIST comment.

#pragma once

#include <optional>
#include <string_view>

namespace qv::wsq {

// The resolution recorded in a "NIST_COM" comment (its "PPI value" line), if the text is
// such a comment and the line holds a number.
std::optional<int> nistCommentPpi(std::string_view text);

} // namespace qv::wsq
