#include "rewriter.h"

#include "sql_error.h"
#include "type_rules.h"
#include "utf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace testserver {

struct Rewriter::Binding {
    const CatalogObject* object = nullptr;
    std::optional<std::string> alias;
    std::vector<std::string> name; // as written
    std::string sqlAlias;
};

struct Rewriter::Scope {
    std::vector<Binding> bindings;
    const Scope* parent = nullptr;
};

namespace {

std::string quote(const std::string& name) {
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

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : ".") + p;
    return out;
}

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string realText(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    return s;
}

TypedSql textLiteral(const std::string& text, int length = 0) {
    TypedSql t;
    t.sql = sqlString(text);
    t.type = SqlType::NVarChar;
    t.length = length > 0 ? length : std::max<int>(1, static_cast<int>(utf::utf16Length(text)));
    t.nullable = false;
    return t;
}

TypedSql typed(std::string sql, SqlType type, bool nullable = true, int length = 0) {
    TypedSql t;
    t.sql = std::move(sql);
    t.type = type;
    t.nullable = nullable;
    t.length = length;
    return t;
}

[[noreturn]] void argumentCountError(const Expr& e, int count) {
    throw SqlError(174, 15,
                   "The " + lower(e.name) + " function requires " + std::to_string(count) +
                       " argument(s).",
                   e.token.line);
}

// Converts a string literal to the type it meets, as SQL Server converts constants.
void coerce(TypedSql& v, SqlType target) {
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
        v = typed(realText(*days), SqlType::DateTime, false);
    } else if (types::isNumeric(target)) {
        std::int64_t i = 0;
        const auto* b = text.data();
        const auto* e = text.data() + text.size();
        if (std::from_chars(b, e, i).ptr == e && !text.empty()) {
            v = typed(std::to_string(i), target, false);
            return;
        }
        char* end = nullptr;
        const double d = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size())
            throw SqlError(245, 16,
                           "Conversion failed when converting the varchar value '" + text +
                               "' to data type " + types::name(target) + ".",
                           1, SqlError::Scope::Statement);
        v = typed(realText(d), SqlType::Float, false);
    }
}

// The type of CASE, COALESCE and friends: the highest-precedence branch; strings take
// the longest length.
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
        coerce(*b, result.type);
    return result;
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

Rewriter::Rewriter(const Catalog& catalog, const SessionContext& context)
    : catalog_(catalog), context_(context) {}

RewrittenSelect Rewriter::rewrite(const SelectStmt& select) {
    return rewriteSelect(select, nullptr, false);
}

TypedSql Rewriter::rewriteExpression(const Expr& e) {
    Scope scope;
    return expr(e, scope);
}

std::string Rewriter::rewriteSource(const TableSource& source, Scope& scope,
                                    std::string& functionFilter) {
    const auto& n = source.name;
    const std::string schema = n.size() >= 2 ? n[n.size() - 2] : std::string("dbo");
    const CatalogObject* object = catalog_.find(schema, n.back());
    if (!object)
        throw SqlError(208, 16, "Invalid object name '" + joined(n) + "'.", source.token.line);
    if (object->isFunction() && !source.isFunction)
        throw SqlError(216, 16,
                       "Parameters were not supplied for the function '" + joined(n) + "'.",
                       source.token.line);
    if (!object->isFunction() && source.isFunction)
        throw SqlError(215, 16,
                       "Parameters were supplied for object '" + joined(n) +
                           "' which is not a function. If the parameters are intended as a table "
                           "hint, a WITH keyword is required.",
                       source.token.line);
    Binding b;
    b.object = object;
    b.alias = source.alias;
    b.name = n;
    b.sqlAlias = "t" + std::to_string(aliasCounter_++);
    if (object->isFunction()) {
        if (source.args.size() > 1)
            throw SqlError(8144, 16,
                           "Procedure or function " + object->name +
                               " has too many arguments specified.",
                           source.token.line);
        if (source.args.empty())
            throw SqlError(216, 16,
                           "Parameters were not supplied for the function '" + joined(n) + "'.",
                           source.token.line);
        // The argument sees only the sources before this one, as APPLY does.
        const TypedSql arg = expr(*source.args[0], scope);
        functionFilter = b.sqlAlias + "." + quote(object->argumentColumn) + " = " + arg.sql;
    }
    scope.bindings.push_back(b);
    return quote(object->table) + " AS " + b.sqlAlias;
}

