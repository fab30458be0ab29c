#pragma once
// The one in-memory SQLite database behind the instance, with a cache of prepared
// statements (the same few statements run for every sample and every session).

#include "sqlite_stmt.h"

#include <map>
#include <memory>
#include <string>

namespace testserver {

class SqliteDb {
public:
    SqliteDb();
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    void exec(const std::string& sql); // throws std::runtime_error
    // A prepared statement for this text, reset and ready to bind.
    SqliteStmt& statement(const std::string& sql);
    sqlite3* handle() const { return db_; }
    int changes() const;

private:
    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<SqliteStmt>> cache_;
};

} // namespace testserver
