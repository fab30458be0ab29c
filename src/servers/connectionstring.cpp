#include "servers/connectionstring.h"

QStringList SplitConnectionString(const QString& AConnectionString) {
    const QString& s = AConnectionString;
    const qsizetype length = s.size();
    QStringList items;
    qsizetype pos = 0;
    while (pos < length) {
        QString item;
        if (s[pos] == u'"') {
            // A quoted item ends at the first quote that is not doubled; an unclosed
            // one takes the rest of the string.
            ++pos;
            while (pos < length) {
                if (s[pos] == u'"') {
                    if (pos + 1 < length && s[pos + 1] == u'"') {
                        item += u'"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item += s[pos++];
            }
        } else {
            qsizetype end = s.indexOf(u';', pos);
            if (end < 0)
                end = length;
            item = s.mid(pos, end - pos);
            pos = end;
        }
        items << item;
        if (pos < length && s[pos] == u';') {
            ++pos;
            if (pos == length)
                items << QString();
        }
    }
    return items;
}

QString GetConnectionStringValue(const QString& AConnectionString, const QString& AKey) {
    for (const QString& item : SplitConnectionString(AConnectionString)) {
        const qsizetype eq = item.indexOf(u'=');
        if (eq < 0)
            continue;
        if (QStringView(item).left(eq).compare(AKey, Qt::CaseInsensitive) != 0)
            continue;
        const QString value = item.mid(eq + 1);
        return value == QLatin1String("\"\"") ? QString() : value;
    }
    return QString();
}
