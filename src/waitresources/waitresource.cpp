#include "waitresources/waitresource.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// [name] with every "]" doubled, as T-SQL quotes an identifier.
QString bracketed(const QString& AName) {
    QString quoted = AName;
    return QLatin1Char('[') + quoted.replace(QLatin1Char(']'), QLatin1String("]]")) +
           QLatin1Char(']');
}

} // namespace

std::optional<TWaitResource> ParseWaitResource(const QString& AText) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(KEY|PAGE|RID|OBJECT|TAB):\\s*(\\d+):(\\d+)(?::(\\d+))?(?::(\\d+))?"));
    const QRegularExpressionMatch m = form.match(AText);
    if (!m.hasMatch())
        return std::nullopt;
    const QString kind = m.captured(1);
    TWaitResource r;
    r.DatabaseId = m.captured(2).toInt();
    if (kind == QLatin1String("KEY")) {
        if (m.hasCaptured(4))
            return std::nullopt;
        r.Kind = TWaitResource::TKind::Key;
        r.HobtId = m.captured(3).toLongLong();
    } else if (kind == QLatin1String("OBJECT") || kind == QLatin1String("TAB")) {
        r.Kind = TWaitResource::TKind::Object;
        r.ObjectId = m.captured(3).toLongLong();
    } else {
        if (!m.hasCaptured(4))
            return std::nullopt;
        r.Kind =
            kind == QLatin1String("RID") ? TWaitResource::TKind::Rid : TWaitResource::TKind::Page;
        r.FileId = m.captured(3).toInt();
        r.PageId = m.captured(4).toLongLong();
    }
    return r;
}

QString WaitResourceStatement(const TWaitResource& r, const QString& ADatabase) {
    // Every placeholder is filled in one pass: a database named "a%1" is text, not a
    // placeholder for the next argument.
    const QString db = bracketed(ADatabase);
    const QString names =
        QStringLiteral("select s.name, o.name, i.name\r\nfrom %1.sys.objects o\r\n"
                       "join %1.sys.schemas s on s.schema_id = o.schema_id\r\n")
            .arg(db);
    switch (r.Kind) {
    case TWaitResource::TKind::Key:
        return names + QStringLiteral("join %1.sys.partitions p on p.object_id = o.object_id\r\n"
                                      "left join %1.sys.indexes i on i.object_id = p.object_id and "
                                      "i.index_id = p.index_id\r\nwhere p.hobt_id = %2")
                           .arg(db, QString::number(r.HobtId));
    case TWaitResource::TKind::Object:
        return QStringLiteral("select s.name, o.name, null\r\nfrom %1.sys.objects o\r\n"
                              "join %1.sys.schemas s on s.schema_id = o.schema_id\r\n"
                              "where o.object_id = %2")
            .arg(db, QString::number(r.ObjectId));
    case TWaitResource::TKind::Page:
    case TWaitResource::TKind::Rid:
        break;
    }
    return names + QStringLiteral("join sys.dm_db_page_info(%2, %3, %4, 'LIMITED') g on "
                                  "g.object_id = o.object_id\r\n"
                                  "left join %1.sys.indexes i on i.object_id = g.object_id and "
                                  "i.index_id = g.index_id")
                       .arg(db, QString::number(r.DatabaseId), QString::number(r.FileId),
                            QString::number(r.PageId));
}

QString WaitResourceText(const QString& ADatabase, const QString& ASchema, const QString& ATable,
                         const QString& AIndex) {
    if (ATable.isEmpty())
        return ADatabase;
    QString text = ADatabase + QLatin1Char('.') + ASchema + QLatin1Char('.') + ATable;
    if (!AIndex.isEmpty())
        text += QStringLiteral(" (") + AIndex + QLatin1Char(')');
    return text;
}
