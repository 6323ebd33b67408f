// The service's SQLite file: one owner per connection and statement, errors as DatabaseError.

#include "tools/clocking-service/Database.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::clocking {

namespace {

// Another process (a `ledger` command, a second service) may hold the write lock briefly.
constexpr int kBusyTimeoutMs = 5000;

// Photographs are stored once and referred to by number: a ledger row points at the picture
// it was answered with, which stays unchanged when the member is enrolled again or removed.
constexpr std::string_view kSchema = R"(
CREATE TABLE photos (
    id   INTEGER PRIMARY KEY AUTOINCREMENT,
    jpeg BLOB NOT NULL
);
CREATE TABLE staff (
    id          TEXT PRIMARY KEY NOT NULL,
    name        TEXT NOT NULL,
    photo_id    INTEGER REFERENCES photos(id),
    enrolled_at TEXT NOT NULL
);
CREATE TABLE ledger (
    entry        INTEGER PRIMARY KEY AUTOINCREMENT,
    received_at  TEXT NOT NULL,
    app_id       TEXT,
    mode         TEXT,
    staff_id     TEXT,
    staff_name   TEXT,
    wsq          BLOB,
    print_width  INTEGER,
    print_height INTEGER,
    print_ppi    INTEGER,
    puntaje      INTEGER,
    resultado    TEXT,
    photo_id     INTEGER REFERENCES photos(id),
    fault        TEXT,
    peer         TEXT NOT NULL
);
CREATE INDEX ledger_photo ON ledger(photo_id);
CREATE INDEX ledger_received ON ledger(received_at);
)";

// Version 1 kept a copy of the photograph in every staff and ledger row, and took the name
// from the staff table. Each distinct picture moves to `photos` once; ledger rows keep the
// name they were answered with.
constexpr std::string_view kUpgradeFrom1 = R"(
CREATE TABLE photos (
    id   INTEGER PRIMARY KEY AUTOINCREMENT,
    jpeg BLOB NOT NULL
);
INSERT INTO photos (jpeg)
    SELECT photo FROM staff WHERE photo IS NOT NULL
    UNION SELECT photo FROM ledger WHERE photo IS NOT NULL;
ALTER TABLE staff ADD COLUMN photo_id INTEGER REFERENCES photos(id);
UPDATE staff SET photo_id = (SELECT id FROM photos WHERE jpeg = staff.photo)
    WHERE photo IS NOT NULL;
ALTER TABLE ledger ADD COLUMN photo_id INTEGER REFERENCES photos(id);
ALTER TABLE ledger ADD COLUMN staff_name TEXT;
UPDATE ledger SET photo_id = (SELECT id FROM photos WHERE jpeg = ledger.photo)
    WHERE photo IS NOT NULL;
UPDATE ledger SET staff_name = (SELECT name FROM staff WHERE id = ledger.staff_id);
ALTER TABLE staff DROP COLUMN photo;
ALTER TABLE ledger DROP COLUMN photo;
CREATE INDEX ledger_photo ON ledger(photo_id);
CREATE INDEX ledger_received ON ledger(received_at);
)";

// The file holds names, photographs and prints: readable by its owner only, also when an
// earlier version (or a copy) left it readable by others. SQLite gives its journal files the
// database's permissions; those already there are set too.
void createPrivately(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno != EEXIST) {
        throw DatabaseError("cannot create the database " + file.string() + ": " +
                            std::strerror(errno));
    }
    if (::chmod(file.c_str(), 0600) != 0) {
        throw DatabaseError("cannot make the database " + file.string() +
                            " readable by its owner only: " + std::strerror(errno));
    }
    for (const char* journal : {"-wal", "-shm", "-journal"}) {
        ::chmod((file.string() + journal).c_str(), 0600);
    }
}

} // namespace

