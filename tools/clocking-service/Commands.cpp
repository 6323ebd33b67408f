// The development service's commands (enroll, staff, ledger, export-print, serve).

#include "tools/clocking-service/Commands.h"

#include "imaging/PgmFile.h"
#include "platform/Files.h"
#include "qv/Version.h"
#include "tools/clocking-service/Database.h"
#include "tools/clocking-service/Jpeg.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/LedgerCsv.h"
#include "tools/clocking-service/LedgerTable.h"
#include "tools/clocking-service/Photograph.h"
#include "tools/clocking-service/Portrait.h"
#include "tools/clocking-service/Serve.h"
#include "tools/clocking-service/ServiceCommandLine.h"
#include "tools/clocking-service/Staff.h"
#include "tools/wsq/ImageFiles.h"
#include "wsq/Wsq.h"

#include <cstdlib>
#include <map>
#include <ostream>

namespace qv::clocking {

namespace {

namespace fs = std::filesystem;

constexpr int kDefaultLedgerLimit = 20;

const char* const kOverview = R"(Usage: clocking-service [--db FILE] COMMAND [ARGUMENTS]

A development clocking service for the Quorvantis station: it answers the SOAP 1.1
operation Fichar, keeps staff and a ledger of every request in SQLite and shows the latest
clock-ins on a web page. It is NOT the operator's production service: it does not compare
fingerprints, it only records them (every answer's puntaje is 0).

Commands:
  serve [--listen HOST:PORT] [--body-memory MIB]
                                  answer Fichar (default 127.0.0.1:21796)
  enroll ID NAME [--photo FILE]   add or update a member of staff
  staff [remove ID]               list the staff, or remove a member
  ledger [--limit N]              the latest requests, newest first
  ledger --csv [--from DATE] [--to DATE]
                                  the ledger as CSV for a spreadsheet
  export-print ENTRY OUT          write a received print as .wsq, .pgm or .bmp

  --db FILE     the database (default: $XDG_DATA_HOME/quorvantis/clocking-service.db,
                or ~/.local/share/quorvantis/clocking-service.db)
  --help        this text; COMMAND --help explains one command
  --version     the version

Exit status: 0 done; 1 failed (the reason on standard error); 2 wrong command line.
)";

const std::map<std::string, std::string> kCommandHelp{
    {"serve", R"(Usage: clocking-service [--db FILE] serve [--listen HOST:PORT] [--body-memory MIB]

Answers Fichar (SOAP 1.1, document/literal) on POST to any path ending in
QuorvantisService.asmx, serves its WSDL at that path with ?WSDL, and the page of the latest
clock-ins at /. It listens on 127.0.0.1:21796 (loopback only) unless --listen names another
address; port 0 takes a free port. Every request, refused ones included, is committed to
the ledger (synchronously on disk) before the answer is sent. It prints one line per
request: local time, caller, method, path, status, and for Fichar the identifier and the
answer or fault. On an address that is not loopback the page and its pictures need the
token it prints (as ?token= or an X-Clocking-Token header); on loopback it answers only
requests naming a loopback host.

Limits: a connection's first request head must be whole within 3 s and fit in 64 KiB, with
every line ended by CR LF, none folded, its target within 8 KiB and 100 query arguments, and
one Content-Length or Transfer-Encoding at most; bodies must give their length (or come in
chunks), and those over 16 MiB are refused; the bodies held at once take at most
--body-memory MiB (256 unless given), and a request whose body does not fit is answered 503
with Retry-After; a connection silent for 10 s is closed, and none stays open longer than
30 s; at most 16 connections from one address are open at once (256 in all, and only 2 per
address once 224 are open), more are closed as they arrive; identifiers (AppId) over 128
bytes, holding control, bidirectional or invisible characters, or not strict UTF-8 are
refused; a POST whose Origin is not this service is refused (403) and not recorded; a refused
print is described (size, first bytes), not kept; past 200 refusals from one address in an
hour, the rest of that hour are summarised in one row. Refused connections are logged, at
most 5 lines every 10 s.
Ctrl+C or SIGTERM stops it after the requests under way are answered.
)"},
    {"enroll", R"(Usage: clocking-service [--db FILE] enroll ID NAME [--photo FILE.jpg]

Adds a member of staff, or replaces the name and photograph of an existing one. The ID is
stored without leading and trailing blanks, as requests are matched. Without --photo a plain
drawn placeholder portrait is stored. The photograph must be a whole JPEG file of at most
5 MiB and 50 million pixels; one larger than 480 pixels a side is stored scaled down to fit.
)"},
    {"staff", R"(Usage: clocking-service [--db FILE] staff [remove ID]

Lists the staff: identifier, name, whether there is a photograph, and when enrolled.
"staff remove ID" removes a member; the ledger keeps their entries, with the name and
photograph they were answered with.
)"},
    {"ledger", R"(Usage: clocking-service [--db FILE] ledger [--limit N]
       clocking-service [--db FILE] ledger --csv [--from DATE] [--to DATE]

Shows the latest N requests (default 20), newest first: entry number, local time, identifier
as sent, mode, print size, answer or fault, and the caller's address.

With --csv, writes the entries received from DATE to DATE (local dates, YYYY-MM-DD, both
days included; either bound may be left out) as CSV (RFC 4180), oldest first, for a
spreadsheet. Times are local with their UTC offset.
)"},
    {"export-print", R"(Usage: clocking-service [--db FILE] export-print ENTRY OUT.(wsq|pgm|bmp)

Writes the print received with ledger entry ENTRY: .wsq as received, .pgm or .bmp decoded.
)"},
};

fs::path defaultDatabase() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    fs::path base = dataHome && *dataHome ? fs::path(dataHome)
                    : home && *home       ? fs::path(home) / ".local" / "share"
                                          : fs::current_path();
    return base / "quorvantis" / "clocking-service.db";
}

fs::path databasePath(const CommandLine& line) {
    if (const auto given = line.option("--db")) {
        return *given;
    }
    const fs::path file = defaultDatabase();
    // The folder holds names, photographs and prints: its owner's alone.
    fs::create_directories(file.parent_path());
    fs::permissions(file.parent_path(), fs::perms::owner_all, fs::perm_options::replace);
    return file;
}

std::int64_t positiveNumber(const std::string& text, const std::string& what) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos ||
        std::stoll(text) == 0) {
        throw UsageError(what + " must be a positive whole number, not '" + text + "'");
    }
    return std::stoll(text);
}

