// The HTML page of the latest clock-ins.

#pragma once

#include "tools/clocking-service/Ledger.h"

#include <string>
#include <string_view>
#include <vector>

namespace qv::clocking {

// Text made safe for HTML content and quoted attribute values.
std::string htmlEscape(std::string_view text);

// The page of the latest clock-ins, newest first, which reloads itself. Pictures are linked
// as /entries/<n>/print.jpg and /entries/<n>/photo.jpg, with ?token=<token> when there is one.
// Texts from callers are escaped and shortened.
std::string renderLedgerPage(const std::vector<LedgerLine>& lines, const std::string& token = {});

} // namespace qv::clocking