RewrittenSelect Rewriter::rewriteSelect(const SelectStmt& select, const Scope* outer,
                                        bool forExists) {
    Scope scope;
    scope.parent = outer;
    std::string from;
    std::vector<std::string> filters;
    if (select.from) {
        std::string filter;
        from = " FROM " + rewriteSource(*select.from, scope, filter);
        if (!filter.empty())
            filters.push_back(filter);
        for (const auto& join : select.joins) {
            std::string joinFilter;
            const std::string src = rewriteSource(join.source, scope, joinFilter);
            const bool apply =
                join.type == JoinType::CrossApply || join.type == JoinType::OuterApply;
            if (apply && !join.source.isFunction)
                throw SqlError(102, 15, "Incorrect syntax near '" + join.source.token.text + "'.",
                               join.source.token.line);
            static const char* const kKeyword[] = {" JOIN ",      " LEFT JOIN ",  " RIGHT JOIN ",
                                                   " FULL JOIN ", " CROSS JOIN ", " JOIN ",
                                                   " LEFT JOIN "};
            std::string on = joinFilter;
            if (join.on) {
                const std::string c = condition(*join.on, scope);
                on = on.empty() ? c : "(" + on + ") AND " + c;
            }
            if (join.type == JoinType::Cross && !on.empty()) {
                filters.push_back(on);
                on.clear();
            }
            from += kKeyword[static_cast<int>(join.type)] + src;
            if (!on.empty())
                from += " ON " + on;
            else if (join.type != JoinType::Cross)
                from += " ON 1";
        }
    }

    RewrittenSelect out;
    std::string items;
    auto addItem = [&](const std::string& sql, Column c) {
        items += (items.empty() ? "" : ", ") + sql;
        out.columns.push_back(std::move(c));
    };
    for (const auto& item : select.items) {
        if (item.star) {
            if (!select.from)
                throw SqlError(263, 16, "Must specify table to select from.", item.token.line);
            bool matched = false;
            for (const auto& b : scope.bindings) {
                if (!item.starOwner.empty()) {
                    const auto& q = item.starOwner;
                    const bool hit = b.alias ? (q.size() == 1 && equalsNoCase(q[0], *b.alias))
                                             : equalsNoCase(q.back(), b.name.back());
                    if (!hit)
                        continue;
                }
                matched = true;
                for (const auto& c : b.object->columns)
                    addItem(b.sqlAlias + "." + quote(c.name),
                            Column{c.name, c.type, c.length, c.nullable});
            }
            if (!matched)
                throw SqlError(107, 15,
                               "The column prefix '" + joined(item.starOwner) +
                                   "' does not match with a table name or alias name used in "
                                   "the query.",
                               item.token.line);
            continue;
        }
        TypedSql t = expr(*item.expr, scope);
        std::string name;
        if (item.alias)
            name = *item.alias;
        else if (item.expr->kind == ExprKind::Column)
            name = item.expr->parts.back();
        addItem(t.sql, Column{name, t.nullLiteral ? SqlType::Int : t.type, t.length, t.nullable});
    }

    std::string sql = "SELECT ";
    if (select.distinct)
        sql += "DISTINCT ";
    sql += forExists ? std::string("1") : items;
    sql += from;
    if (select.where)
        filters.push_back(condition(*select.where, scope));
    for (std::size_t i = 0; i < filters.size(); ++i)
        sql += (i == 0 ? " WHERE " : " AND ") + filters[i];
    if (!select.groupBy.empty()) {
        sql += " GROUP BY ";
        for (std::size_t i = 0; i < select.groupBy.size(); ++i)
            sql += (i ? ", " : "") + expr(*select.groupBy[i], scope).sql;
    }
    if (select.having)
        sql += " HAVING " + condition(*select.having, scope);
    if (!select.orderBy.empty() && !forExists) {
        sql += " ORDER BY ";
        for (std::size_t i = 0; i < select.orderBy.size(); ++i) {
            const auto& o = select.orderBy[i];
            std::string key;
            SqlType type = SqlType::Int;
            const Expr& e = *o.expr;
            std::size_t ordinal = 0;
            if (e.kind == ExprKind::Literal && e.token.kind == TokenKind::Integer) {
                ordinal = std::stoull(e.token.value);
                if (ordinal < 1 || ordinal > out.columns.size())
                    throw SqlError(108, 16,
                                   "The ORDER BY position number " + e.token.value +
                                       " is out of range of the number of items in the select "
                                       "list.",
                                   e.token.line);
            } else if (e.kind == ExprKind::Column && e.parts.size() == 1) {
                for (std::size_t k = 0; k < out.columns.size() && ordinal == 0; ++k)
                    if (equalsNoCase(out.columns[k].name, e.parts[0]))
                        ordinal = k + 1;
            }
            if (ordinal > 0) {
                key = std::to_string(ordinal);
                type = out.columns[ordinal - 1].type;
            } else {
                const TypedSql t = expr(e, scope);
                key = t.sql;
                type = t.type;
            }
            if (types::isString(type))
                key += " COLLATE NOCASE";
            sql += (i ? ", " : "") + key + (o.descending ? " DESC" : "");
        }
    }
    if (select.top)
        sql += " LIMIT " + std::to_string(*select.top);
    out.sql = std::move(sql);
    return out;
}

