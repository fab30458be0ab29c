#pragma once
// A small raw-ODBC client for the wire tests: connects through unixODBC and the FreeTDS
// driver and reads every result set with the C types an application would use.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <sql.h>
#include <sqlext.h>

struct OdbcDiag {
    std::string state;
    int native = 0;
    std::string message;
};

// Every diagnostic as "STATE native message", one a line, for failure messages.
std::string DiagnosticsText(const std::vector<OdbcDiag>& diags);

struct OdbcColumn {
    std::string name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT nullable = 0;
};

struct OdbcTimestamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    unsigned fraction = 0; // nanoseconds
};

// NULL, integer, double, UTF-8 text (read as SQL_C_WCHAR), bytes, timestamp.
using OdbcValue = std::variant<std::monostate, std::int64_t, double, std::string,
                               std::vector<unsigned char>, OdbcTimestamp>;

struct OdbcResult {
    std::vector<OdbcColumn> columns;
    std::vector<std::vector<OdbcValue>> rows;
};

struct OdbcOutcome {
    SQLRETURN rc = SQL_SUCCESS;      // of SQLExecDirect
    std::vector<OdbcResult> results; // one per result set
    std::vector<OdbcDiag> diags;     // of the statement, in order
    bool fetchFailed = false;        // a fetch or SQLMoreResults failed midway
};

class OdbcClient {
public:
    OdbcClient();
    ~OdbcClient();
    OdbcClient(const OdbcClient&) = delete;
    OdbcClient& operator=(const OdbcClient&) = delete;

    static std::string connectionString(int port, const std::string& user = "sa",
                                        const std::string& password = "Dervel-2026",
                                        const std::string& extra = "");
    // loginTimeout 0 keeps the driver's default.
    bool connect(const std::string& connectionString, int loginTimeoutSeconds = 0);
    const std::vector<OdbcDiag>& connectDiags() const { return connectDiags_; }
    // Runs a batch and reads all of its result sets; queryTimeout 0 waits for ever.
    OdbcOutcome exec(const std::string& sql, int queryTimeoutSeconds = 0);
    // Prepares a statement once (SQLPrepare) and runs it once for each entry of `runs`
    // (SQLExecute) with that entry's values bound to its ? markers in order: text as
    // SQL_WVARCHAR, integers as SQL_INTEGER, anything else as an integer NULL.
    std::vector<OdbcOutcome> execPrepared(const std::string& sql,
                                          const std::vector<std::vector<OdbcValue>>& runs);
    // The session id FreeTDS learnt from the login reply, through @@spid.
    int spid();
    void disconnect();

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    std::vector<OdbcDiag> connectDiags_;
};

std::vector<OdbcDiag> odbcDiags(SQLSMALLINT type, SQLHANDLE handle);
