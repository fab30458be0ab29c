#include "builtin_functions.h"

#include "sql_error.h"
#include "type_rules.h"

namespace testserver {

namespace {

[[noreturn]] void argumentCountError(const Expr& e, int count) {
    throw SqlError(174, 15,
                   "The " + lowerCase(e.name) + " function requires " + std::to_string(count) +
                       " argument(s).",
                   e.token.line);
}

int fixedDataLength(SqlType type) {
    switch (type) {
    case SqlType::Bit:
    case SqlType::TinyInt:
        return 1;
    case SqlType::SmallInt:
        return 2;
    case SqlType::Int:
    case SqlType::Real:
        return 4;
    case SqlType::UniqueIdentifier:
        return 16;
    default:
        return 8;
    }
}

} // namespace

TypedSql builtinFunction(const Expr& e, std::vector<TypedSql> args, const SessionContext& context) {
    const std::string fn = lowerCase(e.name);
    const std::size_t argc = e.args.size();
    auto arg = [&](std::size_t i) { return args.at(i); };
    auto need = [&](std::size_t n) {
        if (argc != n)
            argumentCountError(e, static_cast<int>(n));
    };
    if (fn == "isnull") {
        need(2);
        TypedSql a = arg(0);
        TypedSql b = arg(1);
        if (!a.nullLiteral)
            coerceLiteral(b, a.type);
        TypedSql t = a.nullLiteral ? b : a;
        t.sql = "coalesce(" + a.sql + ", " + b.sql + ")";
        t.nullable = a.nullable && b.nullable;
        t.stringLiteral.reset();
        t.integerLiteral = false;
        t.nullLiteral = a.nullLiteral && b.nullLiteral;
        return t;
    }
    if (fn == "nullif") {
        need(2);
        TypedSql a = arg(0);
        TypedSql b = arg(1);
        coerceLiteral(b, a.type);
        TypedSql t = a;
        t.sql = "nullif(" + a.sql + ", " + b.sql + ")";
        t.nullable = true;
        t.stringLiteral.reset();
        t.integerLiteral = false;
        return t;
    }
    if (fn == "coalesce") {
        if (argc < 2)
            argumentCountError(e, 2);
        std::vector<TypedSql> values;
        for (std::size_t i = 0; i < argc; ++i)
            values.push_back(arg(i));
        std::vector<TypedSql*> branches;
        for (auto& v : values)
            branches.push_back(&v);
        TypedSql t = mergeTypes(branches);
        t.nullable = true;
        for (const auto& v : values)
            t.nullable = t.nullable && v.nullable;
        t.sql = "coalesce(";
        for (std::size_t i = 0; i < values.size(); ++i)
            t.sql += (i ? ", " : "") + values[i].sql;
        t.sql += ")";
        return t;
    }
    if (fn == "db_name") {
        if (argc == 0)
            return textLiteral(context.databaseName, 128);
        need(1);
        return typedSql("(SELECT name FROM databases WHERE database_id = " + arg(0).sql + ")",
                        SqlType::NVarChar, true, 128);
    }
    if (fn == "db_id") {
        if (argc == 0)
            return typedSql(std::to_string(context.databaseId), SqlType::SmallInt, false);
        need(1);
        return typedSql("(SELECT database_id FROM databases WHERE name = " + arg(0).sql + ")",
                        SqlType::SmallInt);
    }
    if (fn == "suser_name" || fn == "suser_sname" || fn == "original_login") {
        need(0);
        return textLiteral(context.login, 128);
    }
    if (fn == "has_perms_by_name") {
        // Only the server permissions the instance models; any other is NULL, as for a
        // permission SQL Server does not know.
        if (argc < 3 || argc > 5)
            argumentCountError(e, 3);
        const TypedSql permission = arg(2);
        std::string name = permission.stringLiteral.value_or(std::string());
        name = lowerCase(name);
        if (name == "view server state")
            return typedSql(context.viewServerState ? "1" : "0", SqlType::Int, false);
        if (name == "alter any connection")
            return typedSql(context.alterAnyConnection ? "1" : "0", SqlType::Int, false);
        return typedSql("NULL", SqlType::Int, true);
    }
    if (fn == "user_name") {
        need(0);
        return textLiteral("dbo", 128);
    }
    if (fn == "host_name") {
        need(0);
        return textLiteral(context.host, 128);
    }
    if (fn == "app_name") {
        need(0);
        return textLiteral(context.program, 128);
    }
    if (fn == "getdate" || fn == "getutcdate" || fn == "sysdatetime") {
        need(0);
        return typedSql(sqlReal(context.now), SqlType::DateTime, false);
    }
    if (fn == "datalength") {
        need(1);
        const TypedSql a = arg(0);
        const bool max = (types::isString(a.type) || types::isBinary(a.type)) && a.length == 0;
        const SqlType type = max ? SqlType::BigInt : SqlType::Int;
        if (a.type == SqlType::NVarChar)
            return typedSql("ts_datalength(" + a.sql + ")", type);
        if (types::isString(a.type) || types::isBinary(a.type))
            return typedSql("length(CAST(" + a.sql + " AS BLOB))", type);
        return typedSql("CASE WHEN " + a.sql + " IS NULL THEN NULL ELSE " +
                            std::to_string(fixedDataLength(a.type)) + " END",
                        type);
    }
    if (fn == "len") {
        need(1);
        return typedSql("length(rtrim(" + arg(0).sql + ", ' '))", SqlType::Int);
    }
    if (fn == "upper" || fn == "lower" || fn == "ltrim" || fn == "rtrim") {
        need(1);
        TypedSql t = arg(0);
        t.sql = fn + "(" + t.sql + ")";
        t.stringLiteral.reset();
        return t;
    }
    if (fn == "substring" || fn == "left" || fn == "right") {
        need(fn == "substring" ? 3 : 2);
        TypedSql t = arg(0);
        const std::string n = arg(argc - 1).sql;
        if (fn == "substring")
            t.sql = "substr(" + t.sql + ", " + arg(1).sql + ", " + n + ")";
        else if (fn == "left")
            t.sql = "substr(" + t.sql + ", 1, " + n + ")";
        else
            t.sql = "CASE WHEN " + n + " <= 0 THEN '' ELSE substr(" + t.sql + ", -(" + n + ")) END";
        t.stringLiteral.reset();
        return t;
    }
    if (fn == "replace") {
        need(3);
        TypedSql t = arg(0);
        t.sql = "replace(" + t.sql + ", " + arg(1).sql + ", " + arg(2).sql + ")";
        t.length = 0;
        t.stringLiteral.reset();
        return t;
    }
    if (fn == "abs") {
        need(1);
        TypedSql t = arg(0);
        t.sql = "abs(" + t.sql + ")";
        return t;
    }
    if (fn == "count" || fn == "count_big") {
        const SqlType type = fn == "count" ? SqlType::Int : SqlType::BigInt;
        if (e.star)
            return typedSql("count(*)", type, false);
        need(1);
        return typedSql("count(" + arg(0).sql + ")", type, false);
    }
    if (fn == "sum" || fn == "avg" || fn == "min" || fn == "max") {
        need(1);
        TypedSql t = arg(0);
        if ((fn == "sum" || fn == "avg") && types::isInteger(t.type) && t.type != SqlType::BigInt)
            t.type = SqlType::Int;
        if ((fn == "sum" || fn == "avg") && t.type == SqlType::Real)
            t.type = SqlType::Float;
        t.sql = fn + "(" + t.sql + ")";
        t.nullable = true;
        t.stringLiteral.reset();
        t.integerLiteral = false;
        return t;
    }
    throw SqlError(195, 15, "'" + e.name + "' is not a recognized built-in function name.",
                   e.token.line);
}

} // namespace testserver
