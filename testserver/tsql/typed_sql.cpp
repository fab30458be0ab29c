#include "typed_sql.h"

#include "sql_error.h"
#include "type_rules.h"
#include "utf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace testserver {

std::string sqlIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string sqlString(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string sqlReal(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    return s;
}

std::string lowerCase(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TypedSql typedSql(std::string sql, SqlType type, bool nullable, int length) {
    TypedSql t;
    t.sql = std::move(sql);
    t.type = type;
    t.nullable = nullable;
    t.length = length;
    return t;
}

TypedSql textLiteral(const std::string& text, int length) {
    TypedSql t;
    t.sql = sqlString(text);
    t.type = SqlType::NVarChar;
    t.length = length > 0 ? length : std::max<int>(1, static_cast<int>(utf::utf16Length(text)));
    t.nullable = false;
    return t;
}

void coerceLiteral(TypedSql& v, SqlType target) {
    if (!v.stringLiteral)
        return;
    const std::string& text = *v.stringLiteral;
    if (target == SqlType::DateTime) {
        const auto days = types::parseDateTime(text);
        if (!days)
            throw SqlError(241, 16,
                           "Conversion failed when converting date and/or time from character "
                           "string.",
                           1, SqlError::Scope::Statement);
        v = typedSql(sqlReal(*days), SqlType::DateTime, false);
    } else if (types::isNumeric(target)) {
        std::int64_t i = 0;
        const auto* b = text.data();
        const auto* e = text.data() + text.size();
        if (std::from_chars(b, e, i).ptr == e && !text.empty()) {
            v = typedSql(std::to_string(i), target, false);
            return;
        }
        char* end = nullptr;
        const double d = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size())
            throw SqlError(245, 16,
                           "Conversion failed when converting the varchar value '" + text +
                               "' to data type " + types::name(target) + ".",
                           1, SqlError::Scope::Statement);
        v = typedSql(sqlReal(d), SqlType::Float, false);
    }
}

TypedSql mergeTypes(const std::vector<TypedSql*>& branches) {
    TypedSql result;
    result.nullLiteral = true;
    result.nullable = false;
    for (const TypedSql* b : branches) {
        result.nullable = result.nullable || b->nullable;
        if (b->nullLiteral)
            continue;
        if (result.nullLiteral) {
            result.type = b->type;
            result.length = b->length;
            result.nullLiteral = false;
            continue;
        }
        const SqlType winner = types::higher(result.type, b->type);
        if ((types::isString(winner) || types::isBinary(winner)) && winner == b->type &&
            winner == result.type)
            result.length =
                (result.length == 0 || b->length == 0) ? 0 : std::max(result.length, b->length);
        else if (winner != result.type)
            result.length = b->length;
        result.type = winner;
    }
    if (result.nullLiteral)
        result.type = SqlType::Int;
    result.nullLiteral = false;
    for (TypedSql* b : branches)
        coerceLiteral(*b, result.type);
    return result;
}

} // namespace testserver
