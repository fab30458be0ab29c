#pragma once
// One ODBC statement handle reading one result forward only. Internal to the database
// layer: the connection's Execute and the sampler's query both read through it.

#include "database/dbvalue.h"

#include <QString>
#include <vector>

class TOdbcCursor {
public:
    // dbc is an SQLHDBC; kept opaque so that sql.h stays out of the app's headers.
    explicit TOdbcCursor(void* dbc);
    ~TOdbcCursor();
    TOdbcCursor(const TOdbcCursor&) = delete;
    TOdbcCursor& operator=(const TOdbcCursor&) = delete;

    // Runs the text unparsed (no parameter markers) and positions before the first row of
    // the first result that has columns. Throws EDbError with the driver's diagnostics.
    void execute(const QString& sql, int queryTimeoutSec);
    // Moves to the next row; false past the last one.
    bool fetch();
    // Reads the results of the batch's later statements, so that their errors surface.
    void drain();
    void close();

    int columnCount() const { return static_cast<int>(FNames.size()); }
    const QString& columnName(int i) const { return FNames[i]; }
    const TDbValue& value(int i) const { return FRow[i]; }
    // Case-insensitive, as result column names are; -1 when absent.
    int columnIndex(const QString& name) const;

private:
    struct Column;
    void describeAndBind();
    void loadRowFromBlock();
    void loadRowWithGetData();

    void* FStmt = nullptr;
    std::vector<QString> FNames;
    std::vector<Column> FColumns;
    std::vector<TDbValue> FRow;
    bool FBlock = false; // bound columns fetched a block of rows at a time
    unsigned long FRowsInBlock = 0;
    unsigned long FRowInBlock = 0;
    bool FEnd = true;
};
