#pragma once
// The sampler's query: a text run on an attached connection, read forward only while
// the rows stream in from the server.

#include "database/dbvalue.h"

#include <QString>
#include <memory>
#include <mutex>
#include <vector>

class TDbConnection;
class TOdbcCursor;

class TDbQuery {
public:
    TDbQuery();
    ~TDbQuery(); // closes and detaches
    TDbQuery(const TDbQuery&) = delete;
    TDbQuery& operator=(const TDbQuery&) = delete;

    // Attaching counts in the connection's dataSetCount; nullptr detaches.
    void setConnection(TDbConnection* connection);
    TDbConnection* connection() const { return FConnection; }
    void setSQL(const QString& sql) { FSQL = sql; }
    const QString& sql() const { return FSQL; }

    // Runs the text (unparsed: a colon is no parameter marker) and makes the first row
    // current. Holds the connection's command lock until close().
    void open();
    bool active() const { return FCursor != nullptr; }
    bool eof() const { return FEof; }
    void next();
    void close();

    // The current row's field; fieldByName throws EDbError when the column is absent,
    // findField returns nullptr. Both stay valid, reading the current row, until close().
    const TDbField& fieldByName(const QString& name) const;
    const TDbField* findField(const QString& name) const;

private:
    TDbConnection* FConnection = nullptr;
    QString FSQL;
    std::unique_ptr<TOdbcCursor> FCursor;
    std::unique_lock<std::mutex> FLock;
    std::vector<TDbField> FFields;
    bool FEof = true;
};