std::vector<std::uint8_t> readPhoto(const fs::path& file) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error) {
        throw std::runtime_error("cannot read the photograph " + file.string() + ": " +
                                 error.message());
    }
    if (size > kMaxPhotoFileBytes) {
        throw std::runtime_error("the photograph " + file.string() + " is larger than 5 MiB");
    }
    try {
        return storedPhotograph(readFileBytes(file));
    } catch (const JpegError& refused) {
        throw std::runtime_error("the photograph " + file.string() +
                                 " cannot be used: " + refused.what());
    }
}

void enrollCommand(const CommandLine& line, std::ostream& out) {
    expectArguments(line, 2, {"--photo"});
    const std::string id = trimBlanks(line.words[0]);
    if (id.empty()) {
        throw UsageError("the identifier may not be empty or blank");
    }
    if (trimBlanks(line.words[1]).empty()) {
        throw UsageError("the name may not be empty or blank");
    }
    const auto photoFile = line.option("--photo");
    StaffMember member{
        id, line.words[1], photoFile ? readPhoto(*photoFile) : placeholderPortrait(id), {}};
    Database db(databasePath(line));
    enroll(db, member);
    out << "enrolled " << id << " (" << member.name << ")"
        << (photoFile ? " with photograph " + *photoFile : " with a placeholder portrait") << "\n";
}

