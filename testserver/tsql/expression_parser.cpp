#include "expression_parser.h"

#include "catalog.h"
#include "sql_error.h"

namespace testserver {

namespace {

bool isFunctionKeyword(std::string_view word) {
    for (auto w : {"left", "right", "coalesce", "nullif", "convert"})
        if (equalsNoCase(word, w))
            return true;
    return false;
}

bool isComparison(const Token& t) {
    if (t.kind != TokenKind::Symbol)
        return false;
    for (auto s : {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"})
        if (t.value == s)
            return true;
    return false;
}

ExprPtr makeExpr(ExprKind kind, const Token& token) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->token = token;
    return e;
}

} // namespace

ExpressionParser::ExpressionParser(TokenCursor& cursor,
                                   std::function<std::unique_ptr<SelectStmt>()> parseSelect)
    : c_(cursor), parseSelect_(std::move(parseSelect)) {}

ExprPtr ExpressionParser::parseCondition() {
    ExprPtr left = parseAnd();
    while (c_.peek().isWord("or")) {
        auto e = makeExpr(ExprKind::Binary, c_.next());
        e->op = "or";
        e->args.push_back(std::move(left));
        e->args.push_back(parseAnd());
        left = std::move(e);
    }
    return left;
}

ExprPtr ExpressionParser::parseAnd() {
    ExprPtr left = parseNot();
    while (c_.peek().isWord("and")) {
        auto e = makeExpr(ExprKind::Binary, c_.next());
        e->op = "and";
        e->args.push_back(std::move(left));
        e->args.push_back(parseNot());
        left = std::move(e);
    }
    return left;
}

ExprPtr ExpressionParser::parseNot() {
    if (c_.peek().isWord("not")) {
        auto e = makeExpr(ExprKind::Unary, c_.next());
        e->op = "not";
        e->args.push_back(parseNot());
        return e;
    }
    return parsePredicate();
}

ExprPtr ExpressionParser::parsePredicate() {
    const Token& start = c_.peek();
    if (c_.acceptWord("exists")) {
        auto e = makeExpr(ExprKind::Exists, start);
        c_.expectSymbol("(");
        e->subquery = parseSelect_();
        c_.expectSymbol(")");
        return e;
    }
    if (start.isSymbol("(")) {
        // A parenthesised condition, unless it turns out to be an operand: "(a+b) > 3".
        const std::size_t save = c_.position();
        try {
            c_.next();
            ExprPtr inner = parseCondition();
            c_.expectSymbol(")");
            const Token& after = c_.peek();
            const bool operandFollows =
                isComparison(after) || after.isWord("in") || after.isWord("like") ||
                after.isWord("between") || after.isWord("is") ||
                (after.isWord("not") && !c_.peek(1).isWord("exists")) ||
                (after.kind == TokenKind::Symbol && !after.isSymbol(")") && !after.isSymbol(";"));
            if (!operandFollows)
                return inner;
        } catch (const SqlError&) {
        }
        c_.rewind(save);
    }
    ExprPtr left = parseExpr();
    const Token& op = c_.peek();
    if (isComparison(op)) {
        c_.next();
        auto e = makeExpr(ExprKind::Binary, op);
        e->op = op.value == "!="   ? "<>"
                : op.value == "!<" ? ">="
                : op.value == "!>" ? "<="
                                   : op.value;
        e->args.push_back(std::move(left));
        e->args.push_back(parseExpr());
        return e;
    }
    bool negated = false;
    if (op.isWord("not") &&
        (c_.peek(1).isWord("in") || c_.peek(1).isWord("like") || c_.peek(1).isWord("between"))) {
        c_.next();
        negated = true;
    }
    const Token& kw = c_.peek();
    if (c_.acceptWord("in")) {
        c_.expectSymbol("(");
        ExprPtr e;
        if (c_.peek().isWord("select")) {
            e = makeExpr(ExprKind::InSelect, kw);
            e->subquery = parseSelect_();
        } else {
            e = makeExpr(ExprKind::InList, kw);
            e->args.push_back(nullptr);
            do {
                e->args.push_back(parseExpr());
            } while (c_.acceptSymbol(","));
        }
        c_.expectSymbol(")");
        if (e->args.empty())
            e->args.push_back(nullptr);
        e->args[0] = std::move(left);
        e->negated = negated;
        return e;
    }
    if (c_.acceptWord("like")) {
        auto e = makeExpr(ExprKind::Like, kw);
        e->args.push_back(std::move(left));
        e->args.push_back(parseExpr());
        e->negated = negated;
        return e;
    }
    if (c_.acceptWord("between")) {
        auto e = makeExpr(ExprKind::Between, kw);
        e->args.push_back(std::move(left));
        e->args.push_back(parseExpr());
        c_.expectWord("and");
        e->args.push_back(parseExpr());
        e->negated = negated;
        return e;
    }
    if (c_.acceptWord("is")) {
        auto e = makeExpr(ExprKind::IsNull, kw);
        e->negated = c_.acceptWord("not");
        c_.expectWord("null");
        e->args.push_back(std::move(left));
        return e;
    }
    throw SqlError(4145, 15,
                   "An expression of non-boolean type specified in a context where a condition "
                   "is expected, near '" +
                       (c_.peek().kind == TokenKind::End ? start.text : c_.peek().text) + "'.",
                   c_.peek().line);
}

ExprPtr ExpressionParser::parseExpr() {
    return parseAdditive();
}

ExprPtr ExpressionParser::parseAdditive() {
    ExprPtr left = parseMultiplicative();
    while (c_.peek().isSymbol("+") || c_.peek().isSymbol("-") || c_.peek().isSymbol("&") ||
           c_.peek().isSymbol("|") || c_.peek().isSymbol("^")) {
        auto e = makeExpr(ExprKind::Binary, c_.next());
        e->op = e->token.value;
        e->args.push_back(std::move(left));
        e->args.push_back(parseMultiplicative());
        left = std::move(e);
    }
    return left;
}

ExprPtr ExpressionParser::parseMultiplicative() {
    ExprPtr left = parseUnary();
    while (c_.peek().isSymbol("*") || c_.peek().isSymbol("/") || c_.peek().isSymbol("%")) {
        auto e = makeExpr(ExprKind::Binary, c_.next());
        e->op = e->token.value;
        e->args.push_back(std::move(left));
        e->args.push_back(parseUnary());
        left = std::move(e);
    }
    return left;
}

ExprPtr ExpressionParser::parseUnary() {
    if (c_.peek().isSymbol("-") || c_.peek().isSymbol("+") || c_.peek().isSymbol("~")) {
        auto e = makeExpr(ExprKind::Unary, c_.next());
        e->op = e->token.value;
        e->args.push_back(parseUnary());
        return e;
    }
    return parsePrimary();
}

ExprPtr ExpressionParser::parsePrimary() {
    const Token& t = c_.peek();
    switch (t.kind) {
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::Binary:
        return makeExpr(ExprKind::Literal, c_.next());
    case TokenKind::Variable:
    case TokenKind::SystemVariable:
        return makeExpr(ExprKind::Variable, c_.next());
    case TokenKind::Symbol:
        if (c_.acceptSymbol("(")) {
            if (c_.peek().isWord("select")) {
                auto e = makeExpr(ExprKind::Subquery, t);
                e->subquery = parseSelect_();
                c_.expectSymbol(")");
                return e;
            }
            ExprPtr inner = parseExpr();
            c_.expectSymbol(")");
            return inner;
        }
        c_.syntaxError(t);
    case TokenKind::Identifier:
    case TokenKind::QuotedIdentifier:
        break;
    default:
        c_.syntaxError(t);
    }
    if (t.kind == TokenKind::Identifier) {
        if (t.isWord("null"))
            return makeExpr(ExprKind::Literal, c_.next());
        if (t.isWord("case"))
            return parseCase(c_.next());
        if (t.isWord("current_timestamp")) {
            auto e = makeExpr(ExprKind::Function, c_.next());
            e->name = "getdate";
            return e;
        }
        if (isReservedWord(t.value) && !(isFunctionKeyword(t.value) && c_.peek(1).isSymbol("(")))
            c_.syntaxError(t);
    }
    std::vector<std::string> parts;
    const Token& first = t;
    for (;;) {
        const Token& part = c_.next();
        if (part.kind != TokenKind::Identifier && part.kind != TokenKind::QuotedIdentifier)
            c_.syntaxError(part);
        parts.push_back(part.value);
        if (c_.peek().isSymbol("(")) {
            std::string name;
            for (const auto& p : parts)
                name += (name.empty() ? "" : ".") + p;
            return parseFunction(first, name);
        }
        if (!c_.acceptSymbol("."))
            break;
    }
    auto e = makeExpr(ExprKind::Column, first);
    e->parts = std::move(parts);
    return e;
}

ExprPtr ExpressionParser::parseFunction(const Token& nameToken, std::string name) {
    auto e = makeExpr(ExprKind::Function, nameToken);
    e->name = std::move(name);
    c_.expectSymbol("(");
    if (c_.acceptSymbol("*")) {
        e->star = true;
    } else if (!c_.peek().isSymbol(")")) {
        do {
            e->args.push_back(parseExpr());
        } while (c_.acceptSymbol(","));
    }
    c_.expectSymbol(")");
    return e;
}

ExprPtr ExpressionParser::parseCase(const Token& start) {
    auto e = makeExpr(ExprKind::Case, start);
    const bool searched = c_.peek().isWord("when");
    if (!searched)
        e->operand = parseExpr();
    while (c_.acceptWord("when")) {
        WhenClause w;
        w.when = searched ? parseCondition() : parseExpr();
        c_.expectWord("then");
        w.then = parseExpr();
        e->whens.push_back(std::move(w));
    }
    if (e->whens.empty())
        c_.syntaxError(c_.peek());
    if (c_.acceptWord("else"))
        e->elseExpr = parseExpr();
    c_.expectWord("end");
    return e;
}

} // namespace testserver
