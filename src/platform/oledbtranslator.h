#pragma once
// Connection strings stay in their OLE DB form everywhere in the app (stored, shown,
// searched by keyword); this is the one place that turns such a string into what the
// FreeTDS ODBC driver understands.

#include <QString>
#include <optional>

struct TOdbcConnectParams {
    QString connectionString; // ODBC keywords for SQLDriverConnect
    int loginTimeoutSec = 15; // SQL_ATTR_LOGIN_TIMEOUT ("Connect Timeout")
};

// Credentials that override those of the string (the login prompt's, or the ones
// the caller read from the string itself).
struct TDbCredentials {
    QString user;
    QString password;
};

// Throws EDbError for a provider or a network form this system cannot reach.
TOdbcConnectParams TranslateOleDbConnectionString(const QString& oledb,
                                                  const std::optional<TDbCredentials>& credentials);

// Quotes a value for the FreeTDS ODBC driver when it needs it: {value}. Throws EDbError
// for a value the driver cannot take (one containing "};").
QString QuoteOdbcValue(const QString& value);