std::string Rewriter::subquery(const SelectStmt& select, const Scope& scope, bool forExists,
                               TypedSql* firstColumn) {
    RewrittenSelect r = rewriteSelect(select, &scope, forExists);
    if (firstColumn && !r.columns.empty()) {
        firstColumn->type = r.columns[0].type;
        firstColumn->length = r.columns[0].length;
    }
    return r.sql;
}

TypedSql Rewriter::expr(const Expr& e, const Scope& scope) {
    switch (e.kind) {
    case ExprKind::Literal:
        return literal(e);
    case ExprKind::Column:
        return column(e, scope);
    case ExprKind::Variable:
        return variable(e);
    case ExprKind::Function:
        return function(e, scope);
    case ExprKind::Binary:
        return binary(e, scope);
    case ExprKind::Case:
        return caseExpr(e, scope);
    case ExprKind::Subquery: {
        TypedSql t;
        t.sql = "(" + subquery(*e.subquery, scope, false, &t) + ")";
        t.nullable = true;
        return t;
    }
    case ExprKind::Unary: {
        TypedSql t = expr(*e.args[0], scope);
        if (e.op == "not")
            break;
        t.sql = "(" + e.op + t.sql + ")";
        t.stringLiteral.reset();
        if (t.type == SqlType::Bit && e.op == "-")
            t.type = SqlType::Int;
        return t;
    }
    default:
        break;
    }
    throw SqlError(102, 15, "Incorrect syntax near '" + e.token.text + "'.", e.token.line);
}

