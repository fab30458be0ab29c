#include "waitresources/resourcenames.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "waitresources/waitresource.h"

#include <QElapsedTimer>
#include <QHash>

namespace {

// The asking thread's own knowledge of one server's databases: read at the first question,
// and again when a resource names a database it has not seen (one made since), at most
// once a minute.
class TDatabases {
public:
    QString Name(TDbConnection& AConnection, int ADatabaseId) {
        if (!FNames.contains(ADatabaseId) && (!FRead.isValid() || FRead.hasExpired(60000))) {
            FRead.start();
            try {
                QHash<int, QString> names;
                for (TDbRecordset rs = AConnection.execute(
                         QStringLiteral("select database_id, name from sys.databases"));
                     !rs.eof(); rs.moveNext())
                    names.insert(rs.field(0).asInteger(), rs.field(1).asString());
                FNames = names;
            } catch (const EDbError&) {
            }
        }
        return FNames.value(ADatabaseId);
    }

private:
    QHash<int, QString> FNames;
    QElapsedTimer FRead;
};

QString nameOf(TDbConnection& AConnection, TDatabases& ADatabases, const TWaitResource& r) {
    const QString database = ADatabases.Name(AConnection, r.DatabaseId);
    if (database.isEmpty())
        return QString();
    try {
        const TDbRecordset rs = AConnection.execute(WaitResourceStatement(r, database));
        if (rs.eof())
            return database;
        const auto text = [&rs](int i) {
            return rs.field(i).isNull() ? QString() : rs.field(i).asString();
        };
        return WaitResourceText(database, text(0), text(1), text(2));
    } catch (const EDbError&) {
        // An older server without sys.dm_db_page_info, or no rights: the database is all
        // there is to say.
        return database;
    }
}

} // namespace

TResourceNames::TResourceNames(int ACapacity, QObject* parent)
    : QObject(parent), FNames(ACapacity) {}

TResourceNames::~TResourceNames() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TResourceNames::setConnection(TDbConnection* AConnection) {
    if (AConnection == FConnection)
        return;
    FConnection = AConnection;
    FNames.clear();
    FAsked.clear();
    std::lock_guard lock(FMutex);
    FAsking = AConnection;
    ++FGeneration;
    FQueue.clear();
}

void TResourceNames::Release() {
    std::lock_guard use(FUse);
}

QString TResourceNames::Name(const QString& AResource) {
    if (!FConnection || !FConnection->connected())
        return QString();
    if (const QString* known = FNames.object(AResource))
        return *known;
    if (!ParseWaitResource(AResource) || FAsked.contains(AResource))
        return QString();
    FAsked.insert(AResource);
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back({AResource, FGeneration});
        if (!FThread.joinable())
            FThread = std::thread([this] { run(); });
    }
    FWake.notify_one();
    return QString();
}

void TResourceNames::run() {
    TDatabases databases;
    quint64 databasesOf = 0; // the generation they were read for
    for (;;) {
        TRequest request;
        {
            std::unique_lock lock(FMutex);
            FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
            if (FStop)
                return;
            request = FQueue.front();
            FQueue.pop_front();
        }
        QString name;
        {
            std::lock_guard use(FUse);
            TDbConnection* connection = nullptr;
            {
                std::lock_guard lock(FMutex);
                if (request.Generation != FGeneration || FStop)
                    continue;
                connection = FAsking;
            }
            if (request.Generation != databasesOf) {
                databases = TDatabases();
                databasesOf = request.Generation;
            }
            if (const std::optional<TWaitResource> r = ParseWaitResource(request.Resource)) {
                const TDbConnection::TUse counted(*connection);
                name = nameOf(*connection, databases, *r);
            }
        }
        QMetaObject::invokeMethod(
            this, [this, request, name] { answered(request, name); }, Qt::QueuedConnection);
    }
}

void TResourceNames::answered(const TRequest& ARequest, const QString& AName) {
    {
        std::lock_guard lock(FMutex);
        if (ARequest.Generation != FGeneration)
            return; // of a server no longer watched
    }
    FAsked.remove(ARequest.Resource);
    FNames.insert(ARequest.Resource, new QString(AName));
    emit named();
}
