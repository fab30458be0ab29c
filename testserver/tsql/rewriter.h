#pragma once
// Rewrites a parsed T-SQL SELECT into SQLite SQL over the model's tables and infers
// the SQL Server type of every select-list column from the catalog.

#include "ast.h"
#include "catalog.h"
#include "name_scope.h"
#include "session_context.h"
#include "typed_sql.h"

#include <optional>
#include <string>
#include <vector>

namespace testserver {

struct RewrittenSelect {
    std::string sql;
    std::vector<Column> columns;
};

class Rewriter {
public:
    Rewriter(const Catalog& catalog, const SessionContext& context);
    // Throws SqlError: 207, 208, 209, 4104, 195, 174, 137, 263, 108, ...
    RewrittenSelect rewrite(const SelectStmt& select);
    // A standalone expression (PRINT), with no table in scope.
    TypedSql rewriteExpression(const Expr& expr);

private:
    RewrittenSelect rewriteSelect(const SelectStmt& select, const NameScope* outer, bool forExists);
    std::string rewriteSource(const TableSource& source, NameScope& scope,
                              std::string& functionFilter);
    TypedSql expr(const Expr& e, const NameScope& scope);
    TypedSql column(const Expr& e, const NameScope& scope);
    TypedSql function(const Expr& e, const NameScope& scope);
    TypedSql binary(const Expr& e, const NameScope& scope);
    TypedSql caseExpr(const Expr& e, const NameScope& scope);
    std::string condition(const Expr& e, const NameScope& scope);
    std::string subquery(const SelectStmt& select, const NameScope& scope, bool forExists,
                         TypedSql* firstColumn);

    const Catalog& catalog_;
    const SessionContext& context_;
    int aliasCounter_ = 0;
};

} // namespace testserver
