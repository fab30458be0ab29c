#pragma once
// The executing session as T-SQL's built-in functions and @@ variables see it.

#include <cstdint>
#include <optional>
#include <string>

namespace testserver {

// What the session's built-in functions and @@ variables see.
struct SessionContext {
    int spid = 0;
    std::string login;
    std::string host;
    std::string program;
    int databaseId = 1;
    std::string databaseName = "master";
    std::optional<std::string> serverName;
    std::string version;
    double now = 0;                    // days since 1900-01-01, local time
    std::int64_t previousRowCount = 0; // @@ROWCOUNT
    bool nocount = false;              // SET NOCOUNT: DONE tokens carry no count
    // The login's server permissions that the instance models.
    bool viewServerState = true;    // VIEW SERVER STATE: every session in the session views
    bool alterAnyConnection = true; // ALTER ANY CONNECTION: KILL
    // An Azure SQL Database: sys.databases holds master and the session's database only,
    // and the session views only the sessions of that database.
    bool azureDatabase = false;
};

} // namespace testserver
