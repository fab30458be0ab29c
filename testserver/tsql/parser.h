#pragma once
// Recursive-descent parser for the small T-SQL dialect the engine understands:
// SELECT (joins, applies, subqueries, CASE, IN, EXISTS, ORDER BY ...), KILL,
// DBCC INPUTBUFFER, SET, USE and PRINT. Errors are SQL Server's syntax errors.

#include "ast.h"
#include "expression_parser.h"
#include "token_cursor.h"

#include <vector>

namespace testserver {

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens);
    // Throws SqlError (102/156 and friends) on the first thing it does not understand.
    std::vector<Statement> parseBatch();

private:
    bool atStatementEnd() const;
    Statement parseStatement();
    void parseKill(Statement& s);
    void parseDbcc(Statement& s);
    void parseSet(Statement& s);
    std::unique_ptr<SelectStmt> parseSelect();
    SelectItem parseSelectItem();
    std::optional<std::string> parseAlias(bool allowString);
    TableSource parseTableSource();
    std::vector<std::string> parseMultipartName();

    TokenCursor c_;
    ExpressionParser exprs_;
};

} // namespace testserver
