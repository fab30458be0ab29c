#include "database/odbccursor.h"

#include "database/dberror.h"
#include "database/odbcapi.h"

#include <cstring>

namespace {

constexpr SQLULEN kBlockRows = 128;
// Longer columns (nvarchar(max), varbinary(max), text) are read piecewise with SQLGetData.
constexpr SQLULEN kMaxBoundChars = 4000;
constexpr SQLULEN kMaxBoundBytes = 8000;

SQLHSTMT stmt(void* p) {
    return static_cast<SQLHSTMT>(p);
}

// A fixed-size value as the driver wrote it into a buffer of its C type.
void decodeFixed(SQLSMALLINT cType, const char* data, TDbValue& v) {
    switch (cType) {
    case SQL_C_SBIGINT:
        std::memcpy(&v.integer, data, sizeof(SQLBIGINT));
        break;
    case SQL_C_BIT:
        v.integer = static_cast<unsigned char>(*data) != 0;
        break;
    case SQL_C_DOUBLE:
        std::memcpy(&v.number, data, sizeof(double));
        break;
    default: {
        SQL_TIMESTAMP_STRUCT ts;
        std::memcpy(&ts, data, sizeof ts);
        v.number = EncodeDateTime(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                                  static_cast<int>(ts.fraction / 1000000));
        break;
    }
    }
}

} // namespace

struct TOdbcCursor::Column {
    TDbValue::Kind kind = TDbValue::Text;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN elementSize = 0;
    bool isLong = false;
    std::vector<char> buffer;
    std::vector<SQLLEN> indicators;
};

TOdbcCursor::TOdbcCursor(void* dbc) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    OdbcCheck(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(dbc), &h), SQL_HANDLE_DBC, dbc,
              "SQLAllocHandle");
    FStmt = h;
}

TOdbcCursor::~TOdbcCursor() {
    if (FStmt) {
        SQLFreeStmt(stmt(FStmt), SQL_CLOSE);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt(FStmt));
    }
}

void TOdbcCursor::execute(const QString& sql, int queryTimeoutSec) {
    SQLHSTMT h = stmt(FStmt);
    SQLSetStmtAttr(h, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
    SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeoutSec)), 0);
    SQLRETURN rc = SQLExecDirectW(h, const_cast<SQLWCHAR*>(OdbcText(sql)), SQL_NTS);
    OdbcCheck(rc, SQL_HANDLE_STMT, h, "SQLExecDirect");
    FEnd = false;
    // Statements before the first row-returning one (SET, kill, ...) give no columns.
    for (;;) {
        SQLSMALLINT count = 0;
        OdbcCheck(SQLNumResultCols(h, &count), SQL_HANDLE_STMT, h, "SQLNumResultCols");
        if (count > 0 || rc == SQL_NO_DATA)
            break;
        rc = SQLMoreResults(h);
        OdbcCheck(rc, SQL_HANDLE_STMT, h, "SQLMoreResults");
        if (rc == SQL_NO_DATA)
            break;
    }
    describeAndBind();
    if (FColumns.empty())
        FEnd = true;
}

void TOdbcCursor::describeAndBind() {
    SQLHSTMT h = stmt(FStmt);
    SQLSMALLINT count = 0;
    SQLNumResultCols(h, &count);
    FNames.assign(count, QString());
    FColumns.assign(count, Column());
    FRow.assign(count, TDbValue());
    FBlock = true;
    for (SQLUSMALLINT i = 0; i < count; ++i) {
        SQLWCHAR name[256];
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        OdbcCheck(
            SQLDescribeColW(h, i + 1, name, 256, &nameLength, &sqlType, &size, &digits, &nullable),
            SQL_HANDLE_STMT, h, "SQLDescribeCol");
        FNames[i] = QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                       std::min<SQLSMALLINT>(nameLength, 255));
        Column& c = FColumns[i];
        switch (sqlType) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            c.kind = TDbValue::Integer;
            c.cType = SQL_C_SBIGINT;
            c.elementSize = sizeof(SQLBIGINT);
            break;
        case SQL_BIT:
            c.kind = TDbValue::Boolean;
            c.cType = SQL_C_BIT;
            c.elementSize = 1;
            break;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            c.kind = TDbValue::Float;
            c.cType = SQL_C_DOUBLE;
            c.elementSize = sizeof(double);
            break;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_TIME:
            c.kind = TDbValue::DateTime;
            c.cType = SQL_C_TYPE_TIMESTAMP;
            c.elementSize = sizeof(SQL_TIMESTAMP_STRUCT);
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            c.kind = TDbValue::Bytes;
            c.cType = SQL_C_BINARY;
            c.isLong = size == 0 || size > kMaxBoundBytes || sqlType == SQL_LONGVARBINARY;
            c.elementSize = static_cast<SQLLEN>(size);
            break;
        default: // every character type, GUIDs and whatever else reads well as text
            c.kind = TDbValue::Text;
            c.cType = SQL_C_WCHAR;
            c.isLong = size == 0 || size > kMaxBoundChars || sqlType == SQL_WLONGVARCHAR ||
                       sqlType == SQL_LONGVARCHAR;
            c.elementSize = static_cast<SQLLEN>((std::max<SQLULEN>(size, 36) + 1) * 2);
            break;
        }
        FBlock = FBlock && !c.isLong;
    }
    // Bound columns fetched a block at a time are far cheaper than a call per value; a
    // result with a long column is read row by row with SQLGetData instead.
    if (!FBlock || count == 0)
        return;
    SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlockRows), 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &FRowsInBlock, 0);
    for (SQLUSMALLINT i = 0; i < count; ++i) {
        Column& c = FColumns[i];
        c.buffer.assign(static_cast<size_t>(c.elementSize) * kBlockRows, 0);
        c.indicators.assign(kBlockRows, 0);
        OdbcCheck(
            SQLBindCol(h, i + 1, c.cType, c.buffer.data(), c.elementSize, c.indicators.data()),
            SQL_HANDLE_STMT, h, "SQLBindCol");
    }
    FRowsInBlock = 0;
    FRowInBlock = 0;
}

