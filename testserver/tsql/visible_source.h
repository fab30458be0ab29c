#pragma once
// What a session may read of a catalog object: the rows its permissions and the
// instance's kind leave it, and for a per-database view the database it names.

#include "ast.h"
#include "catalog.h"
#include "session_context.h"

#include <string>

namespace testserver {

// The SQLite source (a table, or a filtered SELECT of it) that stands for `object` read
// as `source`. Throws SqlError 300 for the connections view without VIEW SERVER STATE.
std::string visibleSource(const Catalog& catalog, const SessionContext& context,
                          const CatalogObject& object, const TableSource& source);

} // namespace testserver
