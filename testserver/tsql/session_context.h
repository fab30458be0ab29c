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
};

} // namespace testserver