bool TOdbcCursor::fetch() {
    if (FEnd)
        return false;
    SQLHSTMT h = stmt(FStmt);
    if (FBlock && ++FRowInBlock < FRowsInBlock) {
        loadRowFromBlock();
        return true;
    }
    const SQLRETURN rc = SQLFetch(h);
    if (rc == SQL_NO_DATA) {
        FEnd = true;
        return false;
    }
    OdbcCheck(rc, SQL_HANDLE_STMT, h, "SQLFetch");
    if (FBlock) {
        FRowInBlock = 0;
        if (FRowsInBlock == 0) {
            FEnd = true;
            return false;
        }
        loadRowFromBlock();
    } else {
        loadRowWithGetData();
    }
    return true;
}

void TOdbcCursor::loadRowFromBlock() {
    const size_t r = FRowInBlock;
    for (size_t i = 0; i < FColumns.size(); ++i) {
        const Column& c = FColumns[i];
        TDbValue& v = FRow[i];
        const SQLLEN indicator = c.indicators[r];
        const char* data = c.buffer.data() + r * static_cast<size_t>(c.elementSize);
        v.view = nullptr;
        if (indicator == SQL_NULL_DATA) {
            v.kind = TDbValue::Null;
            continue;
        }
        v.kind = c.kind;
        switch (c.cType) {
        case SQL_C_BINARY:
            v.bytes = QByteArray(data, std::min<SQLLEN>(indicator, c.elementSize));
            break;
        case SQL_C_WCHAR: {
            const SQLLEN bytes = std::min<SQLLEN>(indicator, c.elementSize - 2);
            // An empty text is not a null one: the view must point somewhere.
            v.view = reinterpret_cast<const char16_t*>(data);
            v.viewSize = bytes / 2;
            break;
        }
        default:
            decodeFixed(c.cType, data, v);
            break;
        }
    }
}

void TOdbcCursor::loadRowWithGetData() {
    SQLHSTMT h = stmt(FStmt);
    for (size_t i = 0; i < FColumns.size(); ++i) {
        const Column& c = FColumns[i];
        TDbValue& v = FRow[i];
        const SQLUSMALLINT column = static_cast<SQLUSMALLINT>(i + 1);
        v.kind = c.kind;
        v.view = nullptr;
        if (c.cType == SQL_C_WCHAR || c.cType == SQL_C_BINARY) {
            // Piecewise: each call returns the next part until SQL_SUCCESS.
            QByteArray collected;
            char chunk[8192];
            for (;;) {
                SQLLEN indicator = 0;
                const SQLRETURN rc =
                    SQLGetData(h, column, c.cType, chunk, sizeof chunk, &indicator);
                if (rc == SQL_NO_DATA)
                    break;
                OdbcCheck(rc, SQL_HANDLE_STMT, h, "SQLGetData");
                if (indicator == SQL_NULL_DATA) {
                    v.kind = TDbValue::Null;
                    break;
                }
                const SQLLEN room = c.cType == SQL_C_WCHAR ? sizeof chunk - 2 : sizeof chunk;
                const SQLLEN got =
                    (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
                collected.append(chunk, got);
                if (rc == SQL_SUCCESS)
                    break;
            }
            if (v.kind == TDbValue::Null)
                continue;
            if (c.cType == SQL_C_BINARY)
                v.bytes = collected;
            else
                v.text = QString::fromUtf16(
                    reinterpret_cast<const char16_t*>(collected.constData()), collected.size() / 2);
            continue;
        }
        alignas(8) char data[64] = {};
        SQLLEN indicator = 0;
        OdbcCheck(SQLGetData(h, column, c.cType, data, sizeof data, &indicator), SQL_HANDLE_STMT, h,
                  "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            v.kind = TDbValue::Null;
            continue;
        }
        decodeFixed(c.cType, data, v);
    }
}

void TOdbcCursor::drain() {
    // SQLMoreResults discards what is left of the current result.
    SQLHSTMT h = stmt(FStmt);
    for (;;) {
        const SQLRETURN rc = SQLMoreResults(h);
        if (rc == SQL_NO_DATA)
            return;
        OdbcCheck(rc, SQL_HANDLE_STMT, h, "SQLMoreResults");
    }
}

void TOdbcCursor::close() {
    if (FStmt)
        SQLFreeStmt(stmt(FStmt), SQL_CLOSE);
    FEnd = true;
}

int TOdbcCursor::columnIndex(const QString& name) const {
    for (size_t i = 0; i < FNames.size(); ++i)
        if (FNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}
