#pragma once
// What the data-link dialog shows of an OLE DB connection string, and the string it
// writes back. Plain values only, so the round trip is testable without a window.

#include <QList>
#include <QString>
#include <optional>

struct TDataLinkSettings {
    static constexpr int kDefaultConnectTimeout = 15; // the providers' own default

    QString provider = QStringLiteral("SQLOLEDB.1");
    QString server; // host, host\instance or host,port
    bool integratedSecurity = false;
    QString user;
    QString password;
    bool blankPassword = false; // log in with an empty password rather than none
    bool savePassword = false;  // write the password into the string
    QString database;
    int connectTimeout = kDefaultConnectTimeout;
    // "Use Encryption for Data": the provider's default when not given.
    enum class TEncryption { ProviderDefault, Optional, Mandatory, Strict };
    TEncryption encryption = TEncryption::ProviderDefault;
    bool trustServerCertificate = false; // "Trust Server Certificate"
    QString caFile;                      // "CAFile": authorities to trust; empty: the system's
    // Items the dialog does not show, as they stood in the string (keyword=value,
    // quotes and all), so that writing the string back keeps them unchanged.
    QList<QString> otherItems;

    bool operator==(const TDataLinkSettings&) const = default;
};

// The dialog's fields from a connection string (keywords in any letter case; "Data
// Source", "Server" or "Address" for the server, "Initial Catalog" or "Database" for
// the database). Empty when the string is malformed.
std::optional<TDataLinkSettings> ParseDataLinkString(const QString& AConnectionString);

// The connection string for the fields: Provider, Data Source, Initial Catalog, the
// log-on, Persist Security Info, Connect Timeout, the encryption items that are set, then
// the other items unchanged. The password is written only when saving it is allowed (or
// as "" when it is blank).
QString BuildDataLinkString(const TDataLinkSettings& ASettings);