TypedSql Rewriter::literal(const Expr& e) {
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
        out = textLiteral(t.value);
        if (out.length > 4000)
            out.length = 0;
        out.stringLiteral = t.value;
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

TypedSql Rewriter::variable(const Expr& e) {
    const std::string name = lower(e.token.value);
    if (name == "@@spid")
        return typed(std::to_string(context_.spid), SqlType::SmallInt, false);
    if (name == "@@servername") {
        if (!context_.serverName)
            return typed("NULL", SqlType::NVarChar, true, 128);
        return typed(sqlString(*context_.serverName), SqlType::NVarChar, false, 128);
    }
    if (name == "@@version")
        return typed(sqlString(context_.version), SqlType::NVarChar, false, 300);
    if (name == "@@language")
        return typed(sqlString("us_english"), SqlType::NVarChar, false, 128);
    if (name == "@@rowcount")
        return typed(std::to_string(context_.previousRowCount), SqlType::Int, false);
    if (name == "@@trancount" || name == "@@error" || name == "@@nestlevel" || name == "@@procid")
        return typed("0", SqlType::Int, false);
    if (name == "@@max_connections")
        return typed("32767", SqlType::Int, false);
    throw SqlError(137, 15, "Must declare the scalar variable \"" + e.token.value + "\".",
                   e.token.line);
}

TypedSql Rewriter::column(const Expr& e, const Scope& scope) {
    const std::string& name = e.parts.back();
    const std::vector<std::string> qualifier(e.parts.begin(), e.parts.end() - 1);
    for (const Scope* s = &scope; s; s = s->parent) {
        const Binding* found = nullptr;
        int index = -1;
        for (const auto& b : s->bindings) {
            if (!qualifier.empty()) {
                bool hit = false;
                if (b.alias) {
                    hit = qualifier.size() == 1 && equalsNoCase(qualifier[0], *b.alias);
                } else {
                    // sys.dm_exec_sessions.x or dm_exec_sessions.x
                    const std::vector<std::string> full = {b.object->schema, b.object->name};
                    hit = qualifier.size() <= 3 && equalsNoCase(qualifier.back(), full[1]) &&
                          (qualifier.size() == 1 ||
                           equalsNoCase(qualifier[qualifier.size() - 2], full[0]));
                }
                if (!hit)
                    continue;
                const int i = b.object->columnIndex(name);
                if (i < 0)
                    throw SqlError(207, 16, "Invalid column name '" + name + "'.", e.token.line);
                found = &b;
                index = i;
                break;
            }
            const int i = b.object->columnIndex(name);
            if (i < 0)
                continue;
            if (found)
                throw SqlError(209, 16, "Ambiguous column name '" + name + "'.", e.token.line);
            found = &b;
            index = i;
        }
        if (found) {
            const auto& c = found->object->columns[static_cast<std::size_t>(index)];
            return typed(found->sqlAlias + "." + quote(c.name), c.type, c.nullable, c.length);
        }
    }
    if (!qualifier.empty())
        throw SqlError(4104, 16,
                       "The multi-part identifier \"" + joined(e.parts) + "\" could not be bound.",
                       e.token.line);
    throw SqlError(207, 16, "Invalid column name '" + name + "'.", e.token.line);
}

TypedSql Rewriter::binary(const Expr& e, const Scope& scope) {
    TypedSql l = expr(*e.args[0], scope);
    TypedSql r = expr(*e.args[1], scope);
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
        coerce(r, l.type);
    if (!r.nullLiteral && (types::isNumeric(r.type) || r.type == SqlType::DateTime))
        coerce(l, r.type);
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
    t.nullable = l.nullable || r.nullable;
    t.length = std::max(l.length, r.length);
    return t;
}

TypedSql Rewriter::caseExpr(const Expr& e, const Scope& scope) {
    std::optional<TypedSql> operand;
    if (e.operand)
        operand = expr(*e.operand, scope);
    std::vector<std::string> whens;
    std::vector<TypedSql> results;
    for (const auto& w : e.whens) {
        if (operand) {
            TypedSql v = expr(*w.when, scope);
            coerce(v, operand->type);
            whens.push_back(v.sql);
        } else {
            whens.push_back(condition(*w.when, scope));
        }
        results.push_back(expr(*w.then, scope));
    }
    if (e.elseExpr)
        results.push_back(expr(*e.elseExpr, scope));
    else
        results.push_back(literal(Expr{})); // a missing ELSE is ELSE NULL
    std::vector<TypedSql*> branches;
    for (auto& r : results)
        branches.push_back(&r);
    TypedSql t = mergeTypes(branches);
    t.sql = "CASE";
    if (operand)
        t.sql += " " + operand->sql + (types::isString(operand->type) ? " COLLATE NOCASE" : "");
    for (std::size_t i = 0; i < whens.size(); ++i)
        t.sql += " WHEN " + whens[i] + " THEN " + results[i].sql;
    t.sql += " ELSE " + results.back().sql + " END";
    return t;
}

std::string Rewriter::comparison(const TypedSql& left, const std::string& op, TypedSql right) {
    TypedSql l = left;
    if (!l.nullLiteral)
        coerce(right, l.type);
    if (!right.nullLiteral)
        coerce(l, right.type);
    std::string lhs = l.sql;
    // SQL Server's default collation is case-insensitive.
    if (types::isString(l.type) && (types::isString(right.type) || right.nullLiteral))
        lhs += " COLLATE NOCASE";
    return "(" + lhs + " " + op + " " + right.sql + ")";
}

std::string Rewriter::condition(const Expr& e, const Scope& scope) {
    switch (e.kind) {
    case ExprKind::Binary:
        if (e.op == "and" || e.op == "or")
            return "(" + condition(*e.args[0], scope) + (e.op == "and" ? " AND " : " OR ") +
                   condition(*e.args[1], scope) + ")";
        return comparison(expr(*e.args[0], scope), e.op, expr(*e.args[1], scope));
    case ExprKind::Unary:
        if (e.op == "not")
            return "(NOT " + condition(*e.args[0], scope) + ")";
        break;
    case ExprKind::Exists:
        return "EXISTS (" + subquery(*e.subquery, scope, true, nullptr) + ")";
    case ExprKind::InList: {
        TypedSql l = expr(*e.args[0], scope);
        std::string list;
        bool text = types::isString(l.type);
        for (std::size_t i = 1; i < e.args.size(); ++i) {
            TypedSql v = expr(*e.args[i], scope);
            coerce(v, l.type);
            list += (i > 1 ? ", " : "") + v.sql;
        }
        return "(" + l.sql + (text ? " COLLATE NOCASE" : "") + (e.negated ? " NOT IN (" : " IN (") +
               list + "))";
    }
    case ExprKind::InSelect: {
        TypedSql l = expr(*e.args[0], scope);
        return "(" + l.sql + (e.negated ? " NOT IN (" : " IN (") +
               subquery(*e.subquery, scope, false, nullptr) + "))";
    }
    case ExprKind::IsNull:
        return "(" + expr(*e.args[0], scope).sql + (e.negated ? " IS NOT NULL)" : " IS NULL)");
    case ExprKind::Between: {
        TypedSql v = expr(*e.args[0], scope);
        TypedSql lo = expr(*e.args[1], scope);
        TypedSql hi = expr(*e.args[2], scope);
        coerce(lo, v.type);
        coerce(hi, v.type);
        return "(" + v.sql + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + lo.sql + " AND " +
               hi.sql + ")";
    }
    case ExprKind::Like:
        return "(" + expr(*e.args[0], scope).sql + (e.negated ? " NOT LIKE " : " LIKE ") +
               expr(*e.args[1], scope).sql + ")";
    default:
        break;
    }
    throw SqlError(4145, 15,
                   "An expression of non-boolean type specified in a context where a condition "
                   "is expected, near '" +
                       e.token.text + "'.",
                   e.token.line);
}

TypedSql Rewriter::function(const Expr& e, const Scope& scope) {
    const std::string fn = lower(e.name);
    const std::size_t argc = e.args.size();
    auto arg = [&](std::size_t i) { return expr(*e.args[i], scope); };
    auto need = [&](std::size_t n) {
        if (argc != n)
            argumentCountError(e, static_cast<int>(n));
    };
    if (fn == "isnull") {
        need(2);
        TypedSql a = arg(0);
        TypedSql b = arg(1);
        if (!a.nullLiteral)
            coerce(b, a.type);
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
        coerce(b, a.type);
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
            return textLiteral(context_.databaseName, 128);
        need(1);
        return typed("(SELECT name FROM databases WHERE database_id = " + arg(0).sql + ")",
                     SqlType::NVarChar, true, 128);
    }
    if (fn == "db_id") {
        if (argc == 0)
            return typed(std::to_string(context_.databaseId), SqlType::SmallInt, false);
        need(1);
        return typed("(SELECT database_id FROM databases WHERE name = " + arg(0).sql + ")",
                     SqlType::SmallInt);
    }
    if (fn == "suser_name" || fn == "suser_sname" || fn == "original_login") {
        need(0);
        return textLiteral(context_.login, 128);
    }
    if (fn == "user_name") {
        need(0);
        return textLiteral("dbo", 128);
    }
    if (fn == "host_name") {
        need(0);
        return textLiteral(context_.host, 128);
    }
    if (fn == "app_name") {
        need(0);
        return textLiteral(context_.program, 128);
    }
    if (fn == "getdate" || fn == "getutcdate" || fn == "sysdatetime") {
        need(0);
        return typed(realText(context_.now), SqlType::DateTime, false);
    }
    if (fn == "datalength") {
        need(1);
        const TypedSql a = arg(0);
        const bool max = (types::isString(a.type) || types::isBinary(a.type)) && a.length == 0;
        const SqlType type = max ? SqlType::BigInt : SqlType::Int;
        if (a.type == SqlType::NVarChar)
            return typed("ts_datalength(" + a.sql + ")", type);
        if (types::isString(a.type) || types::isBinary(a.type))
            return typed("length(CAST(" + a.sql + " AS BLOB))", type);
        return typed("CASE WHEN " + a.sql + " IS NULL THEN NULL ELSE " +
                         std::to_string(fixedDataLength(a.type)) + " END",
                     type);
    }
    if (fn == "len") {
        need(1);
        return typed("length(rtrim(" + arg(0).sql + ", ' '))", SqlType::Int);
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
            return typed("count(*)", type, false);
        need(1);
        return typed("count(" + arg(0).sql + ")", type, false);
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
