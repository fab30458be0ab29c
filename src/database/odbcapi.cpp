#include "database/odbcapi.h"

#include "database/dberror.h"

#include <QStringList>

SQLHENV OdbcEnvironment() {
    static SQLHENV env = [] {
        SQLHENV h = SQL_NULL_HENV;
        if (!OdbcOk(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
            throw EDbError(QStringLiteral("The ODBC driver manager could not be initialised."));
        SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return h;
    }();
    return env;
}

QString OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    QStringList lines;
    for (SQLSMALLINT rec = 1;; ++rec) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!OdbcOk(SQLGetDiagRecW(handleType, handle, rec, state, &native, nullptr, 0, &length)))
            break;
        std::u16string text(static_cast<size_t>(length) + 1, u'\0');
        if (!OdbcOk(SQLGetDiagRecW(handleType, handle, rec, state, &native,
                                   reinterpret_cast<SQLWCHAR*>(text.data()),
                                   static_cast<SQLSMALLINT>(text.size()), &length)))
            break;
        text.resize(static_cast<size_t>(length));
        lines << QString::fromStdU16String(text);
    }
    return lines.join(QLatin1Char('\n'));
}

QList<int> OdbcNativeErrors(SQLSMALLINT handleType, SQLHANDLE handle) {
    QList<int> natives;
    for (SQLSMALLINT rec = 1;; ++rec) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!OdbcOk(SQLGetDiagRecW(handleType, handle, rec, state, &native, nullptr, 0, &length)))
            break;
        natives << int(native);
    }
    return natives;
}

void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what) {
    if (OdbcOk(rc) || rc == SQL_NO_DATA)
        return;
    QString message = handle ? OdbcDiagnostics(handleType, handle) : QString();
    if (message.isEmpty())
        message =
            QStringLiteral("%1 failed (ODBC return code %2).").arg(QLatin1String(what)).arg(rc);
    throw EDbError(message, handle ? OdbcNativeErrors(handleType, handle) : QList<int>());
}
