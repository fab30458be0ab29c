#include "servers/datalinkstring.h"

#include "database/oledbitems.h"

#include <QStringList>

namespace {

bool isKeyword(const QString& keyword, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (keyword.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isTrue(const QString& value) {
    return isKeyword(value, {"True", "Yes", "SSPI"});
}

// A value the dialog can show; any other (a typing error) passes through as it is.
std::optional<TDataLinkSettings::TEncryption> encryptionOf(const QString& value) {
    if (isKeyword(value.trimmed(), {"Strict"}))
        return TDataLinkSettings::TEncryption::Strict;
    if (isKeyword(value.trimmed(), {"Mandatory", "True", "Yes"}))
        return TDataLinkSettings::TEncryption::Mandatory;
    if (isKeyword(value.trimmed(), {"Optional", "False", "No"}))
        return TDataLinkSettings::TEncryption::Optional;
    return std::nullopt;
}

} // namespace

std::optional<TDataLinkSettings> ParseDataLinkString(const QString& AConnectionString) {
    const auto items = ParseOleDbItems(AConnectionString);
    if (!items)
        return std::nullopt;

    TDataLinkSettings settings;
    // Data Source names the server before Server, and Server before Address; within
    // one keyword the last item wins, as with the providers.
    QString servers[3];
    bool serverGiven[3] = {false, false, false};
    bool persist = false;
    bool passwordGiven = false;
    for (const TOleDbItem& item : *items) {
        const QString& k = item.keyword;
        if (isKeyword(k, {"Provider"})) {
            settings.provider = item.value;
        } else if (isKeyword(k, {"Data Source"})) {
            servers[0] = item.value;
            serverGiven[0] = true;
        } else if (isKeyword(k, {"Server"})) {
            servers[1] = item.value;
            serverGiven[1] = true;
        } else if (isKeyword(k, {"Address", "Addr", "Network Address"})) {
            servers[2] = item.value;
            serverGiven[2] = true;
        } else if (isKeyword(k, {"Initial Catalog", "Database"})) {
            settings.database = item.value;
        } else if (isKeyword(k, {"User ID"})) {
            settings.user = item.value;
        } else if (isKeyword(k, {"Password"})) {
            settings.password = item.value;
            passwordGiven = true;
        } else if (isKeyword(k, {"Integrated Security"})) {
            settings.integratedSecurity = isTrue(item.value);
        } else if (isKeyword(k, {"Persist Security Info"})) {
            persist = isTrue(item.value);
        } else if (isKeyword(k, {"Use Encryption for Data", "Encrypt"}) &&
                   encryptionOf(item.value)) {
            settings.encryption = *encryptionOf(item.value);
        } else if (isKeyword(k, {"Trust Server Certificate", "TrustServerCertificate"})) {
            settings.trustServerCertificate = isTrue(item.value);
        } else if (isKeyword(k, {"CAFile", "Certificate File"})) {
            settings.caFile = item.value;
        } else if (isKeyword(k, {"Connect Timeout"})) {
            bool ok = false;
            const int seconds = item.value.toInt(&ok);
            settings.connectTimeout =
                ok && seconds >= 0 ? seconds : TDataLinkSettings::kDefaultConnectTimeout;
        } else {
            settings.otherItems << item.raw;
        }
    }
    for (int i = 0; i < 3; ++i)
        if (serverGiven[i]) {
            settings.server = servers[i];
            break;
        }
    settings.blankPassword = passwordGiven && settings.password.isEmpty();
    // A string that carries its password was saved with it.
    settings.savePassword = persist || !settings.password.isEmpty();
    return settings;
}

QString BuildDataLinkString(const TDataLinkSettings& ASettings) {
    const TDataLinkSettings& s = ASettings;
    QStringList items;
    auto add = [&items](const char* keyword, const QString& value) {
        items << OleDbItemText(QLatin1String(keyword), value);
    };
    add("Provider", s.provider);
    if (!s.server.isEmpty())
        add("Data Source", s.server);
    if (!s.database.isEmpty())
        add("Initial Catalog", s.database);
    if (s.integratedSecurity) {
        add("Integrated Security", QStringLiteral("SSPI"));
    } else {
        if (!s.user.isEmpty())
            add("User ID", s.user);
        if (s.blankPassword)
            items << QStringLiteral("Password=\"\"");
        else if (s.savePassword && !s.password.isEmpty())
            add("Password", s.password);
    }
    add("Persist Security Info", s.savePassword ? QStringLiteral("True") : QStringLiteral("False"));
    add("Connect Timeout", QString::number(s.connectTimeout));
    switch (s.encryption) {
    case TDataLinkSettings::TEncryption::ProviderDefault:
        break;
    case TDataLinkSettings::TEncryption::Optional:
        add("Use Encryption for Data", QStringLiteral("Optional"));
        break;
    case TDataLinkSettings::TEncryption::Mandatory:
        add("Use Encryption for Data", QStringLiteral("Mandatory"));
        break;
    case TDataLinkSettings::TEncryption::Strict:
        add("Use Encryption for Data", QStringLiteral("Strict"));
        break;
    }
    if (s.trustServerCertificate)
        add("Trust Server Certificate", QStringLiteral("True"));
    if (!s.caFile.isEmpty())
        add("CAFile", s.caFile);
    items << s.otherItems;
    return items.join(u';');
}
