#pragma once
// The terms of an expression that need no table in scope, rewritten with their SQL
// Server types: literals and the @@ variables.

#include "ast.h"
#include "session_context.h"
#include "typed_sql.h"

namespace testserver {

// A literal as SQL Server types it: int or bigint by size, numeric (float here),
// varchar without N and nvarchar with it, varbinary; anything else is NULL.
TypedSql literalSql(const Expr& literal);
// @@SPID, @@SERVERNAME, @@VERSION and the other globals clients ask for. Throws
// SqlError 137 for one the instance does not know.
TypedSql variableSql(const Expr& variable, const SessionContext& context);

} // namespace testserver
