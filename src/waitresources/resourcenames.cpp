#include "waitresources/resourcenames.h"

#include "platform/dbconnection.h"
#include "platform/dberror.h"
#include "waitresources/waitresource.h"

void TResourceNames::setConnection(TDbConnection* AConnection) {
    if (AConnection == FConnection)
        return;
    FConnection = AConnection;
    FNames.clear();
    FDatabases.clear();
    FDatabasesRead = false;
}

QString TResourceNames::databaseName(int ADatabaseId) {
    if (!FDatabasesRead) {
        FDatabasesRead = true;
        try {
            for (TDbRecordset rs = FConnection->execute(
                     QStringLiteral("select database_id, name from sys.databases"));
                 !rs.eof(); rs.moveNext())
                FDatabases.insert(rs.field(0).asInteger(), rs.field(1).asString());
        } catch (const EDbError&) {
        }
    }
    return FDatabases.value(ADatabaseId);
}

QString TResourceNames::Name(const QString& AResource) {
    if (!FConnection || !FConnection->connected())
        return QString();
    const auto known = FNames.constFind(AResource);
    if (known != FNames.constEnd())
        return *known;
    QString name;
    if (const std::optional<TWaitResource> r = ParseWaitResource(AResource)) {
        const QString database = databaseName(r->DatabaseId);
        if (!database.isEmpty()) {
            name = database;
            try {
                const TDbRecordset rs = FConnection->execute(WaitResourceStatement(*r, database));
                if (!rs.eof()) {
                    const auto text = [&rs](int i) {
                        return rs.field(i).isNull() ? QString() : rs.field(i).asString();
                    };
                    name = WaitResourceText(database, text(0), text(1), text(2));
                }
            } catch (const EDbError&) {
                // An older server without sys.dm_db_page_info, or no rights: the database
                // is all there is to say.
            }
        }
    }
    FNames.insert(AResource, name);
    return name;
}
