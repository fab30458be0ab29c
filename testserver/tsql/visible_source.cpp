#include "visible_source.h"

#include "sql_error.h"
#include "typed_sql.h"

#include <cstdlib>
#include <vector>

namespace testserver {

namespace {

// The database a per-database view is read in: the one of a three-part name, else the
// session's.
std::string databaseOf(const SessionContext& context, const TableSource& source) {
    const auto& n = source.name;
    if (n.size() < 3 || n[n.size() - 3].empty())
        return std::to_string(context.databaseId);
    std::string name = n[n.size() - 3];
    std::string quotedName;
    for (char ch : name)
        quotedName += ch == '\'' ? std::string("''") : std::string(1, ch);
    return "(SELECT database_id FROM databases WHERE name = '" + quotedName + "' COLLATE NOCASE)";
}

// SQL Server 2022 split the permission that server state needs: reading it takes VIEW
// SERVER PERFORMANCE STATE there, and the message names that one.
std::string serverStatePermission(const SessionContext& context) {
    const std::size_t at = context.version.find("SQL Server ");
    const int year = at == std::string::npos ? 0 : std::atoi(context.version.c_str() + at + 11);
    return year >= 2022 ? "VIEW SERVER PERFORMANCE STATE" : "VIEW SERVER STATE";
}

} // namespace

// Without VIEW SERVER STATE a login sees only its own session in the session and request
// views, and may not read the connections or the plans at all, as in SQL Server.
std::string visibleSource(const Catalog& catalog, const SessionContext& context,
                          const CatalogObject& object, const TableSource& source) {
    const std::string table = sqlIdentifier(object.table);
    const bool sessionView = &object == &catalog.sessions() || &object == &catalog.requests();
    std::vector<std::string> conditions;
    if (!context.viewServerState) {
        if (catalog.needsServerState(object))
            throw SqlError(300, 14,
                           serverStatePermission(context) +
                               " permission was denied on object 'server', database 'master'.",
                           source.token.line);
        if (sessionView)
            conditions.push_back("session_id = " + std::to_string(context.spid));
    }
    if (context.azureDatabase) {
        const std::string current = std::to_string(context.databaseId);
        if (&object == &catalog.databases())
            conditions.push_back("database_id IN (1, " + current + ")");
        else if (sessionView)
            conditions.push_back("database_id = " + current);
        else if (&object == &catalog.connections())
            conditions.push_back("session_id IN (SELECT session_id FROM sessions WHERE "
                                 "database_id = " +
                                 current + ")");
    }
    if (object.perDatabase)
        conditions.push_back("db = " + databaseOf(context, source));
    if (conditions.empty())
        return table;
    std::string where;
    for (const auto& c : conditions)
        where += (where.empty() ? " WHERE " : " AND ") + c;
    return "(SELECT * FROM " + table + where + ")";
}

} // namespace testserver
