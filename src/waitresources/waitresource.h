#pragma once
// A lock's wait resource as sys.dm_exec_requests gives it ("KEY: 5:72057594043236352
// (8194443284a0)", "PAGE: 5:1:104", "RID: 5:1:104:3", "OBJECT: 5:245575913:0"), and the
// statement that names what it is on: database, schema.table and index where known.

#include <QString>
#include <QtGlobal>
#include <optional>

struct TWaitResource {
    enum class TKind { Key, Page, Rid, Object };
    TKind Kind = TKind::Key;
    int DatabaseId = 0;
    qint64 HobtId = 0;   // Key
    int FileId = 0;      // Page, Rid
    qint64 PageId = 0;   // Page, Rid
    qint64 ObjectId = 0; // Object
};

// Nothing for a resource of another kind (a latch, an application lock) or a malformed one.
std::optional<TWaitResource> ParseWaitResource(const QString& AText);

// The statement for the resource in the database of that name: one row of schema, table
// and index (NULL when there is none, as for a whole table). Page and row locks ask
// sys.dm_db_page_info, which SQL Server has from 2019 on.
QString WaitResourceStatement(const TWaitResource& AResource, const QString& ADatabase);

// "Sales.dbo.Orders (PK_Orders)", "Sales.dbo.Orders", or "Sales" when the rest is not known.
QString WaitResourceText(const QString& ADatabase, const QString& ASchema, const QString& ATable,
                         const QString& AIndex);
