#include "database/dbrecordset.h"

#include "database/dberror.h"

const TDbValue& TDbRecordset::valueAt(int i) const {
    return eof() ? FNoRow : FRows[FPos][i];
}

TDbField TDbRecordset::field(int i) const {
    if (i < 0 || i >= fieldCount())
        throw EDbError(QStringLiteral("Field index %1 out of range").arg(i));
    return TDbField(&FNames[i], &valueAt(i));
}

TDbField TDbRecordset::fieldByName(const QString& name) const {
    for (int i = 0; i < fieldCount(); ++i)
        if (FNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return TDbField(&FNames[i], &valueAt(i));
    throw EDbError(QStringLiteral("Field '%1' not found").arg(name));
}
