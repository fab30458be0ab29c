#pragma once
// A rewritten scalar expression with its SQL Server type, and the rules that combine
// such expressions: literal conversion and the type of CASE-like branches.

#include "values.h"

#include <optional>
#include <string>
#include <vector>

namespace testserver {

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

// SQLite spellings: a quoted identifier, a string literal, a real literal.
std::string sqlIdentifier(const std::string& name);
std::string sqlString(const std::string& text);
std::string sqlReal(double value);
std::string lowerCase(std::string s);

TypedSql typedSql(std::string sql, SqlType type, bool nullable = true, int length = 0);
// An nvarchar constant; its length defaults to its own.
TypedSql textLiteral(const std::string& text, int length = 0);
// Converts a string literal to the type it meets, as SQL Server converts constants
// (SqlError 241/245 when it cannot).
void coerceLiteral(TypedSql& value, SqlType target);
// The type of CASE, COALESCE and friends: the highest-precedence branch, strings the
// longest length; string literals among the branches are converted to it.
TypedSql mergeTypes(const std::vector<TypedSql*>& branches);

} // namespace testserver
