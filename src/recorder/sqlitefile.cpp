#include "recorder/sqlitefile.h"

#include <sqlite3.h>

TSqliteFile::TSqliteFile(const QString& APath, bool AWritable, bool ACreate) {
    const int flags = (AWritable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) |
                      (ACreate ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(APath.toUtf8().constData(), &FDb, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            FDb ? QString::fromUtf8(sqlite3_errmsg(FDb)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(FDb);
        FDb = nullptr;
        throw ESqliteError(rc & 0xFF, message);
    }
    // A writer holds its lock only for a moment; a reader waits that long rather than fail.
    sqlite3_busy_timeout(FDb, 5000);
}

void TSqliteFile::guardAgainstHostileFile(int AMaxValueBytes) {
    // The values SQLite's "Defense Against The Dark Arts" suggests; our own statements are
    // far inside them, and a schema beyond them does not parse.
    sqlite3_limit(FDb, SQLITE_LIMIT_LENGTH, AMaxValueBytes);
    sqlite3_limit(FDb, SQLITE_LIMIT_SQL_LENGTH, 100000);
    sqlite3_limit(FDb, SQLITE_LIMIT_COLUMN, 100);
    sqlite3_limit(FDb, SQLITE_LIMIT_EXPR_DEPTH, 10);
    sqlite3_limit(FDb, SQLITE_LIMIT_COMPOUND_SELECT, 3);
    sqlite3_limit(FDb, SQLITE_LIMIT_VDBE_OP, 25000);
    sqlite3_limit(FDb, SQLITE_LIMIT_FUNCTION_ARG, 8);
    sqlite3_limit(FDb, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(FDb, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 50);
    sqlite3_limit(FDb, SQLITE_LIMIT_VARIABLE_NUMBER, 10);
    sqlite3_limit(FDb, SQLITE_LIMIT_TRIGGER_DEPTH, 10);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    exec("PRAGMA cell_size_check=ON; PRAGMA mmap_size=0;");
}

TSqliteFile::~TSqliteFile() {
    sqlite3_close_v2(FDb);
}

void TSqliteFile::fail(int ACode) const {
    throw ESqliteError(ACode & 0xFF, QString::fromUtf8(sqlite3_errmsg(FDb)));
}

void TSqliteFile::exec(const char* ASql) {
    const int rc = sqlite3_exec(FDb, ASql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

TSqliteStatement::TSqliteStatement(TSqliteFile& AFile, const char* ASql) : FFile(AFile) {
    const int rc = sqlite3_prepare_v2(AFile.handle(), ASql, -1, &FStmt, nullptr);
    if (rc != SQLITE_OK)
        AFile.fail(rc);
}

TSqliteStatement::~TSqliteStatement() {
    sqlite3_finalize(FStmt);
}

TSqliteStatement& TSqliteStatement::bind(int AIndex, qint64 AValue) {
    sqlite3_bind_int64(FStmt, AIndex, AValue);
    return *this;
}

TSqliteStatement& TSqliteStatement::bind(int AIndex, const QString& AValue) {
    const QByteArray utf8 = AValue.toUtf8();
    sqlite3_bind_text(FStmt, AIndex, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

TSqliteStatement& TSqliteStatement::bind(int AIndex, const QByteArray& AValue) {
    sqlite3_bind_blob(FStmt, AIndex, AValue.constData(), int(AValue.size()), SQLITE_TRANSIENT);
    return *this;
}

bool TSqliteStatement::step() {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(FStmt);
    FFile.fail(rc);
}

void TSqliteStatement::reset() {
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
}

qint64 TSqliteStatement::integer(int AColumn) const {
    return sqlite3_column_int64(FStmt, AColumn);
}

QString TSqliteStatement::text(int AColumn) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, AColumn));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(FStmt, AColumn)) : QString();
}

QByteArray TSqliteStatement::blob(int AColumn) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(FStmt, AColumn));
    return p ? QByteArray(p, sqlite3_column_bytes(FStmt, AColumn)) : QByteArray();
}

bool TSqliteStatement::isNull(int AColumn) const {
    return sqlite3_column_type(FStmt, AColumn) == SQLITE_NULL;
}
