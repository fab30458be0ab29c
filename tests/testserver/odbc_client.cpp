#include "odbc_client.h"

#include <cstring>

namespace {

std::u16string toU16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        char32_t cp = 0;
        int extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else {
            cp = c & 0x07;
            extra = 3;
        }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string toU8(const SQLWCHAR* s, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Reads a column as the C type an application would pick for its SQL type.
bool readValue(SQLHSTMT st, SQLUSMALLINT col, SQLSMALLINT sqlType, OdbcValue& out) {
    SQLLEN ind = 0;
    SQLRETURN rc;
    switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
        SQLBIGINT v = 0;
        rc = SQLGetData(st, col, SQL_C_SBIGINT, &v, 0, &ind);
        out = ind == SQL_NULL_DATA ? OdbcValue{} : OdbcValue{static_cast<std::int64_t>(v)};
        break;
    }
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: {
        double v = 0;
        rc = SQLGetData(st, col, SQL_C_DOUBLE, &v, 0, &ind);
        out = ind == SQL_NULL_DATA ? OdbcValue{} : OdbcValue{v};
        break;
    }
    case SQL_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT ts{};
        rc = SQLGetData(st, col, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind);
        if (ind == SQL_NULL_DATA) {
            out = OdbcValue{};
        } else {
            out = OdbcTimestamp{ts.year,
                                ts.month,
                                ts.day,
                                ts.hour,
                                ts.minute,
                                ts.second,
                                static_cast<unsigned>(ts.fraction)};
        }
        break;
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
        std::vector<unsigned char> bytes;
        unsigned char buf[4096];
        for (;;) {
            rc = SQLGetData(st, col, SQL_C_BINARY, buf, sizeof buf, &ind);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                return false;
            if (ind == SQL_NULL_DATA) {
                out = OdbcValue{};
                return true;
            }
            const std::size_t got = (ind == SQL_NO_TOTAL || ind > static_cast<SQLLEN>(sizeof buf))
                                        ? sizeof buf
                                        : static_cast<std::size_t>(ind);
            bytes.insert(bytes.end(), buf, buf + got);
            if (rc == SQL_SUCCESS)
                break;
        }
        out = bytes;
        return true;
    }
    default: {
        // Text and everything else as UTF-16, in chunks.
        std::vector<SQLWCHAR> text;
        SQLWCHAR buf[2048];
        for (;;) {
            rc = SQLGetData(st, col, SQL_C_WCHAR, buf, sizeof buf, &ind);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                return false;
            if (ind == SQL_NULL_DATA) {
                out = OdbcValue{};
                return true;
            }
            // A truncated chunk fills the buffer but for its terminator.
            const std::size_t units = rc == SQL_SUCCESS_WITH_INFO
                                          ? 2047
                                          : static_cast<std::size_t>(ind) / sizeof(SQLWCHAR);
            text.insert(text.end(), buf, buf + units);
            if (rc == SQL_SUCCESS)
                break;
        }
        out = toU8(text.data(), text.size());
        return true;
    }
    }
    return SQL_SUCCEEDED(rc);
}

} // namespace

std::vector<OdbcDiag> odbcDiags(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<OdbcDiag> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[2048] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, i, state, &native, message, 2048, &len)))
            break;
        out.push_back(OdbcDiag{toU8(state, 5), static_cast<int>(native),
                               toU8(message, static_cast<std::size_t>(len))});
    }
    return out;
}

OdbcClient::OdbcClient() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcClient::~OdbcClient() {
    disconnect();
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::string OdbcClient::connectionString(int port, const std::string& user,
                                         const std::string& password, const std::string& extra) {
    return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port) + ";UID=" + user +
           ";PWD=" + password + ";TDS_Version=7.4;ClientCharset=UTF-8" +
           (extra.empty() ? "" : ";" + extra);
}

bool OdbcClient::connect(const std::string& connectionString, int loginTimeoutSeconds) {
    if (loginTimeoutSeconds > 0)
        SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(loginTimeoutSeconds)),
                          0);
    std::u16string cs = toU16(connectionString);
    std::vector<SQLWCHAR> in(cs.begin(), cs.end());
    in.push_back(0);
    SQLWCHAR outBuf[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, in.data(), SQL_NTS, outBuf, 1024, &outLen,
                                           SQL_DRIVER_NOPROMPT);
    connectDiags_ = odbcDiags(SQL_HANDLE_DBC, dbc_);
    connected_ = SQL_SUCCEEDED(rc);
    return connected_;
}