void staffCommand(const CommandLine& line, std::ostream& out) {
    if (!line.words.empty() && line.words[0] == "remove") {
        expectArguments(line, 2, {});
        Database db(databasePath(line));
        if (!removeStaff(db, line.words[1])) {
            throw std::runtime_error("no member of staff has the identifier '" +
                                     trimBlanks(line.words[1]) + "'");
        }
        out << "removed " << trimBlanks(line.words[1]) << "; the ledger keeps their entries\n";
        return;
    }
    expectArguments(line, 0, {});
    Database db(databasePath(line));
    printStaffTable(db, out);
}

void ledgerCsvCommand(const CommandLine& line, std::ostream& out) {
    expectArguments(line, 0, {"--csv", "--from", "--to"});
    const auto from = line.option("--from");
    const auto to = line.option("--to");
    const std::string start = from ? localMidnight(*from) : "";
    const std::string end = to ? localMidnight(*to, 1) : "";
    Database db(databasePath(line));
    printLedgerCsv(db, start, end, out);
}

void ledgerCommand(const CommandLine& line, std::ostream& out) {
    if (line.flag("--csv")) {
        ledgerCsvCommand(line, out);
        return;
    }
    expectArguments(line, 0, {"--limit"});
    const auto limit = line.option("--limit");
    const std::int64_t rows = limit ? positiveNumber(*limit, "--limit") : kDefaultLedgerLimit;
    Database db(databasePath(line));
    printLedgerTable(db, static_cast<int>(std::min<std::int64_t>(rows, 1'000'000)), out);
}

void exportPrintCommand(const CommandLine& line, std::ostream& out) {
    expectArguments(line, 2, {});
    const std::int64_t number = positiveNumber(line.words[0], "ENTRY");
    const fs::path target = line.words[1];
    const std::string extension = target.extension().string();
    if (extension != ".wsq" && extension != ".pgm" && extension != ".bmp") {
        throw UsageError("OUT must end in .wsq, .pgm or .bmp");
    }
    Database db(databasePath(line));
    const auto entry = findEntry(db, number);
    if (!entry) {
        throw std::runtime_error("the ledger has no entry " + std::to_string(number));
    }
    if (entry->wsq.empty()) {
        throw std::runtime_error("entry " + std::to_string(number) + " holds no print");
    }
    if (extension == ".wsq") {
        writeFileBytes(target, entry->wsq);
    } else {
        const auto image = wsq::decode(entry->wsq);
        writeImage(target, GrayRaster{image.width, image.height, image.pixels}, image.ppi);
    }
    out << "wrote the print of entry " << number << " to " << target.string() << "\n";
}

} // namespace

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const CommandLine line = splitCommandLine(args);
        if (line.command == "--version") {
            out << versionLine("clocking-service");
            return 0;
        }
        if (line.command.empty()) {
            if (!line.help) {
                throw UsageError("no command given");
            }
            out << kOverview;
            return 0;
        }
        if (!kCommandHelp.contains(line.command)) {
            throw UsageError("unknown command '" + line.command + "'");
        }
        if (line.help) {
            out << kCommandHelp.at(line.command);
            return 0;
        }
        if (line.command == "serve") {
            expectArguments(line, 0, {"--listen", "--body-memory"});
            ConnectionLimits limits;
            if (const auto mebibytes = line.option("--body-memory")) {
                limits.bodyBudget =
                    static_cast<std::size_t>(positiveNumber(*mebibytes, "--body-memory")) << 20;
            }
            serve(databasePath(line), line.option("--listen").value_or(kDefaultListen), limits,
                  out);
        } else if (line.command == "enroll") {
            enrollCommand(line, out);
        } else if (line.command == "staff") {
            staffCommand(line, out);
        } else if (line.command == "ledger") {
            ledgerCommand(line, out);
        } else {
            exportPrintCommand(line, out);
        }
        return 0;
    } catch (const UsageError& error) {
        err << "clocking-service: " << error.what()
            << "\n(clocking-service --help shows the usage)\n";
        return 2;
    } catch (const std::exception& error) {
        err << "clocking-service: " << error.what() << "\n";
        return 1;
    }
}

} // namespace qv::clocking
