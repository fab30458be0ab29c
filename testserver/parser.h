#pragma once
// Recursive-descent parser for the small T-SQL dialect the engine understands:
// SELECT (joins, applies, subqueries, CASE, IN, EXISTS, ORDER BY ...), KILL,
// DBCC INPUTBUFFER, SET, USE and PRINT. Errors are SQL Server's syntax errors.

#include "ast.h"

#include <vector>

namespace testserver {

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens);
    // Throws SqlError (102/156 and friends) on the first thing it does not understand.
    std::vector<Statement> parseBatch();

private:
    const Token& peek(std::size_t ahead = 0) const;
    const Token& next();
    bool acceptWord(std::string_view word);
    bool acceptSymbol(std::string_view symbol);
    void expectWord(std::string_view word);
    void expectSymbol(std::string_view symbol);
    [[noreturn]] void syntaxError(const Token& token) const;
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

    ExprPtr parseCondition();
    ExprPtr parseAnd();
    ExprPtr parseNot();
    ExprPtr parsePredicate();
    ExprPtr parseExpr();
    ExprPtr parseAdditive();
    ExprPtr parseMultiplicative();
    ExprPtr parseUnary();
    ExprPtr parsePrimary();
    ExprPtr parseCase(const Token& start);
    ExprPtr parseFunction(const Token& nameToken, std::string name);

    const std::vector<Token>& tokens_;
    std::size_t pos_ = 0;
};

// True for T-SQL reserved keywords (they cannot be aliases and give error 156).
bool isReservedWord(std::string_view word);

} // namespace testserver
