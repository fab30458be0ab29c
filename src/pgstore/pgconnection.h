#pragma once
// The little of libpq a recording needs: a connection opened from a URI (and the PG*
// variables and ~/.pgpass, as libpq reads them), statements with parameters, results
// freed on their own. Failures are raised as ERecordingError in the words of the
// database they concern, never with the password.

#include "recorder/sqlitefile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

// Whether --out or the window's address names a PostgreSQL database rather than a file.
bool IsPgAddress(const QString& AText);
// Whether the address carries a password of its own (a URI's "user:password@"), which
// the process list would show.
bool PgAddressHasPassword(const QString& AAddress);

class TPgResult {
public:
    explicit TPgResult(pg_result* AResult = nullptr) : FResult(AResult) {}
    ~TPgResult();
    TPgResult(TPgResult&& AOther) noexcept : FResult(std::exchange(AOther.FResult, nullptr)) {}
    TPgResult& operator=(TPgResult&& AOther) noexcept;

    int rows() const;
    bool isNull(int ARow, int AColumn) const;
    QString text(int ARow, int AColumn) const;
    qint64 integer(int ARow, int AColumn) const;
    // The value's bytes as they came: a bytea asked for in binary.
    QByteArray bytes(int ARow, int AColumn) const;

private:
    pg_result* FResult;
};

class TPgConnection {
public:
    // Connects; throws ERecordingError with libpq's words.
    explicit TPgConnection(const QString& AAddress);
    ~TPgConnection();
    TPgConnection(const TPgConnection&) = delete;
    TPgConnection& operator=(const TPgConnection&) = delete;

    // "postgresql://user@host:port/db": what the connection reached, without a password.
    const QString& where() const { return FWhere; }

    // A statement without parameters, or several separated by ";". Throws.
    TPgResult exec(const QString& ASql);
    // A statement with text parameters ($1...), null for a null; AData, when given, is
    // passed in binary as the last parameter (a bytea). Binary results with ABinary.
    TPgResult exec(const QString& ASql, const std::vector<std::optional<QString>>& AParams,
                   const QByteArray* AData = nullptr, bool ABinary = false);
    // A failure's text: the database's name and what went wrong.
    ERecordingError error(const QString& AWhat) const;
    // Whether the connection is still up; a lost one is made again once (reset()).
    bool alive() const;
    bool reset();

private:
    TPgResult check(pg_result* AResult);
    pg_conn* FConn = nullptr;
    QString FWhere;
};
