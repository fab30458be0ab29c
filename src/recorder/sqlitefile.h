#pragma once
// The little of SQLite a recording needs: a connection and prepared statements, with
// failures raised as ERecordingError carrying SQLite's own message.

#include <QByteArray>
#include <QString>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

class ERecordingError : public std::runtime_error {
public:
    explicit ERecordingError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& message() const { return FMessage; }

private:
    QString FMessage;
};

// A failure of SQLite itself, before it is put in the words of the file it concerns.
class ESqliteError : public std::runtime_error {
public:
    ESqliteError(int code, const QString& message)
        : std::runtime_error(message.toStdString()), Code(code), Message(message) {}
    const int Code; // SQLite's primary result code
    const QString Message;
};

class TSqliteFile {
public:
    // Opens the file; with ACreate a missing file is made, else it must exist. Throws
    // ESqliteError.
    TSqliteFile(const QString& APath, bool AWritable, bool ACreate);
    ~TSqliteFile();
    TSqliteFile(const TSqliteFile&) = delete;
    TSqliteFile& operator=(const TSqliteFile&) = delete;

    // For a file that may come from anyone: SQLite's own defences against a hostile
    // schema (no functions with side effects in it, no writes to the schema, cell sizes
    // checked, no memory mapping), its limits on what a statement may hold, and no value
    // longer than AMaxValueBytes.
    void guardAgainstHostileFile(int AMaxValueBytes);

    void exec(const char* ASql);
    sqlite3* handle() const { return FDb; }
    [[noreturn]] void fail(int ACode) const;

private:
    sqlite3* FDb = nullptr;
};

class TSqliteStatement {
public:
    TSqliteStatement(TSqliteFile& AFile, const char* ASql);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    TSqliteStatement& bind(int AIndex, qint64 AValue);
    TSqliteStatement& bind(int AIndex, const QString& AValue);
    TSqliteStatement& bind(int AIndex, const QByteArray& AValue);
    // True while there is a row; false when the statement is done. Throws ESqliteError.
    bool step();
    void reset(); // for another run, bindings cleared
    qint64 integer(int AColumn) const;
    QString text(int AColumn) const;
    QByteArray blob(int AColumn) const;
    bool isNull(int AColumn) const;

private:
    TSqliteFile& FFile;
    sqlite3_stmt* FStmt = nullptr;
};
