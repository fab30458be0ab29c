#include "platform/datalinkstring.h"

#include <QStringList>

namespace {

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

bool isKeyword(const QString& keyword, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (keyword.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isTrue(const QString& value) {
    return isKeyword(value, {"True", "Yes", "SSPI"});
}

} // namespace

std::optional<QList<TDataLinkItem>> ParseDataLinkItems(const QString& AConnectionString) {
    const QString& s = AConnectionString;
    const qsizetype n = s.size();
    QList<TDataLinkItem> items;
    qsizetype pos = 0;
    while (pos < n) {
        const qsizetype start = pos;
        const qsizetype eq = s.indexOf(u'=', pos);
        const qsizetype semi = s.indexOf(u';', pos);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            const qsizetype end = semi < 0 ? n : semi;
            if (!QStringView(s).mid(start, end - start).trimmed().isEmpty())
                return std::nullopt; // text that is no "keyword=value" item
            pos = end + 1;
            continue;
        }
        TDataLinkItem item;
        item.keyword = s.mid(start, eq - start).trimmed();
        if (item.keyword.isEmpty())
            return std::nullopt;
        pos = eq + 1;
        while (pos < n && s[pos].isSpace() && s[pos] != u';')
            ++pos;
        if (pos < n && isQuote(s[pos])) {
            const QChar quote = s[pos++];
            bool closed = false;
            while (pos < n) {
                if (s[pos] == quote) {
                    if (pos + 1 < n && s[pos + 1] == quote) {
                        item.value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                item.value += s[pos++];
            }
            if (!closed)
                return std::nullopt;
            while (pos < n && s[pos] != u';') {
                if (!s[pos].isSpace())
                    return std::nullopt; // text after the closing quote
                ++pos;
            }
        } else {
            qsizetype end = s.indexOf(u';', pos);
            if (end < 0)
                end = n;
            item.value = s.mid(pos, end - pos).trimmed();
            pos = end;
        }
        item.raw = s.mid(start, pos - start).trimmed();
        items << item;
        ++pos; // past the ";"
    }
    return items;
}

std::optional<TDataLinkSettings> ParseDataLinkString(const QString& AConnectionString) {
    const auto items = ParseDataLinkItems(AConnectionString);
    if (!items)
        return std::nullopt;

    TDataLinkSettings settings;
    // Data Source names the server before Server, and Server before Address; within
    // one keyword the last item wins, as with the providers.
    QString servers[3];
    bool serverGiven[3] = {false, false, false};
    bool persist = false;
    bool passwordGiven = false;
    for (const TDataLinkItem& item : *items) {
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

QString QuoteDataLinkValue(const QString& AValue) {
    const bool needs = !AValue.isEmpty() && (AValue.contains(u';') || AValue.front().isSpace() ||
                                             AValue.back().isSpace() || isQuote(AValue.front()) ||
                                             isQuote(AValue.back()));
    if (!needs)
        return AValue;
    QString quoted = AValue;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString BuildDataLinkString(const TDataLinkSettings& ASettings) {
    const TDataLinkSettings& s = ASettings;
    QStringList items;
    auto add = [&items](const char* keyword, const QString& value) {
        items << QLatin1String(keyword) + u'=' + QuoteDataLinkValue(value);
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
    items << s.otherItems;
    return items.join(u';');
}
