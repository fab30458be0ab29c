#include "plans/sqlplanfile.h"

#include <QSaveFile>
#include <QtEndian>

QByteArray SqlPlanFileContents(const QString& AXml) {
    QByteArray bytes("\xFF\xFE", 2);
    bytes.reserve(2 + 2 * AXml.size());
    for (const QChar c : AXml) {
        char16_t unit = qToLittleEndian(c.unicode());
        bytes.append(reinterpret_cast<const char*>(&unit), 2);
    }
    return bytes;
}

bool SaveSqlPlan(const QString& APath, const QString& AXml, QString& AError) {
    QSaveFile file(APath);
    if (!file.open(QIODevice::WriteOnly) || file.write(SqlPlanFileContents(AXml)) < 0 ||
        !file.commit()) {
        AError = file.errorString();
        return false;
    }
    return true;
}
