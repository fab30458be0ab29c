#include "terms.h"

#include "sql_error.h"
#include "type_rules.h"
#include "utf.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace testserver {

TypedSql literalSql(const Expr& e) {
    const Token& t = e.token;
    TypedSql out;
    out.nullable = false;
    switch (t.kind) {
    case TokenKind::Integer: {
        std::int64_t v = 0;
        const auto r = std::from_chars(t.value.data(), t.value.data() + t.value.size(), v);
        out.sql = t.value;
        out.integerLiteral = true;
        if (r.ec != std::errc()) {
            out.type = SqlType::Float; // beyond bigint SQL Server makes it numeric
            out.sql += ".0";
        } else {
            out.type = (v <= 2147483647) ? SqlType::Int : SqlType::BigInt;
        }
        return out;
    }
    case TokenKind::Decimal:
    case TokenKind::Float: {
        std::string v = t.value;
        if (v.front() == '.')
            v.insert(v.begin(), '0');
        const auto dot = v.find('.');
        if (dot != std::string::npos && (dot + 1 == v.size() || !std::isdigit(v[dot + 1])))
            v.insert(dot + 1, "0");
        out.sql = v;
        out.type = SqlType::Float;
        return out;
    }
    case TokenKind::String:
    case TokenKind::NString: {
        // A literal without N is varchar in the database's code page.
        const std::string value =
            t.kind == TokenKind::String ? utf::throughCp1252(t.value) : t.value;
        out = textLiteral(value);
        if (out.length > 4000)
            out.length = 0;
        out.stringLiteral = value;
        return out;
    }
    case TokenKind::Binary: {
        std::string hex = t.value;
        if (hex.size() % 2)
            hex.insert(hex.begin(), '0');
        out.sql = "X'" + hex + "'";
        out.type = SqlType::VarBinary;
        out.length = std::max<int>(1, static_cast<int>(hex.size() / 2));
        return out;
    }
    default:
        out.sql = "NULL";
        out.nullLiteral = true;
        out.nullable = true;
        out.type = SqlType::Int;
        return out;
    }
}

TypedSql variableSql(const Expr& e, const SessionContext& context) {
    const std::string name = lowerCase(e.token.value);
    if (name == "@@spid")
        return typedSql(std::to_string(context.spid), SqlType::SmallInt, false);
    if (name == "@@servername") // nullable: an instance without a name gives NULL
        return typedSql(context.serverName ? sqlString(*context.serverName) : "NULL",
                        SqlType::NVarChar, true, 128);
    if (name == "@@version")
        return typedSql(sqlString(context.version), SqlType::NVarChar, false, 300);
    if (name == "@@language")
        return typedSql(sqlString("us_english"), SqlType::NVarChar, false, 128);
    if (name == "@@rowcount")
        return typedSql(std::to_string(context.previousRowCount), SqlType::Int, false);
    if (name == "@@trancount" || name == "@@error" || name == "@@nestlevel" || name == "@@procid")
        return typedSql("0", SqlType::Int, false);
    if (name == "@@max_connections")
        return typedSql("32767", SqlType::Int, false);
    throw SqlError(137, 15, "Must declare the scalar variable \"" + e.token.value + "\".",
                   e.token.line);
}

} // namespace testserver
