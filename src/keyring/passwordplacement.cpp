#include "keyring/passwordplacement.h"

#include "servers/connectionstring.h"

#include <QStringList>
#include <algorithm>

namespace {

const QString kPassword = QStringLiteral("Password");
const QString kUserID = QStringLiteral("User ID");

// The keyword as the look-up matches it: the text before the first "=", letter case
// ignored, blanks counting.
bool hasKeyword(const QString& item, const QString& key) {
    const qsizetype eq = item.indexOf(u'=');
    return eq >= 0 && QStringView(item).left(eq).compare(key, Qt::CaseInsensitive) == 0;
}

// An item written back so that the look-up reads it as before: one that holds a ";" or
// starts with a quote only as a quoted item, every other one exactly as it was.
QString itemText(const QString& item) {
    if (!item.contains(u';') && !item.startsWith(u'"'))
        return item;
    return u'"' + QString(item).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QString joined(const QStringList& items) {
    QStringList texts;
    for (const QString& item : items)
        texts << itemText(item);
    return texts.join(u';');
}

} // namespace

QString PasswordInString(const QString& AConnectionString) {
    return GetConnectionStringValue(AConnectionString, kPassword);
}

QString WithoutPassword(const QString& AConnectionString) {
    QStringList kept;
    bool removed = false;
    for (const QString& item : SplitConnectionString(AConnectionString)) {
        if (hasKeyword(item, kPassword))
            removed = true;
        else
            kept << item;
    }
    // A string without a password item stays exactly as the user wrote it.
    return removed ? joined(kept) : AConnectionString;
}

QString WithUserID(const QString& AConnectionString, const QString& AUser) {
    QStringList items = SplitConnectionString(AConnectionString);
    const QString item = kUserID + u'=' + AUser;
    auto it = std::find_if(items.begin(), items.end(),
                           [](const QString& i) { return hasKeyword(i, kUserID); });
    if (it != items.end())
        *it = item;
    else if (!items.isEmpty() && items.last().isEmpty())
        items.last() = item; // a trailing ";" leaves room for it
    else
        items << item;
    return joined(items);
}

bool KeyringMayHoldPassword(const QString& AConnectionString) {
    if (GetConnectionStringValue(AConnectionString, QStringLiteral("Integrated Security")) ==
        QLatin1String("SSPI"))
        return false;
    return !GetConnectionStringValue(AConnectionString, kUserID).isEmpty() &&
           PasswordInString(AConnectionString).isEmpty();
}
