// A small RAII layer over SQLite's C interface: one connection, and statements that are
// finalized when they go out of scope.
#pragma once

#include <cstdint>
#include <string>

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
    // Runs a write statement to its end; step errors are not inspected.
    void run();
    // Makes the statement ready to run again with new parameters.
    void reset();
    std::string columnText(int column) const;  // null reads as empty text
    std::int64_t columnInt64(int column) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteConnection {
  public:
    SqliteConnection() = default;
    // Plain read-write-create open; a failed open leaves the connection closed.
    explicit SqliteConnection(const std::string& path);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }
    // Executes statements without inspecting rows; false on an error.
    bool exec(const char* sql);
    SqliteStatement prepare(const char* sql) const { return SqliteStatement(db_, sql); }

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace cvl
