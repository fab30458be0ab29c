#pragma once
// Connection strings stay in their OLE DB form everywhere in the app (stored, shown,
// searched by keyword); this is the one place that turns such a string into what the
// FreeTDS ODBC driver understands.

#include "database/tlschannel.h"

#include <QString>
#include <optional>

struct TOdbcConnectParams {
    // ODBC keywords for SQLDriverConnect. For an encrypted connection the server is left
    // out: the driver is pointed at the relay's endpoint (RelayServerItems) when it exists.
    QString connectionString;
    int loginTimeoutSec = 15; // SQL_ATTR_LOGIN_TIMEOUT ("Connect Timeout")
    // Set when the whole connection must be encrypted ("Use Encryption for Data" Mandatory
    // or Strict, or the provider's default): Dervel makes the encrypted connection itself.
    std::optional<TTlsTarget> tls;
    // The server's name as LOGIN7 carries it to the server.
    QString serverName;
    // Integrated security without an explicit service principal: for an encrypted
    // connection the driver only knows the relay's endpoint, so the principal of the real
    // server is named for it (KerberosServerSpn).
    bool needsServerSpn = false;
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

// The ODBC items that point the driver at a relay's endpoint: the section of the private
// configuration file whose host is the loopback address, the port, and no TLS of the
// driver's own.
QString RelayServerItems(quint16 APort);

// The Kerberos principal FreeTDS would ask for when connecting to the host and port itself:
// MSSQLSvc/host:port, a host without a dot made canonical by the resolver first.
QString KerberosServerSpn(const QString& AHost, int APort);

// MSOLEDBSQL 19 and later encrypt (and verify the certificate) unless told otherwise; the
// older providers do not.
bool ProviderEncryptsByDefault(const QString& AProvider);

// Quotes a value for the FreeTDS ODBC driver when it needs it: {value}. Throws EDbError
// for a value the driver cannot take (one containing "};").
QString QuoteOdbcValue(const QString& value);
