#pragma once
// Names of wait resources on one server, asked for when first wanted and kept: a lock on
// a hot key is met in every snapshot. Runs on the main thread over the watched server's
// connection (so it waits while a sample holds it); a failure costs the name, never more.

#include <QHash>
#include <QString>
#include <functional>

class TDbConnection;

class TResourceNames {
public:
    // The connection to ask; nullptr when no server is watched. Changing it forgets every
    // name (another server numbers its databases and objects differently).
    void setConnection(TDbConnection* AConnection);
    // "Sales.dbo.Orders (PK_Orders)", or empty when the text is no lock resource or
    // cannot be named.
    QString Name(const QString& AResource);

private:
    QString databaseName(int ADatabaseId);

    TDbConnection* FConnection = nullptr;
    QHash<QString, QString> FNames;
    QHash<int, QString> FDatabases;
    bool FDatabasesRead = false;
};
