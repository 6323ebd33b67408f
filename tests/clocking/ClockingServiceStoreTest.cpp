// What the service keeps: the upgrade of a version-1 database, photographs stored once and
// checked whole at enrolment, members removed with their ledger kept, the CSV export, the
// page's escaping.

#include "platform/Files.h"
#include "tests/clocking/ClockingTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/Jpeg.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Page.h"
#include "tools/clocking-service/Photograph.h"
#include "tools/clocking-service/Portrait.h"
#include "tools/clocking-service/Staff.h"

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace qv::test {
namespace {

using clocking::Database;

CommandRun service(const std::filesystem::path& db, std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", db.string()});
    return runClockingService(args);
}

std::time_t localTime(const char* text) {
    std::tm parts{};
    strptime(text, "%Y-%m-%d %H:%M", &parts);
    parts.tm_isdst = -1;
    return mktime(&parts);
}

std::int64_t count(Database& db, const std::string& sql) {
    auto query = db.prepare(sql);
    query.step();
    return query.integer(0);
}

TEST(ClockingServiceStoreTest, VersionOneDatabaseIsUpgradedWithNothingLost) {
    TempFolder folder;
    const auto file = std::filesystem::path(folder.path("v1.db"));
    std::filesystem::copy_file(std::string(QV_TESTDATA_DIR) + "/clocking/ledger-schema-v1.db",
                               file);
    // As an earlier version left it: readable by everyone.
    std::filesystem::permissions(file, std::filesystem::perms(0644));
    // What version 1 holds, read with the old layout before anything opens it.
    std::vector<std::uint8_t> anaPhoto;
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(raw, "SELECT photo FROM ledger WHERE entry = 1", -1, &statement,
                           nullptr);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 0));
        anaPhoto.assign(bytes, bytes + sqlite3_column_bytes(statement, 0));
        sqlite3_finalize(statement);
        sqlite3_close(raw);
    }
    ASSERT_FALSE(anaPhoto.empty());

    Database db(file);
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(count(db, "PRAGMA user_version"), Database::kSchemaVersion);
    EXPECT_EQ(count(db, "SELECT count(*) FROM photos"), 2) << "one copy per picture";
    const auto lines = clocking::latestEntries(db, 100);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(lines[0].entry.fault);
    EXPECT_EQ(lines[2].entry.staffName, "Ana Pérez");
    EXPECT_EQ(lines[3].entry.staffName, "Luis O'Brien");
    EXPECT_FALSE(lines[1].entry.staffName) << "the stranger's row names nobody";
    EXPECT_EQ(clocking::findEntry(db, 1)->photo, anaPhoto);
    EXPECT_EQ(clocking::findEntry(db, 1)->wsq, testPrint());
    EXPECT_EQ(clocking::findStaff(db, "20123456")->photo, anaPhoto);
    auto check = db.prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ(check.text(0), "ok");

    // Removing a member keeps what the ledger answered them with.
    EXPECT_TRUE(clocking::removeStaff(db, "20123456"));
    EXPECT_FALSE(clocking::findStaff(db, "20123456"));
    EXPECT_EQ(clocking::findEntry(db, 1)->staffName, "Ana Pérez");
    EXPECT_EQ(clocking::findEntry(db, 1)->photo, anaPhoto);
    // Enrolled again with another picture, the old one stays for the old rows only.
    clocking::enroll(db, {"27345678", "Luis", clocking::placeholderPortrait("x"), {}});
    EXPECT_EQ(count(db, "SELECT count(*) FROM photos"), 3);
    EXPECT_NE(clocking::findEntry(db, 2)->photo, clocking::findStaff(db, "27345678")->photo);
}

