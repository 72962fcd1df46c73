// A small RAII layer over SQLite's C interface: one connection, and statements that are
// finalized when they go out of scope (or, for statements the connection keeps, when it closes).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace cvl {

class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, const char* sql);  // prepare failures leave it invalid
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    // Parameters are 1-based; text is copied by SQLite at bind time.
    void bindText(int index, const std::string& text);
    void bindInt64(int index, std::int64_t value);
    void bindInt(int index, int value);
    // One step: true while a row is available.
    bool stepRow();
    // True when the last step failed (or the statement never prepared), not merely ended.
    bool failed() const;
    // Runs a write statement to its end; false when it failed (or never prepared).
    bool run();
    // Makes the statement ready to run again with new parameters.
    void reset();
    std::string columnText(int column) const;  // null reads as empty text
    // The column's text without a copy, valid until the next step, reset or finalize.
    std::string_view columnView(int column) const;
    std::int64_t columnInt64(int column) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int lastStep_ = 0;  // SQLITE_OK before the first step
};

class SqliteConnection {
  public:
    enum class Mode {
        readWriteCreate,  // plain sqlite3_open
        readOnly,         // an existing database, for readers; used by one thread at a time
    };

    SqliteConnection() = default;
    // A failed open leaves the connection closed.
    explicit SqliteConnection(const std::string& path, Mode mode = Mode::readWriteCreate);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }
    // Executes statements without inspecting rows; false on an error.
    bool exec(const char* sql);
    // SQLite's message and extended code for the connection's last failed call.
    std::string errorMessage() const;
    int errorCode() const;
    SqliteStatement prepare(const char* sql) const { return SqliteStatement(db_, sql); }
    // A statement prepared once and kept for the connection's life, reset and cleared of its
    // parameters on every call. Not for statements that may still be stepping elsewhere.
    SqliteStatement& cached(const char* sql);
    // The first column of the first row as an integer; `fallback` when there is none.
    std::int64_t queryInt64(const char* sql, std::int64_t fallback = 0);

  private:
    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<SqliteStatement>, std::less<>> cache_;
};

}  // namespace cvl
