#include "search/SqliteDb.h"

#include <sqlite3.h>

namespace cvl {

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) {
    if (!db) return;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::bindText(int index, const std::string& text) {
    if (stmt_) sqlite3_bind_text(stmt_, index, text.c_str(), -1, SQLITE_TRANSIENT);
}

void SqliteStatement::bindInt64(int index, std::int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::bindInt(int index, int value) {
    if (stmt_) sqlite3_bind_int(stmt_, index, value);
}

bool SqliteStatement::stepRow() {
    if (!stmt_) return false;
    lastStep_ = sqlite3_step(stmt_);
    return lastStep_ == SQLITE_ROW;
}

bool SqliteStatement::failed() const {
    return !stmt_ ||
           (lastStep_ != SQLITE_OK && lastStep_ != SQLITE_ROW && lastStep_ != SQLITE_DONE);
}

bool SqliteStatement::run() {
    if (!stmt_) return false;
    lastStep_ = sqlite3_step(stmt_);
    return lastStep_ == SQLITE_DONE || lastStep_ == SQLITE_ROW;
}

void SqliteStatement::reset() {
    if (!stmt_) return;
    lastStep_ = SQLITE_OK;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string SqliteStatement::columnText(int column) const {
    const unsigned char* text = stmt_ ? sqlite3_column_text(stmt_, column) : nullptr;
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

std::string_view SqliteStatement::columnView(int column) const {
    if (!stmt_) return {};
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

std::int64_t SqliteStatement::columnInt64(int column) const {
    return stmt_ ? sqlite3_column_int64(stmt_, column) : 0;
}

SqliteConnection::SqliteConnection(const std::string& path, Mode mode) {
    // Allocation statistics cost a global mutex on every allocation, which shows in the
    // indexing run; nothing reads them. Takes effect only before SQLite's first use.
    static const bool noMemStatus = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    (void)noMemStatus;
    const int rc = mode == Mode::readOnly
                       ? sqlite3_open_v2(path.c_str(), &db_,
                                         SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
                       : sqlite3_open(path.c_str(), &db_);
    if (rc != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

SqliteConnection::~SqliteConnection() {
    cache_.clear();  // statements are finalized before the connection closes
    if (db_) sqlite3_close(db_);
}

bool SqliteConnection::exec(const char* sql) {
    return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string SqliteConnection::errorMessage() const {
    return db_ ? sqlite3_errmsg(db_) : "the database is not open";
}

int SqliteConnection::errorCode() const {
    return db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN;
}

SqliteStatement& SqliteConnection::cached(const char* sql) {
    auto it = cache_.find(std::string_view(sql));
    if (it == cache_.end())
        it = cache_.emplace(sql, std::make_unique<SqliteStatement>(db_, sql)).first;
    it->second->reset();
    return *it->second;
}

std::int64_t SqliteConnection::queryInt64(const char* sql, std::int64_t fallback) {
    SqliteStatement st = prepare(sql);
    return st.stepRow() ? st.columnInt64(0) : fallback;
}

}  // namespace cvl
