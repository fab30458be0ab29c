#include "database/oledbtranslator.h"

#include "database/dberror.h"
#include "database/freetdsconfig.h"
#include "database/oledbitems.h"

#include <QStringList>
#include <cstring>
#include <netdb.h>

QString QuoteOdbcValue(const QString& value) {
    static const QString special = QStringLiteral(";{}=");
    bool needs = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    for (QChar c : value)
        needs = needs || special.contains(c);
    if (!needs)
        return value;
    // FreeTDS ends a braced value at the first "}" followed by ";" or the end and does
    // not undouble "}}", so a brace inside needs no escape and "};" cannot be passed at
    // all. The value itself stays out of the message: it may be a password.
    if (value.contains(QLatin1String("};")))
        throw EDbError(QStringLiteral("A connection string value containing \"};\" cannot be "
                                      "passed to the FreeTDS driver."));
    return QLatin1Char('{') + value + QLatin1Char('}');
}

namespace {

// The last item with any of the keywords wins, as with the providers.
QString itemValue(const QList<TOleDbItem>& items, std::initializer_list<const char*> keys,
                  bool* present = nullptr) {
    QString value;
    bool found = false;
    for (const TOleDbItem& item : items)
        for (const char* k : keys)
            if (item.keyword.compare(QLatin1String(k), Qt::CaseInsensitive) == 0) {
                value = item.value;
                found = true;
            }
    if (present)
        *present = found;
    return value;
}

bool isTrue(const QString& v) {
    const QString s = v.trimmed().toLower();
    return s == QLatin1String("true") || s == QLatin1String("yes") || s == QLatin1String("1") ||
           s == QLatin1String("sspi");
}

enum class TEncryption { Optional, Mandatory, Strict };

// "Use Encryption for Data" as the providers read it: Optional / Mandatory / Strict from
// MSOLEDBSQL 19 on, true / false before.
TEncryption encryptionOf(const QString& value) {
    const QString s = value.trimmed().toLower();
    if (s == QLatin1String("mandatory") || s == QLatin1String("true") ||
        s == QLatin1String("yes") || s == QLatin1String("1"))
        return TEncryption::Mandatory;
    if (s == QLatin1String("optional") || s == QLatin1String("false") || s == QLatin1String("no") ||
        s == QLatin1String("0"))
        return TEncryption::Optional;
    if (s == QLatin1String("strict"))
        return TEncryption::Strict;
    throw EDbError(QStringLiteral("Use Encryption for Data '%1' is not one of Optional, "
                                  "Mandatory, Strict, True or False.")
                       .arg(value));
}

} // namespace

bool ProviderEncryptsByDefault(const QString& provider) {
    const QString p = provider.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    if (!p.startsWith(QLatin1String("MSOLEDBSQL")))
        return false;
    bool ok = false;
    const int version = p.mid(10).toInt(&ok);
    return ok && version >= 19;
}

namespace {

void checkProvider(const QString& provider) {
    if (provider.isEmpty())
        return;
    // "SQLOLEDB.1", "SQLNCLI11.1", "MSOLEDBSQL19" and the like all name SQL Server providers.
    const QString p = provider.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    if (p == QLatin1String("SQLOLEDB") || p.startsWith(QLatin1String("SQLNCLI")) ||
        p.startsWith(QLatin1String("MSOLEDBSQL")))
        return;
    throw EDbError(QStringLiteral("Provider '%1' is not supported: Dervel reaches SQL Server "
                                  "through FreeTDS; use SQLOLEDB, SQLNCLI11 or MSOLEDBSQL.")
                       .arg(provider));
}

struct ServerAddress {
    QString host;
    QString instance;
    QString port;
};

ServerAddress parseDataSource(QString source) {
    source = source.trimmed();
    const int colon = source.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        const QString protocol = source.left(colon).trimmed().toLower();
        if (protocol == QLatin1String("np") || protocol == QLatin1String("lpc"))
            throw EDbError(QStringLiteral("Data Source '%1': named pipes and shared memory are not "
                                          "available on this system; give the server as "
                                          "host, host\\instance or host,port (TCP).")
                               .arg(source));
        if (protocol == QLatin1String("tcp"))
            source = source.mid(colon + 1).trimmed();
    }
    ServerAddress address;
    const int comma = source.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        address.port = source.mid(comma + 1).trimmed();
        source = source.left(comma).trimmed();
    }
    const int slash = source.indexOf(QLatin1Char('\\'));
    if (slash >= 0) {
        address.instance = source.mid(slash + 1).trimmed();
        source = source.left(slash).trimmed();
    }
    if (source.isEmpty() || source == QLatin1String(".") ||
        source.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
        source = QStringLiteral("localhost");
    address.host = source;
    return address;
}

} // namespace

