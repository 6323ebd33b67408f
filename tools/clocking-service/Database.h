// The service's SQLite file: one owner per connection and statement, errors as DatabaseError.

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace qv::clocking {

// Anything the database refused: a locked or corrupt file, a schema from a newer tool, a full
// disk. The message says which file and why.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One prepared statement, bound by position (1-based) and stepped row by row.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);

    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::span<const std::uint8_t> blob);
    Statement& bindNull(int index);
    template <typename T> Statement& bind(int index, const std::optional<T>& value) {
        return value ? bind(index, *value) : bindNull(index);
    }

    // True while there is a row to read.
    bool step();
    void run() { step(); }

    bool isNull(int column) const;
    std::string text(int column) const;
    std::int64_t integer(int column) const;
    std::vector<std::uint8_t> blob(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

// The service's single database file: staff and ledger, in WAL mode so the page and the
// command-line views read while clock-ins are written. Opening creates the file readable by
// its owner only, or upgrades an older schema.
class Database {
public:
    explicit Database(const std::filesystem::path& file);

    Statement prepare(std::string_view sql) { return Statement(db_.get(), sql); }
    void execute(std::string_view sql);
    std::int64_t lastInsertId() const;
    // Rows changed by the last statement.
    std::int64_t changes() const;
    const std::filesystem::path& file() const { return file_; }

    // Runs the work inside one transaction, rolled back if it throws.
    template <typename Work> auto transaction(Work&& work) {
        execute("BEGIN IMMEDIATE");
        try {
            if constexpr (std::is_void_v<decltype(work())>) {
                work();
                execute("COMMIT");
            } else {
                auto result = work();
                execute("COMMIT");
                return result;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }

    static constexpr int kSchemaVersion = 2;

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    void rollback() noexcept;
    void migrate();

    std::filesystem::path file_;
    std::unique_ptr<sqlite3, Closer> db_;
};

// Raises DatabaseError with the connection's message when code is not a success.
void checkSqlite(sqlite3* db, int code, std::string_view doing);

} // namespace qv::clocking
