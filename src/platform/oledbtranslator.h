#pragma once
// Connection strings stay in their OLE DB form everywhere in the app (stored, shown,
// searched by keyword); this is the one place that turns such a string into what the
// FreeTDS ODBC driver understands.

#include "platform/freetdsconfig.h"

#include <QString>
#include <optional>

struct TOdbcConnectParams {
    QString connectionString; // ODBC keywords for SQLDriverConnect
    int loginTimeoutSec = 15; // SQL_ATTR_LOGIN_TIMEOUT ("Connect Timeout")
    // "Use Encryption for Data" Mandatory, or the provider's default: the whole connection
    // must run in TLS.
    bool encryptionRequired = false;
    // Set when the server's certificate must be verified; the connection string then names
    // this freetds.conf section (ServerName=) instead of the server.
    std::optional<TFreeTdsSection> verifiedTls;
    // Where the server is, for telling why a TLS connection failed.
    QString host;
    int port = 0; // 0 with an instance
    QString instance;
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

// MSOLEDBSQL 19 and later encrypt (and verify the certificate) unless told otherwise; the
// older providers do not.
bool ProviderEncryptsByDefault(const QString& AProvider);

// Quotes a value for the FreeTDS ODBC driver when it needs it: {value}. Throws EDbError
// for a value the driver cannot take (one containing "};").
QString QuoteOdbcValue(const QString& value);