TEST(ClockingServiceStoreTest, EnrolledPhotographsAreCheckedWholeAndStoredSmall) {
    TempFolder folder;
    const auto db = std::filesystem::path(folder.path("s.db"));
    const auto portrait = clocking::placeholderPortrait("1");
    std::vector<std::uint8_t> pixels(1200 * 900 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i / 3 % 1200 / 5);
    }
    const auto large = clocking::encodeJpeg(pixels, 1200, 900, clocking::JpegPixels::Rgb);
    // The same picture declaring 60000 x 60000 pixels in its frame header.
    auto huge = large;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
            for (const std::size_t at : {i + 5, i + 7}) {
                huge[at] = 60000 >> 8;
                huge[at + 1] = 60000 & 0xFF;
            }
            break;
        }
    }
    // A small picture carrying a large comment: its pixels are kept, the comment is not.
    const std::string comment(60'000, 'C');
    auto commented = portrait;
    const std::vector<std::uint8_t> segment{0xFF, 0xFE, 60'002 >> 8, 60'002 & 0xFF};
    commented.insert(commented.begin() + 2, comment.begin(), comment.end());
    commented.insert(commented.begin() + 2, segment.begin(), segment.end());
    const std::vector<std::uint8_t> truncated(portrait.begin(),
                                              portrait.begin() + portrait.size() / 2);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> file;
        const char* errorPart; // nullptr: accepted
        int maxSide;
    };
    const std::vector<Case> cases{
        {"small portrait", portrait, nullptr, 480},
        {"small portrait with a comment", commented, nullptr, 480},
        {"large photograph", large, nullptr, 480},
        {"truncated", truncated, "does not decode", 0},
        {"60000 x 60000", huge, "60000 x 60000 pixels", 0},
    };
    for (const Case& c : cases) {
        const auto photo = std::filesystem::path(folder.path("photo.jpg"));
        writeFileBytes(photo, c.file);
        const CommandRun run = service(db, {"enroll", "7", "Siete", "--photo", photo.string()});
        if (c.errorPart) {
            EXPECT_EQ(run.exitCode, 1) << c.what;
            EXPECT_NE(run.err.find(c.errorPart), std::string::npos) << c.what << ": " << run.err;
            continue;
        }
        ASSERT_EQ(run.exitCode, 0) << c.what << ": " << run.err;
        Database store(db);
        const auto stored = clocking::findStaff(store, "7")->photo;
        const auto size = clocking::jpegSize(stored);
        ASSERT_TRUE(size) << c.what;
        EXPECT_LE(std::max(size->width, size->height), c.maxSide) << c.what;
        EXPECT_NO_THROW(clocking::decodeJpeg(stored, clocking::kMaxPhotoPixels, 1)) << c.what;
        EXPECT_EQ(std::search(stored.begin(), stored.end(), comment.begin(), comment.begin() + 64),
                  stored.end())
            << c.what << ": encoded again, without the sender's comment";
    }
    struct stat info {};
    ASSERT_EQ(::stat(db.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "names and photographs are the owner's alone";
}

TEST(ClockingServiceStoreTest, LedgerCsvIsRfc4180ForTheDatesAsked) {
    TempFolder folder;
    const auto file = std::filesystem::path(folder.path("s.db"));
    {
        Database db(file);
        clocking::LedgerEntry entry;
        entry.peer = "127.0.0.1:1";
        entry.mode = "I";
        entry.puntaje = 0;
        for (const auto& [when, id, answer] :
             std::vector<std::tuple<const char*, const char*, const char*>>{
                 {"2026-03-01 23:59", "early", "x"},
                 {"2026-03-02 00:00", "30111222", "Ingreso registrado: Pérez, \"Ana\", 08:00"},
                 {"2026-03-03 12:00", "=cmd|' /C calc'!A0", "line\r\nbreak"},
                 {"2026-03-03 13:00", "\t=1+1", "esc\x1b[31m"},
                 {"2026-03-03 14:00", "x;=1+1", "y, -2"},
                 {"2026-03-04 00:00", "late", "x"}}) {
            entry.receivedAt =
                clocking::utcTimestamp(std::chrono::system_clock::from_time_t(localTime(when)));
            entry.appId = id;
            entry.resultado = answer;
            clocking::record(db, entry);
        }
    }
    // With the UTC offset then in force, as the export writes it.
    const auto written = [](const char* local) {
        const std::time_t when = localTime(local);
        char text[32] = {};
        std::strftime(text, sizeof text, "%F %T %z", std::localtime(&when));
        return std::string(text);
    };
    const CommandRun run =
        service(file, {"ledger", "--csv", "--from", "2026-03-02", "--to", "2026-03-03"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string expected =
        "entry,local_time,app_id,mode,staff_id,staff_name,print_width,print_height,puntaje,"
        "resultado,fault,peer\r\n"
        "2," +
        written("2026-03-02 00:00") +
        ",30111222,I,,,,,0,\"Ingreso registrado: Pérez, \"\"Ana\"\", 08:00\",,127.0.0.1:1\r\n"
        "3," +
        written("2026-03-03 12:00") +
        ",\"'=cmd|' /C calc'!A0\",I,,,,,0,\"line\r\nbreak\",,127.0.0.1:1\r\n"
        "4," +
        written("2026-03-03 13:00") +
        ",\"'\t=1+1\",I,,,,,0,esc?[31m,,127.0.0.1:1\r\n"
        "5," +
        written("2026-03-03 14:00") + ",\"'x;=1+1\",I,,,,,0,\"'y, -2\",,127.0.0.1:1\r\n";
    EXPECT_EQ(run.out, expected);
    // Dates that do not exist are refused, not rolled over into the next month.
    for (const char* impossible : {"2026-02-30", "2026-04-31", "2026-13-01", "2026-00-10"}) {
        const CommandRun refused = service(file, {"ledger", "--csv", "--from", impossible});
        EXPECT_EQ(refused.exitCode, 2) << impossible;
        EXPECT_NE(refused.err.find("is not a date"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(service(file, {"ledger", "--csv"}).out.find("early") != std::string::npos, true);
}

TEST(ClockingServiceStoreTest, ALockedDatabaseIsReportedOnceAndClearly) {
    TempFolder folder;
    const auto file = std::filesystem::path(folder.path("s.db"));
    Database holder(file);
    holder.execute("BEGIN IMMEDIATE"); // another program in the middle of a write
    const CommandRun run = service(file, {"enroll", "7", "Siete"});
    holder.execute("ROLLBACK");
    EXPECT_EQ(run.exitCode, 1);
    const auto first = run.err.find("database is locked");
    ASSERT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("database is locked", first + 1), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("another program holds the database locked"), std::string::npos);
}

TEST(ClockingServiceStoreTest, PageEscapesAndShortensWhatCallersSent) {
    clocking::LedgerLine line;
    line.entry.entry = 7;
    line.entry.receivedAt = "2026-03-02T08:00:00.000Z";
    line.entry.appId = "<script>alert('x')</script>" + std::string(300, 'y');
    line.entry.staffName = "Ana \"<b>\" & co";
    line.entry.fault = "bad\x01thing";
    line.entry.printWidth = 256;
    line.hasPrint = true;
    line.hasPhoto = true;
    const std::string page = clocking::renderLedgerPage({line}, "t0k\"en");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(&#39;x&#39;)"), std::string::npos);
    EXPECT_NE(page.find("Ana &quot;&lt;b&gt;&quot; &amp; co"), std::string::npos);
    EXPECT_EQ(page.find(std::string(100, 'y')), std::string::npos) << "long texts shortened";
    EXPECT_EQ(page.find('\x01'), std::string::npos);
    EXPECT_NE(page.find("src=\"/entries/7/photo.jpg?token=t0k&quot;en\""), std::string::npos);
}

} // namespace
} // namespace qv::test
