#include "servers/passwordplacement.h"

#include "database/oledbitems.h"
#include "servers/connectionstring.h"

#include <QStringList>

namespace {

const QString kUserID = QStringLiteral("User ID");

struct TSpan {
    qsizetype from;
    qsizetype to;
};

// The first of the blanks that stand before APos.
qsizetype blanksBefore(const QString& s, qsizetype APos) {
    while (APos > 0 && s[APos - 1].isSpace())
        --APos;
    return APos;
}

// What taking an item out removes: its text with the blanks before it and the ";" after
// it; for the last item the ";" before it instead. Every other item keeps its text, its
// blanks and its place, so the connect's look-up (for which a blank before a keyword
// hides it) reads the rest as before.
TSpan removal(const QString& s, const TOleDbItem& AItem) {
    qsizetype next = AItem.at + AItem.raw.size();
    while (next < s.size() && s[next].isSpace())
        ++next;
    if (next < s.size()) // only blanks stand between an item and its ";"
        return {blanksBefore(s, AItem.at), next + 1};
    qsizetype from = blanksBefore(s, AItem.at);
    if (from > 0)
        --from; // the ";" that ended the item before
    return {from, s.size()};
}

// A string the translation cannot read still holds a password when one of its pieces
// looks like a password item with a value; quotes alone are no value.
bool looksLikePassword(const QString& s) {
    for (const QString& piece : s.split(u';')) {
        QString text = piece.trimmed();
        while (!text.isEmpty() && (text.front() == u'"' || text.front() == u'\''))
            text.remove(0, 1);
        const qsizetype eq = text.indexOf(u'=');
        if (eq <= 0 || !IsOleDbPasswordKeyword(QStringView(text).left(eq).trimmed()))
            continue;
        QString value = text.mid(eq + 1);
        value.remove(u'"');
        value.remove(u'\'');
        if (!value.trimmed().isEmpty())
            return true;
    }
    return false;
}

} // namespace

QString PasswordInString(const QString& AConnectionString) {
    const auto items = ParseOleDbItems(AConnectionString);
    if (!items)
        return QString();
    // An empty item holds nothing to keep: the one before it that does is the password.
    for (auto it = items->crbegin(); it != items->crend(); ++it)
        if (IsOleDbPasswordKeyword(it->keyword) && !it->value.isEmpty())
            return it->value;
    return QString();
}

bool HoldsPassword(const QString& AConnectionString) {
    if (!ParseOleDbItems(AConnectionString))
        return looksLikePassword(AConnectionString);
    return !PasswordInString(AConnectionString).isEmpty();
}

QString WithoutPassword(const QString& AConnectionString) {
    const auto items = ParseOleDbItems(AConnectionString);
    if (!items)
        return AConnectionString;
    QString result = AConnectionString;
    // From the end, so that the places of the items still to go stay as they were read.
    for (auto it = items->crbegin(); it != items->crend(); ++it)
        if (IsOleDbPasswordKeyword(it->keyword)) {
            const TSpan span = removal(result, *it);
            result.remove(span.from, span.to - span.from);
        }
    return result;
}

QString WithUserID(const QString& AConnectionString, const QString& AUser) {
    const auto items = ParseOleDbItems(AConnectionString);
    if (!items)
        return AConnectionString;
    if (OleDbUser(*items) == AUser && GetConnectionStringValue(AConnectionString, kUserID) == AUser)
        return AConnectionString; // both read it already
    const QString item = OleDbItemText(kUserID, AUser);
    QString result = AConnectionString;
    const TOleDbItem* first = nullptr;
    for (const TOleDbItem& i : *items)
        if (IsOleDbUserKeyword(i.keyword)) {
            first = &i;
            break;
        }
    for (auto it = items->crbegin(); it != items->crend(); ++it)
        if (IsOleDbUserKeyword(it->keyword) && &*it != first) {
            const TSpan span = removal(result, *it);
            result.remove(span.from, span.to - span.from);
        }
    if (first) {
        // With the blanks before it: the connect's look-up takes a blank for part of the
        // keyword.
        const qsizetype from = blanksBefore(result, first->at);
        result.replace(from, first->at + first->raw.size() - from, item);
    } else {
        result.truncate(blanksBefore(result, result.size()));
        if (!result.isEmpty() && !result.endsWith(u';'))
            result += u';'; // a trailing ";" leaves room for it
        result += item;
    }
    // The look-up splits at every ";", also one inside a quoted value: an item before the
    // new one may then read as a user of its own. First in the string, the new one wins.
    if (GetConnectionStringValue(result, kUserID) != AUser)
        result = item + u';' + result;
    return result;
}

bool KeyringMayHoldPassword(const QString& AConnectionString) {
    // The connect decides by its own look-up whether it logs in with integrated security
    // and which user it names; the keyring can stand in for the password only there.
    if (GetConnectionStringValue(AConnectionString, QStringLiteral("Integrated Security")) ==
        QLatin1String("SSPI"))
        return false;
    return !GetConnectionStringValue(AConnectionString, kUserID).isEmpty() &&
           !HoldsPassword(AConnectionString);
}
