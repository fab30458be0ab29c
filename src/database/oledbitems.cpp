#include "database/oledbitems.h"

namespace {

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

// Reads a quoted text starting at s[pos] (the quote); pos ends after the closing quote.
std::optional<QString> readQuoted(const QString& s, qsizetype& pos) {
    const QChar quote = s[pos++];
    QString text;
    while (pos < s.size()) {
        if (s[pos] == quote) {
            if (pos + 1 < s.size() && s[pos + 1] == quote) {
                text += quote;
                pos += 2;
                continue;
            }
            ++pos;
            return text;
        }
        text += s[pos++];
    }
    return std::nullopt;
}

// After a quoted text only blanks may come before the ";".
bool skipToSeparator(const QString& s, qsizetype& pos) {
    while (pos < s.size() && s[pos] != u';') {
        if (!s[pos].isSpace())
            return false;
        ++pos;
    }
    return true;
}

} // namespace

std::optional<QList<TOleDbItem>> ParseOleDbItems(const QString& s) {
    const qsizetype n = s.size();
    QList<TOleDbItem> items;
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && s[pos].isSpace())
            ++pos;
        const qsizetype start = pos;
        if (pos < n && s[pos] == u'"') {
            const std::optional<QString> whole = readQuoted(s, pos);
            if (!whole || !skipToSeparator(s, pos))
                return std::nullopt;
            const qsizetype eq = whole->indexOf(u'=');
            if (eq <= 0 || whole->left(eq).trimmed().isEmpty())
                return std::nullopt;
            items << TOleDbItem{whole->left(eq).trimmed(), whole->mid(eq + 1),
                                s.mid(start, pos - start).trimmed(), start};
            ++pos;
            continue;
        }
        const qsizetype eq = s.indexOf(u'=', pos);
        const qsizetype semi = s.indexOf(u';', pos);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            const qsizetype end = semi < 0 ? n : semi;
            if (!QStringView(s).mid(start, end - start).trimmed().isEmpty())
                return std::nullopt; // text that is no "keyword=value" item
            pos = end + 1;
            continue;
        }
        TOleDbItem item;
        item.keyword = s.mid(start, eq - start).trimmed();
        if (item.keyword.isEmpty())
            return std::nullopt;
        pos = eq + 1;
        while (pos < n && s[pos].isSpace() && s[pos] != u';')
            ++pos;
        if (pos < n && isQuote(s[pos])) {
            const std::optional<QString> value = readQuoted(s, pos);
            if (!value || !skipToSeparator(s, pos))
                return std::nullopt;
            item.value = *value;
        } else {
            qsizetype end = s.indexOf(u';', pos);
            if (end < 0)
                end = n;
            item.value = s.mid(pos, end - pos).trimmed();
            pos = end;
        }
        item.raw = s.mid(start, pos - start).trimmed();
        item.at = start;
        items << item;
        ++pos; // past the ";"
    }
    return items;
}

namespace {

bool isOneOf(QStringView AKeyword, std::initializer_list<const char*> AKeys) {
    for (const char* key : AKeys)
        if (AKeyword.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString lastValue(const QList<TOleDbItem>& AItems, bool (*AIsKeyword)(QStringView)) {
    for (auto it = AItems.crbegin(); it != AItems.crend(); ++it)
        if (AIsKeyword(it->keyword))
            return it->value;
    return QString();
}

} // namespace

bool IsOleDbUserKeyword(QStringView AKeyword) {
    return isOneOf(AKeyword, {"User ID", "UID", "User"});
}

bool IsOleDbPasswordKeyword(QStringView AKeyword) {
    return isOneOf(AKeyword, {"Password", "PWD"});
}

QString OleDbUser(const QList<TOleDbItem>& AItems) {
    return lastValue(AItems, IsOleDbUserKeyword);
}

QString OleDbPassword(const QList<TOleDbItem>& AItems) {
    return lastValue(AItems, IsOleDbPasswordKeyword);
}

QString OleDbItemText(const QString& AKeyword, const QString& AValue) {
    const QString item = AKeyword + u'=' + AValue;
    const bool needs = !AValue.isEmpty() && (AValue.contains(u';') || AValue.front().isSpace() ||
                                             AValue.back().isSpace() || isQuote(AValue.front()) ||
                                             isQuote(AValue.back()));
    if (!needs)
        return item;
    QString quoted = item;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}