void checkSqlite(sqlite3* db, int code, std::string_view doing) {
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) {
        return;
    }
    const char* reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    // sqlite3_exec reports the same text as the connection; say it once.
    std::string message = doing == reason ? std::string(doing) : std::string(doing) + ": " + reason;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
        message += " (another program holds the database locked)";
    }
    throw DatabaseError(message);
}

void Statement::Finalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

Statement::Statement(sqlite3* db, std::string_view sql)
    : db_(db) {
    sqlite3_stmt* raw = nullptr;
    checkSqlite(db, sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr),
                "preparing a query");
    statement_.reset(raw);
}

Statement& Statement::bind(int index, std::string_view text) {
    checkSqlite(db_,
                sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(),
                                    SQLITE_TRANSIENT, SQLITE_UTF8),
                "binding a text");
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    checkSqlite(db_, sqlite3_bind_int64(statement_.get(), index, value), "binding a number");
    return *this;
}

Statement& Statement::bind(int index, std::span<const std::uint8_t> blob) {
    // A zero-length blob with a null pointer would be stored as NULL; keep it a blob.
    static const std::uint8_t empty = 0;
    checkSqlite(db_,
                sqlite3_bind_blob64(statement_.get(), index, blob.empty() ? &empty : blob.data(),
                                    blob.size(), SQLITE_TRANSIENT),
                "binding bytes");
    return *this;
}

Statement& Statement::bindNull(int index) {
    checkSqlite(db_, sqlite3_bind_null(statement_.get(), index), "binding a null");
    return *this;
}

bool Statement::step() {
    const int code = sqlite3_step(statement_.get());
    checkSqlite(db_, code, "running a query");
    return code == SQLITE_ROW;
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::string Statement::text(int column) const {
    const auto* chars = sqlite3_column_text(statement_.get(), column);
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return chars ? std::string(reinterpret_cast<const char*>(chars), static_cast<std::size_t>(size))
                 : std::string();
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

std::vector<std::uint8_t> Statement::blob(int column) const {
    const auto* bytes =
        static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_.get(), column));
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return bytes ? std::vector<std::uint8_t>(bytes, bytes + size) : std::vector<std::uint8_t>();
}

void Database::Closer::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

Database::Database(const std::filesystem::path& file)
    : file_(file) {
    createPrivately(file);
    sqlite3* raw = nullptr;
    const int code = sqlite3_open_v2(
        file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    db_.reset(raw);
    const std::string where = "database " + file.string();
    checkSqlite(db_.get(), code, "opening the " + where);
    sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
    try {
        execute("PRAGMA journal_mode=WAL");
        // An answered clock-in must survive a power cut: every commit reaches the disk.
        execute("PRAGMA synchronous=FULL");
        migrate();
    } catch (const DatabaseError& error) {
        throw DatabaseError("the " + where + " cannot be used: " + error.what());
    }
}

void Database::execute(std::string_view sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, &message);
    const std::string reason = message ? message : "";
    sqlite3_free(message);
    if (code != SQLITE_OK) {
        checkSqlite(db_.get(), code, reason.empty() ? "running a statement" : reason);
    }
}

std::int64_t Database::lastInsertId() const {
    return sqlite3_last_insert_rowid(db_.get());
}

std::int64_t Database::changes() const {
    return sqlite3_changes64(db_.get());
}

void Database::rollback() noexcept {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Database::migrate() {
    transaction([&] {
        auto version = prepare("PRAGMA user_version");
        version.step();
        const auto current = version.integer(0);
        if (current > kSchemaVersion) {
            throw DatabaseError("its schema version " + std::to_string(current) +
                                " is newer than this tool's (" + std::to_string(kSchemaVersion) +
                                ")");
        }
        if (current == 0) {
            execute(kSchema);
        } else if (current == 1) {
            execute(kUpgradeFrom1);
        }
        if (current != kSchemaVersion) {
            execute("PRAGMA user_version = " + std::to_string(kSchemaVersion));
        }
    });
}

} // namespace qv::clocking