namespace {

// Reads every result set left on the statement after it ran with `rc`.
void readResults(SQLHSTMT st, OdbcOutcome& out) {
    auto collect = [&] {
        const auto d = odbcDiags(SQL_HANDLE_STMT, st);
        out.diags.insert(out.diags.end(), d.begin(), d.end());
    };
    collect();
    if (!SQL_SUCCEEDED(out.rc))
        return;
    for (;;) {
        SQLSMALLINT n = 0;
        SQLNumResultCols(st, &n);
        if (n > 0) {
            OdbcResult r;
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(n); ++c) {
                SQLWCHAR name[256] = {};
                SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
                SQLULEN size = 0;
                SQLDescribeColW(st, c, name, 256, &nameLen, &type, &size, &digits, &nullable);
                r.columns.push_back(OdbcColumn{toU8(name, static_cast<std::size_t>(nameLen)), type,
                                               size, nullable});
            }
            SQLRETURN frc;
            while (SQL_SUCCEEDED(frc = SQLFetch(st))) {
                std::vector<OdbcValue> row(static_cast<std::size_t>(n));
                for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(n); ++c)
                    if (!readValue(st, c, r.columns[c - 1].sqlType, row[c - 1]))
                        out.fetchFailed = true;
                r.rows.push_back(std::move(row));
            }
            if (frc != SQL_NO_DATA) {
                out.fetchFailed = true;
                collect();
                out.results.push_back(std::move(r));
                return;
            }
            out.results.push_back(std::move(r));
        }
        const SQLRETURN mrc = SQLMoreResults(st);
        if (mrc == SQL_NO_DATA)
            return;
        collect();
        if (!SQL_SUCCEEDED(mrc)) {
            out.fetchFailed = true;
            return;
        }
    }
}

std::vector<SQLWCHAR> wide(const std::string& text) {
    const std::u16string u = toU16(text);
    std::vector<SQLWCHAR> w(u.begin(), u.end());
    w.push_back(0);
    return w;
}

} // namespace

OdbcOutcome OdbcClient::exec(const std::string& sql, int queryTimeoutSeconds) {
    OdbcOutcome out;
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
    if (queryTimeoutSeconds > 0)
        SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(queryTimeoutSeconds)), 0);
    std::vector<SQLWCHAR> w = wide(sql);
    out.rc = SQLExecDirectW(st, w.data(), SQL_NTS);
    readResults(st, out);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return out;
}

std::vector<OdbcOutcome> OdbcClient::execPrepared(const std::string& sql,
                                                  const std::vector<std::vector<OdbcValue>>& runs) {
    std::vector<OdbcOutcome> outcomes;
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
    std::vector<SQLWCHAR> w = wide(sql);
    const SQLRETURN prc = SQLPrepareW(st, w.data(), SQL_NTS);
    if (!SQL_SUCCEEDED(prc)) {
        OdbcOutcome failed;
        failed.rc = prc;
        failed.diags = odbcDiags(SQL_HANDLE_STMT, st);
        outcomes.push_back(failed);
    }
    for (std::size_t i = 0; SQL_SUCCEEDED(prc) && i < runs.size(); ++i) {
        const auto& values = runs[i];
        // Bound buffers must stay put until SQLExecute has sent them.
        std::vector<SQLINTEGER> ints(values.size());
        std::vector<std::vector<SQLWCHAR>> texts(values.size());
        std::vector<SQLLEN> indicators(values.size());
        for (std::size_t k = 0; k < values.size(); ++k) {
            const auto n = static_cast<SQLUSMALLINT>(k + 1);
            if (const auto* s = std::get_if<std::string>(&values[k])) {
                texts[k] = wide(*s);
                indicators[k] = static_cast<SQLLEN>((texts[k].size() - 1) * sizeof(SQLWCHAR));
                SQLBindParameter(st, n, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, texts[k].size(),
                                 0, texts[k].data(), 0, &indicators[k]);
            } else {
                const auto* v = std::get_if<std::int64_t>(&values[k]);
                ints[k] = v ? static_cast<SQLINTEGER>(*v) : 0;
                indicators[k] = v ? 0 : SQL_NULL_DATA;
                SQLBindParameter(st, n, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &ints[k],
                                 0, &indicators[k]);
            }
        }
        OdbcOutcome out;
        out.rc = SQLExecute(st);
        readResults(st, out);
        SQLFreeStmt(st, SQL_CLOSE);
        outcomes.push_back(std::move(out));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return outcomes;
}

int OdbcClient::spid() {
    const OdbcOutcome o = exec("select @@spid");
    if (o.results.empty() || o.results[0].rows.empty())
        return 0;
    return static_cast<int>(std::get<std::int64_t>(o.results[0].rows[0][0]));
}

void OdbcClient::disconnect() {
    if (connected_)
        SQLDisconnect(dbc_);
    connected_ = false;
}

std::string DiagnosticsText(const std::vector<OdbcDiag>& diags) {
    std::string out;
    for (const auto& d : diags)
        out +=
            (out.empty() ? "" : "\n") + d.state + " " + std::to_string(d.native) + " " + d.message;
    return out;
}
