#pragma once
// The operators between two rewritten expressions, with SQL Server's typing: arithmetic
// and string concatenation, and comparisons under its case-insensitive collation.

#include "ast.h"
#include "typed_sql.h"

#include <string>

namespace testserver {

// `binary` is the operator's node; `left` and `right` are its operands, rewritten.
TypedSql binarySql(const Expr& binary, TypedSql left, TypedSql right);
// A comparison by `op` (=, <>, <, ...); string literals are converted to the other side.
std::string comparisonSql(const TypedSql& left, const std::string& op, TypedSql right);

} // namespace testserver