TOdbcConnectParams
TranslateOleDbConnectionString(const QString& oledb,
                               const std::optional<TDbCredentials>& credentials) {
    const std::optional<QList<TOleDbItem>> parsed = ParseOleDbItems(oledb);
    if (!parsed)
        throw EDbError(QStringLiteral("The connection string cannot be read: an item is not "
                                      "keyword=value, or a quote is not closed."));
    const QList<TOleDbItem>& items = *parsed;
    const QString provider = itemValue(items, {"Provider"});
    checkProvider(provider);
    TOdbcConnectParams params;

    QStringList odbc;
    auto add = [&odbc](const char* key, const QString& value) {
        odbc << QLatin1String(key) + QLatin1Char('=') + QuoteOdbcValue(value);
    };
    add("Driver", QStringLiteral("FreeTDS"));

    // Address names the server more precisely than Data Source, as with the providers.
    QString source = itemValue(items, {"Address", "Addr", "Network Address"});
    if (source.isEmpty())
        source = itemValue(items, {"Data Source", "Server"});
    const ServerAddress server = parseDataSource(source);

    bool encryptGiven = false;
    const QString encrypt = itemValue(items, {"Use Encryption for Data", "Encrypt"}, &encryptGiven);
    const TEncryption encryption =
        encryptGiven ? encryptionOf(encrypt)
                     : (ProviderEncryptsByDefault(provider) ? TEncryption::Mandatory
                                                            : TEncryption::Optional);
    const QString port =
        server.port.isEmpty() && server.instance.isEmpty() ? QStringLiteral("1433") : server.port;
    const QString instance = server.port.isEmpty() ? server.instance : QString();
    params.serverName =
        instance.isEmpty() ? server.host : server.host + QLatin1Char('\\') + instance;
    if (encryption != TEncryption::Optional) {
        // Dervel makes the encrypted connection itself; the driver reaches it through the
        // relay, whose endpoint is added when it exists.
        TTlsTarget tls;
        tls.server = source.trimmed().isEmpty() ? server.host : source.trimmed();
        tls.host = server.host;
        tls.port = port.toInt();
        tls.instance = instance;
        tls.strict = encryption == TEncryption::Strict;
        // TDS 8.0 always checks the certificate, as the providers do.
        tls.verify =
            tls.strict ||
            !isTrue(itemValue(items, {"Trust Server Certificate", "TrustServerCertificate"}));
        tls.caFile = itemValue(items, {"CAFile", "Certificate File"}).trimmed();
        tls.certificateName =
            itemValue(items, {"Host Name In Certificate", "HostNameInCertificate"}).trimmed();
        params.tls = tls;
    } else if (!instance.isEmpty()) {
        // FreeTDS asks the SQL Server Browser (UDP 1434) for the instance's port.
        add("Server", params.serverName);
    } else {
        // An explicit port makes the instance name irrelevant, as for SQL Server's own clients.
        add("Server", server.host);
        add("Port", port);
    }
    // Pinned: with automatic version detection a server that accepts TCP and never
    // answers hangs the connect for ever, whatever the login timeout.
    add("TDS_Version", QStringLiteral("7.4"));
    add("ClientCharset", QStringLiteral("UTF-8"));

    const QString database = itemValue(items, {"Initial Catalog", "Database"});
    if (!database.isEmpty())
        add("Database", database);

    const bool integrated =
        !credentials && isTrue(itemValue(items, {"Integrated Security", "Trusted_Connection"}));
    if (credentials) {
        add("UID", credentials->user);
        add("PWD", credentials->password);
    } else if (integrated) {
        add("Trusted_Connection", QStringLiteral("Yes")); // Kerberos through GSSAPI
    } else {
        add("UID", OleDbUser(items));
        add("PWD", OleDbPassword(items));
    }

    const QString app = itemValue(items, {"Application Name", "App"});
    add("APP", app.isEmpty() ? QStringLiteral("Dervel") : app);
    const QString wsid = itemValue(items, {"Workstation ID", "WSID"});
    if (!wsid.isEmpty())
        add("WSID", wsid);

    if (!params.tls && encryptGiven)
        add("Encryption", QStringLiteral("request"));
    const QString spn = itemValue(items, {"Server SPN", "ServerSPN"});
    if (!spn.isEmpty())
        add("ServerSPN", spn);
    params.needsServerSpn = params.tls && integrated && spn.isEmpty();

    const QString packetSize = itemValue(items, {"Packet Size"});
    if (!packetSize.isEmpty())
        add("PacketSize", packetSize);
    const QString language = itemValue(items, {"Current Language", "Language"});
    if (!language.isEmpty())
        add("Language", language);

    params.connectionString = odbc.join(QLatin1Char(';'));
    bool timeoutGiven = false;
    const QString timeout =
        itemValue(items, {"Connect Timeout", "Connection Timeout", "Timeout"}, &timeoutGiven);
    if (timeoutGiven) {
        bool ok = false;
        const int seconds = timeout.trimmed().toInt(&ok);
        if (!ok || seconds < 0)
            throw EDbError(
                QStringLiteral("Connect Timeout '%1' is not a number of seconds.").arg(timeout));
        params.loginTimeoutSec = seconds;
    }
    if (params.tls)
        params.tls->timeoutMs = params.loginTimeoutSec * 1000; // 0: no limit, as for the driver
    return params;
}

QString RelayServerItems(quint16 APort) {
    return QStringLiteral("ServerName=%1;Port=%2;Encryption=off")
        .arg(QLatin1String(kFreeTdsRelaySection))
        .arg(APort);
}

QString KerberosServerSpn(const QString& AHost, int APort) {
    QString host = AHost;
    if (!host.contains(QLatin1Char('.'))) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_V4MAPPED | AI_ADDRCONFIG | AI_CANONNAME;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) == 0) {
            if (found->ai_canonname && std::strchr(found->ai_canonname, '.'))
                host = QString::fromUtf8(found->ai_canonname);
            ::freeaddrinfo(found);
        }
    }
    return QStringLiteral("MSSQLSvc/%1:%2").arg(host).arg(APort);
}
