#include "database/dbquery.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/odbccursor.h"

TDbQuery::TDbQuery() = default;

TDbQuery::~TDbQuery() {
    setConnection(nullptr);
}

void TDbQuery::setConnection(TDbConnection* connection) {
    if (connection == FConnection)
        return;
    close();
    if (FConnection)
        --FConnection->FDataSetCount;
    FConnection = connection;
    if (FConnection)
        ++FConnection->FDataSetCount;
}

void TDbQuery::open() {
    close();
    if (!FConnection)
        throw EDbError(QStringLiteral("The query has no connection."));
    std::unique_lock lock(FConnection->commandLock());
    if (!FConnection->connected())
        throw EDbError(QStringLiteral("The connection is not open."));
    auto cursor = std::make_unique<TOdbcCursor>(FConnection->handle());
    cursor->execute(FSQL, FConnection->queryTimeout());
    FEof = !cursor->fetch();
    FFields.clear();
    FFields.reserve(cursor->columnCount());
    for (int i = 0; i < cursor->columnCount(); ++i)
        FFields.emplace_back(&cursor->columnName(i), &cursor->value(i));
    FCursor = std::move(cursor);
    FLock = std::move(lock);
}

void TDbQuery::next() {
    if (!FCursor || FEof)
        return;
    FEof = !FCursor->fetch();
}

void TDbQuery::close() {
    FFields.clear();
    if (FCursor) {
        FCursor->close();
        FCursor.reset();
    }
    FEof = true;
    if (FLock.owns_lock())
        FLock.unlock();
    FLock = {};
}

const TDbField* TDbQuery::findField(const QString& name) const {
    for (const TDbField& f : FFields)
        if (f.name().compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

const TDbField& TDbQuery::fieldByName(const QString& name) const {
    if (const TDbField* f = findField(name))
        return *f;
    throw EDbError(QStringLiteral("Field '%1' not found").arg(name));
}
