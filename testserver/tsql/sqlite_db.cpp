#include "sqlite_db.h"

#include <sqlite3.h>
#include <stdexcept>

namespace testserver {

namespace {

// Ad hoc queries differ in their literals, so the cache is bounded; model statements
// are few and stay hot.
constexpr std::size_t kMaxCachedStatements = 256;

} // namespace

SqliteDb::SqliteDb() {
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error("cannot open the in-memory database");
}

SqliteDb::~SqliteDb() {
    cache_.clear();
    sqlite3_close(db_);
}

void SqliteDb::exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("sqlite: " + message + " in <" + sql + ">");
    }
}

SqliteStmt& SqliteDb::statement(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
        if (cache_.size() >= kMaxCachedStatements)
            cache_.clear();
        it = cache_.emplace(sql, std::make_unique<SqliteStmt>(db_, sql)).first;
    } else {
        it->second->reset();
    }
    return *it->second;
}

int SqliteDb::changes() const {
    return sqlite3_changes(db_);
}

} // namespace testserver
