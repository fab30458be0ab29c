#pragma once
// One prepared SQLite statement, bound and read with the engine's Values.

#include "values.h"

#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace testserver {

class SqliteStmt {
public:
    SqliteStmt(sqlite3* db, const std::string& sql); // throws std::runtime_error
    ~SqliteStmt();
    SqliteStmt(const SqliteStmt&) = delete;
    SqliteStmt& operator=(const SqliteStmt&) = delete;

    // Binds are 1-based, as in SQLite.
    void bind(int index, const Value& value);
    void bindInt(int index, std::int64_t value);
    void bindText(int index, const std::string& value);
    // Runs to the next row: true while there is one. Throws on errors.
    bool step();
    // Steps to completion and resets, for statements without rows.
    void run();
    void reset(); // also clears the bindings

    int columnCount() const;
    bool isNull(int column) const; // 0-based
    std::int64_t intAt(int column) const;
    double realAt(int column) const;
    std::string textAt(int column) const;
    // The column as SQLite holds it: NULL, integer, real, text or bytes.
    Value valueAt(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace testserver
