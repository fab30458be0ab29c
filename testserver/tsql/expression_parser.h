#pragma once
// Parses T-SQL search conditions (AND/OR/NOT, comparisons, IN, LIKE, BETWEEN, IS NULL,
// EXISTS) and scalar expressions (operators, CASE, function calls, subqueries).

#include "ast.h"
#include "token_cursor.h"

#include <functional>
#include <memory>

namespace testserver {

class ExpressionParser {
public:
    // Subqueries are parsed by `parseSelect`, which reads from the same cursor.
    ExpressionParser(TokenCursor& cursor, std::function<std::unique_ptr<SelectStmt>()> parseSelect);

    ExprPtr parseCondition();
    ExprPtr parseExpr();

private:
    ExprPtr parseAnd();
    ExprPtr parseNot();
    ExprPtr parsePredicate();
    ExprPtr parseAdditive();
    ExprPtr parseMultiplicative();
    ExprPtr parseUnary();
    ExprPtr parsePrimary();
    ExprPtr parseCase(const Token& start);
    ExprPtr parseFunction(const Token& nameToken, std::string name);

    TokenCursor& c_;
    std::function<std::unique_ptr<SelectStmt>()> parseSelect_;
};

} // namespace testserver
