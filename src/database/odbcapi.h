#pragma once
// The few ODBC helpers the database layer shares. Includes the ODBC headers, so only
// the layer's own .cpp files include it.

#include <QList>
#include <QString>
#include <sql.h>
#include <sqlext.h>

// The process-wide ODBC 3 environment.
SQLHENV OdbcEnvironment();

// The message texts of every diagnostic record of a handle, in order, one per line.
QString OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The native error numbers of every diagnostic record of a handle, in order.
QList<int> OdbcNativeErrors(SQLSMALLINT handleType, SQLHANDLE handle);

// Throws EDbError with the handle's diagnostics unless rc is a success.
void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what);

inline bool OdbcOk(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

inline const SQLWCHAR* OdbcText(const QString& s) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR is UTF-16");
    return reinterpret_cast<const SQLWCHAR*>(s.utf16());
}
