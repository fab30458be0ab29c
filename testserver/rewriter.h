#pragma once
// Rewrites a parsed T-SQL SELECT into SQLite SQL over the model's tables and infers
// the SQL Server type of every select-list column from the catalog.

#include "ast.h"
#include "catalog.h"

#include <optional>
#include <string>
#include <vector>

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

struct RewrittenSelect {
    std::string sql;
    std::vector<Column> columns;
};

// A rewritten scalar expression with its SQL Server type.
struct TypedSql {
    std::string sql;
    SqlType type = SqlType::Int;
    int length = 0; // characters or bytes; 0 = max
    bool nullable = true;
    bool nullLiteral = false;
    std::optional<std::string> stringLiteral; // the text of a '...' or N'...' literal
    bool integerLiteral = false;
};

class Rewriter {
public:
    Rewriter(const Catalog& catalog, const SessionContext& context);
    // Throws SqlError: 207, 208, 209, 4104, 195, 174, 137, 263, 108, ...
    RewrittenSelect rewrite(const SelectStmt& select);
    // A standalone expression (PRINT), with no table in scope.
    TypedSql rewriteExpression(const Expr& expr);

private:
    struct Binding;
    struct Scope;

    RewrittenSelect rewriteSelect(const SelectStmt& select, const Scope* outer, bool forExists);
    std::string rewriteSource(const TableSource& source, Scope& scope, std::string& functionFilter);
    TypedSql expr(const Expr& e, const Scope& scope);
    TypedSql column(const Expr& e, const Scope& scope);
    TypedSql variable(const Expr& e);
    TypedSql literal(const Expr& e);
    TypedSql function(const Expr& e, const Scope& scope);
    TypedSql binary(const Expr& e, const Scope& scope);
    TypedSql caseExpr(const Expr& e, const Scope& scope);
    std::string condition(const Expr& e, const Scope& scope);
    std::string comparison(const TypedSql& left, const std::string& op, TypedSql right);
    std::string subquery(const SelectStmt& select, const Scope& scope, bool forExists,
                         TypedSql* firstColumn);

    const Catalog& catalog_;
    const SessionContext& context_;
    int aliasCounter_ = 0;
};

} // namespace testserver
