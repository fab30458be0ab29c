#include "platform/oledbtranslator.h"

#include "platform/dberror.h"
#include "platform/oledbitems.h"

#include <QStringList>

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

// "Use Encryption for Data" as the providers read it: Optional / Mandatory (and Strict)
// from MSOLEDBSQL 19 on, true / false before.
bool encryptionRequired(const QString& value) {
    const QString s = value.trimmed().toLower();
    if (s == QLatin1String("mandatory") || s == QLatin1String("true") ||
        s == QLatin1String("yes") || s == QLatin1String("1"))
        return true;
    if (s == QLatin1String("optional") || s == QLatin1String("false") || s == QLatin1String("no") ||
        s == QLatin1String("0"))
        return false;
    if (s == QLatin1String("strict"))
        throw EDbError(QStringLiteral("Use Encryption for Data=Strict needs TDS 8.0, which the "
                                      "FreeTDS driver of this system does not speak; use "
                                      "Mandatory, which encrypts the whole connection and "
                                      "verifies the server's certificate."));
    throw EDbError(QStringLiteral("Use Encryption for Data '%1' is not one of Optional, "
                                  "Mandatory, True or False.")
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
    params.host = server.host;
    params.port = server.port.isEmpty() && server.instance.isEmpty() ? 1433 : server.port.toInt();
    params.instance = server.port.isEmpty() ? server.instance : QString();

    bool encryptGiven = false;
    const QString encrypt = itemValue(items, {"Use Encryption for Data", "Encrypt"}, &encryptGiven);
    params.encryptionRequired =
        encryptGiven ? encryptionRequired(encrypt) : ProviderEncryptsByDefault(provider);
    // The certificate is checked when the connection must be encrypted, unless the string
    // says to trust it. FreeTDS takes the CA file and the host-name check from freetds.conf
    // only: the connection names a section of our own.
    if (params.encryptionRequired &&
        !isTrue(itemValue(items, {"Trust Server Certificate", "TrustServerCertificate"}))) {
        TFreeTdsSection section;
        section.host = server.host;
        section.port = params.port > 0 ? QString::number(params.port) : QString();
        section.instance = params.instance;
        const QString ca = itemValue(items, {"CAFile", "Certificate File"}).trimmed();
        section.caFile = ca.isEmpty() ? QStringLiteral("system") : ca;
        params.verifiedTls = section;
        add("ServerName", FreeTdsSectionName(section));
    } else if (!server.port.isEmpty()) {
        // An explicit port makes the instance name irrelevant, as for SQL Server's own clients.
        add("Server", server.host);
        add("Port", server.port);
    } else if (!server.instance.isEmpty()) {
        // FreeTDS asks the SQL Server Browser (UDP 1434) for the instance's port.
        add("Server", server.host + QLatin1Char('\\') + server.instance);
    } else {
        add("Server", server.host);
        add("Port", QStringLiteral("1433"));
    }
    // Pinned: with automatic version detection a server that accepts TCP and never
    // answers hangs the connect for ever, whatever the login timeout.
    add("TDS_Version", QStringLiteral("7.4"));
    add("ClientCharset", QStringLiteral("UTF-8"));

    const QString database = itemValue(items, {"Initial Catalog", "Database"});
    if (!database.isEmpty())
        add("Database", database);

    if (credentials) {
        add("UID", credentials->user);
        add("PWD", credentials->password);
    } else if (isTrue(itemValue(items, {"Integrated Security", "Trusted_Connection"}))) {
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

    if (params.encryptionRequired)
        add("Encryption", QStringLiteral("require"));
    else if (encryptGiven)
        add("Encryption", QStringLiteral("request"));
    const QString spn = itemValue(items, {"Server SPN", "ServerSPN"});
    if (!spn.isEmpty())
        add("ServerSPN", spn);

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
    return params;
}
