#pragma once
// T-SQL's built-in functions as SQLite expressions with SQL Server's result types:
// isnull, nullif, coalesce, db_name, db_id, suser_name, datalength, getdate, the string
// functions and the aggregates.

#include "ast.h"
#include "session_context.h"
#include "typed_sql.h"

#include <vector>

namespace testserver {

// `args` are the function's arguments, already rewritten. Throws SqlError 195 for an
// unknown function and 174 for a wrong argument count.
TypedSql builtinFunction(const Expr& call, std::vector<TypedSql> args,
                         const SessionContext& context);

} // namespace testserver
