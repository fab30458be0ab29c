#include "sqlite_stmt.h"

#include <sqlite3.h>
#include <stdexcept>

namespace testserver {

namespace {

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

} // namespace

SqliteStmt::SqliteStmt(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt_, nullptr) != SQLITE_OK)
        fail(db, "prepare failed for <" + sql + ">");
}

SqliteStmt::~SqliteStmt() {
    sqlite3_finalize(stmt_);
}

void SqliteStmt::bind(int index, const Value& value) {
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value)) {
        rc = sqlite3_bind_null(stmt_, index);
    } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
        rc = sqlite3_bind_int64(stmt_, index, *i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(stmt_, index, *d);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        rc = sqlite3_bind_text64(stmt_, index, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else {
        const auto& b = std::get<std::vector<std::uint8_t>>(value);
        rc = sqlite3_bind_blob64(stmt_, index, b.data(), b.size(), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        fail(db_, "bind failed");
}

void SqliteStmt::bindInt(int index, std::int64_t value) {
    bind(index, Value(value));
}

void SqliteStmt::bindText(int index, const std::string& value) {
    bind(index, Value(value));
}

bool SqliteStmt::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw std::runtime_error("sqlite: " + message);
}

void SqliteStmt::run() {
    while (step()) {
    }
    reset();
}

void SqliteStmt::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int SqliteStmt::columnCount() const {
    return sqlite3_column_count(stmt_);
}

bool SqliteStmt::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t SqliteStmt::intAt(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double SqliteStmt::realAt(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::string SqliteStmt::textAt(int column) const {
    const auto* p = sqlite3_column_text(stmt_, column);
    const int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n))
             : std::string();
}

Value SqliteStmt::valueAt(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return intAt(column);
    case SQLITE_FLOAT:
        return realAt(column);
    case SQLITE_TEXT:
        return textAt(column);
    case SQLITE_BLOB: {
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
        const int n = sqlite3_column_bytes(stmt_, column);
        return std::vector<std::uint8_t>(p, p + n);
    }
    default:
        return std::monostate{};
    }
}

} // namespace testserver
