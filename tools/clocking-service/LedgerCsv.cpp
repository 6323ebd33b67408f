// The ledger as CSV (RFC 4180) for a spreadsheet.

#include "tools/clocking-service/LedgerCsv.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/Commands.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"

#include <chrono>
#include <ctime>
#include <ostream>

namespace qv::clocking {

namespace {

// Line breaks are kept (quoted, as RFC 4180 allows); every other control character and
// every byte that is not UTF-8 becomes "?".
std::string cleanKeepingLines(std::string_view text) {
    std::string kept;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find_first_of("\r\n", start);
        kept += cleanText(text.substr(start, end - start), text.size());
        if (end == std::string_view::npos) {
            return kept;
        }
        kept += text[end];
        start = end + 1;
    }
}

// A leading = + - @ would be read as a formula by spreadsheets, also after a tab or a line
// break they skip, and after a comma or semicolon where a spreadsheet splits on it.
bool mayReadAsFormula(std::string_view text) {
    constexpr std::string_view starts = "=+-@\t\r\n";
    if (!text.empty() && starts.find(text.front()) != std::string_view::npos) {
        return true;
    }
    for (std::size_t at = text.find_first_of(",;"); at != std::string_view::npos;
         at = text.find_first_of(",;", at + 1)) {
        const std::size_t next = text.find_first_not_of(' ', at + 1);
        if (next != std::string_view::npos && starts.find(text[next]) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::string field(std::string_view raw) {
    const std::string text = cleanKeepingLines(raw);
    // A quote mark keeps a would-be formula text; quoting keeps a spreadsheet from splitting it.
    const bool formula = mayReadAsFormula(text);
    if (!formula && text.find_first_of(",;\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = formula ? "\"'" : "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string number(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : "";
}

} // namespace

std::string localMidnight(const std::string& date, int daysLater) {
    std::tm parts{};
    int year = 0;
    int month = 0;
    int day = 0;
    char rest = 0;
    if (date.size() != 10 ||
        std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) != 3 ||
        !std::chrono::year_month_day(std::chrono::year(year),
                                     std::chrono::month(static_cast<unsigned>(month)),
                                     std::chrono::day(static_cast<unsigned>(day)))
             .ok()) {
        throw UsageError("'" + date + "' is not a date (YYYY-MM-DD)");
    }
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day + daysLater;
    parts.tm_isdst = -1;
    return utcTimestamp(std::chrono::system_clock::from_time_t(std::mktime(&parts)));
}

void printLedgerCsv(Database& db, const std::string& from, const std::string& to,
                    std::ostream& out) {
    out << "entry,local_time,app_id,mode,staff_id,staff_name,print_width,print_height,"
           "puntaje,resultado,fault,peer\r\n";
    forEachEntryBetween(db, from, to, [&](const LedgerEntry& e) {
        out << e.entry << ','
            << field(localTime(parseUtcTimestamp(e.receivedAt), "%Y-%m-%d %H:%M:%S %z")) << ','
            << field(e.appId.value_or("")) << ',' << field(e.mode.value_or("")) << ','
            << field(e.staffId.value_or("")) << ',' << field(e.staffName.value_or("")) << ','
            << number(e.printWidth) << ',' << number(e.printHeight) << ',' << number(e.puntaje)
            << ',' << field(e.resultado.value_or("")) << ',' << field(e.fault.value_or("")) << ','
            << field(e.peer) << "\r\n";
    });
}

} // namespace qv::clocking
