#include "operators.h"

#include "type_rules.h"

#include <algorithm>

namespace testserver {

TypedSql binarySql(const Expr& e, TypedSql l, TypedSql r) {
    const bool lText = types::isString(l.type) || l.nullLiteral;
    const bool rText = types::isString(r.type) || r.nullLiteral;
    if (e.op == "+" && lText && rText && !(l.nullLiteral && r.nullLiteral)) {
        // String '+' is concatenation; NULL + 'x' stays NULL, as SQLite's || does.
        const bool national = l.type == SqlType::NVarChar || r.type == SqlType::NVarChar;
        TypedSql t;
        t.type = national ? SqlType::NVarChar : SqlType::VarChar;
        t.sql = "(" + l.sql + " || " + r.sql + ")";
        const int ll = l.nullLiteral ? 1 : l.length;
        const int rl = r.nullLiteral ? 1 : r.length;
        t.length = (ll == 0 || rl == 0) ? 0 : std::min(ll + rl, types::maxLength(t.type));
        t.nullable = l.nullable || r.nullable;
        return t;
    }
    if (!l.nullLiteral && (types::isNumeric(l.type) || l.type == SqlType::DateTime))
        coerceLiteral(r, l.type);
    if (!r.nullLiteral && (types::isNumeric(r.type) || r.type == SqlType::DateTime))
        coerceLiteral(l, r.type);
    TypedSql t;
    if (l.nullLiteral)
        t.type = r.type;
    else if (r.nullLiteral)
        t.type = l.type;
    else
        t.type = types::higher(l.type, r.type);
    if (t.type == SqlType::Bit && (e.op == "+" || e.op == "-" || e.op == "*" || e.op == "/"))
        t.type = SqlType::Int;
    t.sql = "(" + l.sql + " " + e.op + " " + r.sql + ")";
    // SQLite gives NULL for x/0; SQL Server ends the statement with 8134.
    const bool constantDivisor =
        (r.integerLiteral || e.args[1]->token.kind == TokenKind::Decimal) &&
        r.sql.find_first_not_of("0.") != std::string::npos;
    if ((e.op == "/" || e.op == "%") && !constantDivisor)
        t.sql = "(CASE WHEN " + r.sql + " = 0 THEN ts_error(8134) ELSE " + t.sql + " END)";
    t.nullable = l.nullable || r.nullable;
    t.length = std::max(l.length, r.length);
    return t;
}

std::string comparisonSql(const TypedSql& left, const std::string& op, TypedSql right) {
    TypedSql l = left;
    if (!l.nullLiteral)
        coerceLiteral(right, l.type);
    if (!right.nullLiteral)
        coerceLiteral(l, right.type);
    std::string lhs = l.sql;
    // SQL Server's default collation is case-insensitive.
    if (types::isString(l.type) && (types::isString(right.type) || right.nullLiteral))
        lhs += " COLLATE NOCASE";
    return "(" + lhs + " " + op + " " + right.sql + ")";
}

} // namespace testserver
