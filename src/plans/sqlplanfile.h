#pragma once
// A plan saved as SSMS saves one: a .sqlplan file holds the XML as the server gave it,
// in UTF-16 (little-endian) after a byte order mark, so that SSMS and the other plan
// viewers open it as theirs.

#include <QByteArray>
#include <QString>

QByteArray SqlPlanFileContents(const QString& AXml);
// Writes the file whole or not at all; false with the reason in AError.
bool SaveSqlPlan(const QString& APath, const QString& AXml, QString& AError);
