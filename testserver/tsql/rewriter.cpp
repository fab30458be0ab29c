#include "rewriter.h"

#include "builtin_functions.h"
#include "operators.h"
#include "sql_error.h"
#include "terms.h"
#include "type_rules.h"
#include "visible_source.h"

namespace testserver {

Rewriter::Rewriter(const Catalog& catalog, const SessionContext& context)
    : catalog_(catalog), context_(context) {}

RewrittenSelect Rewriter::rewrite(const SelectStmt& select) {
    return rewriteSelect(select, nullptr, false);
}

TypedSql Rewriter::rewriteExpression(const Expr& e) {
    NameScope scope;
    return expr(e, scope);
}

std::string Rewriter::rewriteSource(const TableSource& source, NameScope& scope,
                                    std::string& functionFilter) {
    const auto& n = source.name;
    const std::string schema = n.size() >= 2 ? n[n.size() - 2] : std::string("dbo");
    const CatalogObject* object = catalog_.find(schema, n.back());
    if (!object)
        throw SqlError(208, 16, "Invalid object name '" + JoinedName(n) + "'.", source.token.line);
    if (object->isFunction() && !source.isFunction)
        throw SqlError(216, 16,
                       "Parameters were not supplied for the function '" + JoinedName(n) + "'.",
                       source.token.line);
    if (!object->isFunction() && source.isFunction)
        throw SqlError(215, 16,
                       "Parameters were supplied for object '" + JoinedName(n) +
                           "' which is not a function. If the parameters are intended as a table "
                           "hint, a WITH keyword is required.",
                       source.token.line);
    NameBinding b;
    b.object = object;
    b.alias = source.alias;
    b.name = n;
    b.sqlAlias = "t" + std::to_string(aliasCounter_++);
    if (object->isFunction()) {
        const auto& params = object->arguments;
        if (source.args.size() > params.size())
            throw SqlError(8144, 16,
                           "Procedure or function " + object->name +
                               " has too many arguments specified.",
                           source.token.line);
        for (std::size_t i = 0; i < params.size(); ++i) {
            std::string value;
            if (i < source.args.size()) {
                // An argument sees only the sources before this one, as APPLY does.
                value = expr(*source.args[i], scope).sql;
            } else if (!params[i].defaultSql.empty()) {
                value = params[i].defaultSql;
            } else if (source.args.empty()) {
                throw SqlError(216, 16,
                               "Parameters were not supplied for the function '" + JoinedName(n) +
                                   "'.",
                               source.token.line);
            } else {
                throw SqlError(313, 16,
                               "An insufficient number of arguments were supplied for the "
                               "procedure or function " +
                                   JoinedName(n) + ".",
                               source.token.line);
            }
            functionFilter += (i ? " AND " : "") + b.sqlAlias + "." +
                              sqlIdentifier(params[i].column) + " = " + value;
        }
    }
    scope.add(b);
    return visibleSource(catalog_, context_, *object, source) + " AS " + b.sqlAlias;
}

RewrittenSelect Rewriter::rewriteSelect(const SelectStmt& select, const NameScope* outer,
                                        bool forExists) {
    NameScope scope(outer);
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
            const std::size_t added = scope.bindings().size() - 1;
            if (join.type == JoinType::Left || join.type == JoinType::OuterApply)
                scope.markOuter(added, added + 1);
            else if (join.type == JoinType::Right)
                scope.markOuter(0, added);
            else if (join.type == JoinType::Full)
                scope.markOuter(0, added + 1);
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
            for (const auto& b : scope.bindings()) {
                if (!item.starOwner.empty()) {
                    const auto& q = item.starOwner;
                    const bool hit = b.alias ? (q.size() == 1 && equalsNoCase(q[0], *b.alias))
                                             : equalsNoCase(q.back(), b.name.back());
                    if (!hit)
                        continue;
                }
                matched = true;
                for (const auto& c : b.object->columns)
                    addItem(b.sqlAlias + "." + sqlIdentifier(c.name),
                            Column{c.name, c.type, c.length, c.nullable || b.outer});
            }
            if (!matched)
                throw SqlError(107, 15,
                               "The column prefix '" + JoinedName(item.starOwner) +
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

std::string Rewriter::subquery(const SelectStmt& select, const NameScope& scope, bool forExists,
                               TypedSql* firstColumn) {
    RewrittenSelect r = rewriteSelect(select, &scope, forExists);
    if (firstColumn && !r.columns.empty()) {
        firstColumn->type = r.columns[0].type;
        firstColumn->length = r.columns[0].length;
    }
    return r.sql;
}

TypedSql Rewriter::expr(const Expr& e, const NameScope& scope) {
    switch (e.kind) {
    case ExprKind::Literal:
        return literalSql(e);
    case ExprKind::Column:
        return scope.resolve(e);
    case ExprKind::Variable:
        return variableSql(e, context_);
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

TypedSql Rewriter::binary(const Expr& e, const NameScope& scope) {
    TypedSql l = expr(*e.args[0], scope);
    TypedSql r = expr(*e.args[1], scope);
    return binarySql(e, std::move(l), std::move(r));
}

TypedSql Rewriter::caseExpr(const Expr& e, const NameScope& scope) {
    std::optional<TypedSql> operand;
    if (e.operand)
        operand = expr(*e.operand, scope);
    std::vector<std::string> whens;
    std::vector<TypedSql> results;
    for (const auto& w : e.whens) {
        if (operand) {
            TypedSql v = expr(*w.when, scope);
            coerceLiteral(v, operand->type);
            whens.push_back(v.sql);
        } else {
            whens.push_back(condition(*w.when, scope));
        }
        results.push_back(expr(*w.then, scope));
    }
    if (e.elseExpr)
        results.push_back(expr(*e.elseExpr, scope));
    else
        results.push_back(literalSql(Expr{})); // a missing ELSE is ELSE NULL
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

std::string Rewriter::condition(const Expr& e, const NameScope& scope) {
    switch (e.kind) {
    case ExprKind::Binary:
        if (e.op == "and" || e.op == "or")
            return "(" + condition(*e.args[0], scope) + (e.op == "and" ? " AND " : " OR ") +
                   condition(*e.args[1], scope) + ")";
        return comparisonSql(expr(*e.args[0], scope), e.op, expr(*e.args[1], scope));
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
            coerceLiteral(v, l.type);
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
        coerceLiteral(lo, v.type);
        coerceLiteral(hi, v.type);
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

TypedSql Rewriter::function(const Expr& e, const NameScope& scope) {
    std::vector<TypedSql> args;
    for (const auto& a : e.args)
        args.push_back(expr(*a, scope));
    return builtinFunction(e, std::move(args), context_);
}

} // namespace testserver
