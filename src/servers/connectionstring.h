#pragma once
// Keyword look-up in an OLE DB connection string ("keyword=value" items split by ";").

#include <QString>
#include <QStringList>

// The items of a connection string, in order: quoted items unquoted (a doubled
// double quote stands for one), empty items kept, nothing trimmed.
QStringList SplitConnectionString(const QString& AConnectionString);

// The value of AKey (letter case ignored, blanks are part of the keyword), empty
// when the keyword is absent or its value is exactly two double quotes.
QString GetConnectionStringValue(const QString& AConnectionString, const QString& AKey);
