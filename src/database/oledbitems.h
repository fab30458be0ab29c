#pragma once
// The items of an OLE DB connection string, read as the providers read them, and the
// form in which this app writes an item.

#include <QList>
#include <QString>
#include <optional>

struct TOleDbItem {
    QString keyword;  // blanks around it dropped
    QString value;    // unquoted
    QString raw;      // the item's own text, trimmed
    qsizetype at = 0; // where raw begins in the string
    bool operator==(const TOleDbItem&) const = default;
};

// Splits a connection string into its items; blank items are dropped. A value may be
// quoted with " or ' (a doubled quote inside stands for one); an item may also stand
// wholly in double quotes ("Password=a;b"). Empty when the string is malformed: an
// item without "=" or without a keyword, a quote that is not closed, or text after a
// closing quote.
std::optional<QList<TOleDbItem>> ParseOleDbItems(const QString& AConnectionString);

// Whether the providers take the keyword for the user name, or for the password.
bool IsOleDbUserKeyword(QStringView AKeyword);
bool IsOleDbPasswordKeyword(QStringView AKeyword);

// The user name and the password as the providers take them from the items: the last item
// under any of their keywords; empty when there is none.
QString OleDbUser(const QList<TOleDbItem>& AItems);
QString OleDbPassword(const QList<TOleDbItem>& AItems);

// "keyword=value"; when the value contains ";" or starts or ends with a blank or a quote,
// the whole item in double quotes with every double quote doubled. That is the quoted
// form the app's own keyword look-up reads, so a password with ";" survives both.
QString OleDbItemText(const QString& AKeyword, const QString& AValue);
