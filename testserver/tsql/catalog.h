#pragma once
// The objects the instance impersonates: their SQL Server names, column names, order
// and types, and the SQLite tables that hold their rows.

#include "values.h"

#include <string>
#include <string_view>
#include <vector>

namespace testserver {

struct CatalogColumn {
    std::string name;
    SqlType type = SqlType::Int;
    int length = 0; // as in Column: characters or bytes, 0 = max
    bool nullable = true;
    std::string defaultSql; // SQLite DEFAULT expression; empty = NULL
};

struct CatalogObject {
    std::string schema; // "sys"
    std::string name;   // "dm_exec_sessions"
    std::string table;  // the SQLite table behind it
    std::vector<CatalogColumn> columns;
    // A table-valued function (sys.dm_exec_sql_text): its arguments, in order, are
    // matched against these columns of the table. Those that are not among `columns` are
    // hidden: the function takes them but does not return them. An argument left out
    // takes its default; one without a default must be given.
    struct Argument {
        std::string column;
        std::string defaultSql; // SQLite expression; empty = required
    };
    std::vector<Argument> arguments;
    // A view of each database's own catalog (sys.objects): its rows carry their database
    // in the hidden column "db", and a name picks the session's database or the one its
    // three-part name gives.
    bool perDatabase = false;

    bool isFunction() const { return !arguments.empty(); }
    bool isHiddenArgument(std::string_view column) const;
    // Index into columns, or -1; names compare case-insensitively as in SQL Server.
    int columnIndex(std::string_view column) const;
};

class Catalog {
public:
    Catalog();
    // Looks an object up by schema and name, case-insensitively; nullptr when unknown.
    const CatalogObject* find(std::string_view schema, std::string_view name) const;
    const std::vector<CatalogObject>& objects() const { return objects_; }
    const CatalogObject& sessions() const { return objects_[0]; }
    const CatalogObject& requests() const { return objects_[1]; }
    const CatalogObject& connections() const { return objects_[2]; }
    const CatalogObject& databases() const { return objects_[3]; }
    const CatalogObject& sqlText() const { return objects_[4]; }
    const CatalogObject& schemas() const { return objects_[5]; }
    const CatalogObject& sysObjects() const { return objects_[6]; }
    const CatalogObject& indexes() const { return objects_[7]; }
    const CatalogObject& partitions() const { return objects_[8]; }
    const CatalogObject& queryPlan() const { return objects_[9]; }
    const CatalogObject& textQueryPlan() const { return objects_[10]; }
    const CatalogObject& queryStatisticsXml() const { return objects_[11]; }
    // What a login without VIEW SERVER STATE may not read at all.
    bool needsServerState(const CatalogObject& object) const;

private:
    std::vector<CatalogObject> objects_;
};

bool equalsNoCase(std::string_view a, std::string_view b);

} // namespace testserver
