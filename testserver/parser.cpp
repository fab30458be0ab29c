#include "parser.h"

#include "catalog.h"
#include "sql_error.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace testserver {

namespace {

constexpr std::string_view kReserved[] = {"add",        "all",
                                          "alter",      "and",
                                          "any",        "as",
                                          "asc",        "authorization",
                                          "backup",     "begin",
                                          "between",    "break",
                                          "browse",     "bulk",
                                          "by",         "cascade",
                                          "case",       "check",
                                          "checkpoint", "close",
                                          "clustered",  "coalesce",
                                          "collate",    "column",
                                          "commit",     "compute",
                                          "constraint", "contains",
                                          "continue",   "convert",
                                          "create",     "cross",
                                          "current",    "current_timestamp",
                                          "cursor",     "database",
                                          "dbcc",       "deallocate",
                                          "declare",    "default",
                                          "delete",     "deny",
                                          "desc",       "distinct",
                                          "drop",       "else",
                                          "end",        "escape",
                                          "except",     "exec",
                                          "execute",    "exists",
                                          "exit",       "fetch",
                                          "for",        "foreign",
                                          "from",       "full",
                                          "function",   "goto",
                                          "grant",      "group",
                                          "having",     "identity",
                                          "if",         "in",
                                          "index",      "inner",
                                          "insert",     "intersect",
                                          "into",       "is",
                                          "join",       "key",
                                          "kill",       "left",
                                          "like",       "merge",
                                          "not",        "null",
                                          "nullif",     "of",
                                          "off",        "on",
                                          "open",       "option",
                                          "or",         "order",
                                          "outer",      "over",
                                          "percent",    "pivot",
                                          "print",      "proc",
                                          "procedure",  "right",
                                          "rollback",   "select",
                                          "set",        "some",
                                          "table",      "then",
                                          "top",        "union",
                                          "update",     "use",
                                          "when",       "where",
                                          "while",      "with",
                                          "values",     "waitfor",
                                          "tran"};

// Reserved words that are also built-in functions when a '(' follows.
bool isFunctionKeyword(std::string_view word) {
    for (auto w : {"left", "right", "coalesce", "nullif", "convert"})
        if (equalsNoCase(word, w))
            return true;
    return false;
}

bool isStatementStart(const Token& t) {
    for (auto w : {"select",   "kill",   "dbcc",    "set",     "use",     "print", "insert",
                   "update",   "delete", "declare", "exec",    "execute", "begin", "commit",
                   "rollback", "if",     "while",   "waitfor", "create",  "alter", "drop"})
        if (t.isWord(w))
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

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

bool isReservedWord(std::string_view word) {
    return std::any_of(std::begin(kReserved), std::end(kReserved),
                       [&](std::string_view r) { return equalsNoCase(r, word); });
}

Parser::Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

const Token& Parser::peek(std::size_t ahead) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
}

const Token& Parser::next() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size())
        ++pos_;
    return t;
}

bool Parser::acceptWord(std::string_view word) {
    if (!peek().isWord(word))
        return false;
    next();
    return true;
}

bool Parser::acceptSymbol(std::string_view symbol) {
    if (!peek().isSymbol(symbol))
        return false;
    next();
    return true;
}

void Parser::expectWord(std::string_view word) {
    if (!acceptWord(word))
        syntaxError(peek());
}

void Parser::expectSymbol(std::string_view symbol) {
    if (!acceptSymbol(symbol))
        syntaxError(peek());
}

void Parser::syntaxError(const Token& token) const {
    const Token* t = &token;
    // At the end of the batch SQL Server names the last token it read.
    if (t->kind == TokenKind::End) {
        const std::size_t index = static_cast<std::size_t>(t - tokens_.data());
        if (index > 0)
            t = &tokens_[index - 1];
    }
    if (t->kind == TokenKind::Identifier && isReservedWord(t->value))
        throw SqlError(156, 15, "Incorrect syntax near the keyword '" + lower(t->value) + "'.",
                       t->line);
    const bool quoted = t->kind == TokenKind::String || t->kind == TokenKind::NString ||
                        t->kind == TokenKind::QuotedIdentifier;
    throw SqlError(102, 15, "Incorrect syntax near '" + (quoted ? t->value : t->text) + "'.",
                   t->line);
}

bool Parser::atStatementEnd() const {
    return peek().kind == TokenKind::End || peek().isSymbol(";") || isStatementStart(peek());
}

std::vector<Statement> Parser::parseBatch() {
    std::vector<Statement> statements;
    for (;;) {
        while (acceptSymbol(";")) {
        }
        if (peek().kind == TokenKind::End) {
            if (!statements.empty())
                statements.back().isLast = true;
            return statements;
        }
        const std::size_t first = pos_;
        Statement s = parseStatement();
        s.first = tokens_[first];
        s.begin16 = tokens_[first].begin16;
        s.end16 = tokens_[pos_ > first ? pos_ - 1 : first].end16;
        if (!atStatementEnd())
            syntaxError(peek());
        statements.push_back(std::move(s));
    }
}

Statement Parser::parseStatement() {
    Statement s;
    const Token& t = peek();
    if (t.isWord("select")) {
        s.kind = StatementKind::Select;
        s.select = parseSelect();
    } else if (acceptWord("kill")) {
        parseKill(s);
    } else if (acceptWord("dbcc")) {
        parseDbcc(s);
    } else if (acceptWord("set")) {
        parseSet(s);
    } else if (acceptWord("use")) {
        s.kind = StatementKind::Use;
        const Token& name = next();
        if (name.kind != TokenKind::Identifier && name.kind != TokenKind::QuotedIdentifier)
            syntaxError(name);
        s.name = name.value;
    } else if (acceptWord("print")) {
        s.kind = StatementKind::Print;
        s.expr = parseExpr();
    } else {
        syntaxError(t);
    }
    return s;
}

void Parser::parseKill(Statement& s) {
    s.kind = StatementKind::Kill;
    const Token& n = next();
    std::int64_t value = 0;
    if (n.kind != TokenKind::Integer ||
        std::from_chars(n.value.data(), n.value.data() + n.value.size(), value).ec != std::errc())
        syntaxError(n);
    s.number = value;
    s.numberToken = n;
}

void Parser::parseDbcc(Statement& s) {
    const Token& name = next();
    if (name.kind != TokenKind::Identifier)
        syntaxError(name);
    s.kind = name.isWord("inputbuffer") ? StatementKind::DbccInputBuffer : StatementKind::DbccOther;
    s.name = name.value;
    if (s.kind == StatementKind::DbccInputBuffer) {
        expectSymbol("(");
        auto readNumber = [&](std::int64_t& out) {
            const Token& n = next();
            if (n.kind != TokenKind::Integer ||
                std::from_chars(n.value.data(), n.value.data() + n.value.size(), out).ec !=
                    std::errc())
                syntaxError(n);
            return n;
        };
        s.numberToken = readNumber(s.number);
        if (acceptSymbol(",")) {
            std::int64_t request = 0;
            readNumber(request);
            s.requestId = request;
        }
        expectSymbol(")");
    } else if (acceptSymbol("(")) {
        int depth = 1;
        while (depth > 0) {
            const Token& t = next();
            if (t.kind == TokenKind::End)
                syntaxError(t);
            depth += t.isSymbol("(") ? 1 : t.isSymbol(")") ? -1 : 0;
        }
    }
    if (acceptWord("with")) {
        do {
            const Token& option = next();
            if (option.kind != TokenKind::Identifier)
                syntaxError(option);
            if (option.isWord("no_infomsgs"))
                s.noInfoMessages = true;
        } while (acceptSymbol(","));
    }
}

void Parser::parseSet(Statement& s) {
    s.kind = StatementKind::Set;
    if (acceptWord("transaction")) {
        expectWord("isolation");
        expectWord("level");
        s.setOptions.push_back("transaction isolation level");
        std::string level;
        while (peek().kind == TokenKind::Identifier && !atStatementEnd())
            level += (level.empty() ? "" : " ") + lower(next().value);
        if (level.empty())
            syntaxError(peek());
        s.setValue = level;
        return;
    }
    do {
        const Token& option = next();
        if (option.kind != TokenKind::Identifier)
            syntaxError(option);
        s.setOptions.push_back(lower(option.value));
    } while (acceptSymbol(","));
    std::string value;
    if (acceptSymbol("-"))
        value = "-";
    const Token& v = next();
    if (v.kind == TokenKind::End || v.isSymbol(";"))
        syntaxError(v);
    s.setValue = value + (v.kind == TokenKind::Identifier ? lower(v.value) : v.value);
}

std::unique_ptr<SelectStmt> Parser::parseSelect() {
    auto sel = std::make_unique<SelectStmt>();
    sel->token = peek();
    expectWord("select");
    if (acceptWord("distinct"))
        sel->distinct = true;
    else
        acceptWord("all");
    if (acceptWord("top")) {
        const bool paren = acceptSymbol("(");
        const Token& n = next();
        std::int64_t top = 0;
        if (n.kind != TokenKind::Integer ||
            std::from_chars(n.value.data(), n.value.data() + n.value.size(), top).ec != std::errc())
            syntaxError(n);
        sel->top = top;
        if (paren)
            expectSymbol(")");
    }
    do {
        sel->items.push_back(parseSelectItem());
    } while (acceptSymbol(","));
    if (acceptWord("from")) {
        sel->from = parseTableSource();
        for (;;) {
            Join join;
            if (acceptSymbol(",")) {
                join.type = JoinType::Cross;
            } else if (acceptWord("join")) {
                join.type = JoinType::Inner;
            } else if (acceptWord("inner")) {
                expectWord("join");
                join.type = JoinType::Inner;
            } else if (peek().isWord("left") || peek().isWord("right") || peek().isWord("full")) {
                const Token& side = next();
                join.type = side.isWord("left")    ? JoinType::Left
                            : side.isWord("right") ? JoinType::Right
                                                   : JoinType::Full;
                acceptWord("outer");
                expectWord("join");
            } else if (acceptWord("cross")) {
                if (acceptWord("apply"))
                    join.type = JoinType::CrossApply;
                else {
                    expectWord("join");
                    join.type = JoinType::Cross;
                }
            } else if (peek().isWord("outer") && peek(1).isWord("apply")) {
                next();
                next();
                join.type = JoinType::OuterApply;
            } else {
                break;
            }
            join.source = parseTableSource();
            if (join.type == JoinType::Inner || join.type == JoinType::Left ||
                join.type == JoinType::Right || join.type == JoinType::Full) {
                expectWord("on");
                join.on = parseCondition();
            }
            sel->joins.push_back(std::move(join));
        }
    }
    if (acceptWord("where"))
        sel->where = parseCondition();
    if (acceptWord("group")) {
        expectWord("by");
        do {
            sel->groupBy.push_back(parseExpr());
        } while (acceptSymbol(","));
    }
    if (acceptWord("having"))
        sel->having = parseCondition();
    if (acceptWord("order")) {
        expectWord("by");
        do {
            OrderItem item;
            item.expr = parseExpr();
            if (acceptWord("desc"))
                item.descending = true;
            else
                acceptWord("asc");
            sel->orderBy.push_back(std::move(item));
        } while (acceptSymbol(","));
    }
    return sel;
}

SelectItem Parser::parseSelectItem() {
    SelectItem item;
    item.token = peek();
    if (acceptSymbol("*")) {
        item.star = true;
        return item;
    }
    // X.* and sys.X.*: a multi-part name ending in '*'.
    {
        std::size_t k = 0;
        while ((peek(k).kind == TokenKind::Identifier ||
                peek(k).kind == TokenKind::QuotedIdentifier) &&
               peek(k + 1).isSymbol("."))
            k += 2;
        if (k > 0 && peek(k).isSymbol("*")) {
            for (std::size_t i = 0; i < k; i += 2) {
                item.starOwner.push_back(next().value);
                next(); // the dot
            }
            next(); // the star
            item.star = true;
            return item;
        }
    }
    // alias = expression
    const Token& first = peek();
    if (((first.kind == TokenKind::Identifier && !isReservedWord(first.value)) ||
         first.kind == TokenKind::QuotedIdentifier) &&
        peek(1).isSymbol("=")) {
        item.alias = next().value;
        next();
        item.expr = parseExpr();
        return item;
    }
    item.expr = parseExpr();
    item.alias = parseAlias(true);
    return item;
}

std::optional<std::string> Parser::parseAlias(bool allowString) {
    const bool as = acceptWord("as");
    const Token& t = peek();
    if ((t.kind == TokenKind::Identifier && !isReservedWord(t.value)) ||
        t.kind == TokenKind::QuotedIdentifier ||
        (allowString && (t.kind == TokenKind::String || t.kind == TokenKind::NString)))
        return next().value;
    if (as)
        syntaxError(t);
    return std::nullopt;
}

std::vector<std::string> Parser::parseMultipartName() {
    std::vector<std::string> parts;
    do {
        const Token& t = peek();
        if (!(t.kind == TokenKind::QuotedIdentifier ||
              (t.kind == TokenKind::Identifier && !isReservedWord(t.value))))
            syntaxError(t);
        parts.push_back(next().value);
    } while (acceptSymbol("."));
    return parts;
}

TableSource Parser::parseTableSource() {
    TableSource src;
    src.token = peek();
    src.name = parseMultipartName();
    if (acceptSymbol("(")) {
        src.isFunction = true;
        if (!peek().isSymbol(")")) {
            do {
                src.args.push_back(parseExpr());
            } while (acceptSymbol(","));
        }
        expectSymbol(")");
    }
    src.alias = parseAlias(false);
    return src;
}

ExprPtr Parser::parseCondition() {
    ExprPtr left = parseAnd();
    while (peek().isWord("or")) {
        auto e = makeExpr(ExprKind::Binary, next());
        e->op = "or";
        e->args.push_back(std::move(left));
        e->args.push_back(parseAnd());
        left = std::move(e);
    }
    return left;
}

ExprPtr Parser::parseAnd() {
    ExprPtr left = parseNot();
    while (peek().isWord("and")) {
        auto e = makeExpr(ExprKind::Binary, next());
        e->op = "and";
        e->args.push_back(std::move(left));
        e->args.push_back(parseNot());
        left = std::move(e);
    }
    return left;
}

ExprPtr Parser::parseNot() {
    if (peek().isWord("not")) {
        auto e = makeExpr(ExprKind::Unary, next());
        e->op = "not";
        e->args.push_back(parseNot());
        return e;
    }
    return parsePredicate();
}

ExprPtr Parser::parsePredicate() {
    const Token& start = peek();
    if (acceptWord("exists")) {
        auto e = makeExpr(ExprKind::Exists, start);
        expectSymbol("(");
        e->subquery = parseSelect();
        expectSymbol(")");
        return e;
    }
    if (start.isSymbol("(")) {
        // A parenthesised condition, unless it turns out to be an operand: "(a+b) > 3".
        const std::size_t save = pos_;
        try {
            next();
            ExprPtr inner = parseCondition();
            expectSymbol(")");
            const Token& after = peek();
            const bool operandFollows =
                isComparison(after) || after.isWord("in") || after.isWord("like") ||
                after.isWord("between") || after.isWord("is") ||
                (after.isWord("not") && !peek(1).isWord("exists")) ||
                (after.kind == TokenKind::Symbol && !after.isSymbol(")") && !after.isSymbol(";"));
            if (!operandFollows)
                return inner;
        } catch (const SqlError&) {
        }
        pos_ = save;
    }
    ExprPtr left = parseExpr();
    const Token& op = peek();
    if (isComparison(op)) {
        next();
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
        (peek(1).isWord("in") || peek(1).isWord("like") || peek(1).isWord("between"))) {
        next();
        negated = true;
    }
    const Token& kw = peek();
    if (acceptWord("in")) {
        expectSymbol("(");
        ExprPtr e;
        if (peek().isWord("select")) {
            e = makeExpr(ExprKind::InSelect, kw);
            e->subquery = parseSelect();
        } else {
            e = makeExpr(ExprKind::InList, kw);
            e->args.push_back(nullptr);
            do {
                e->args.push_back(parseExpr());
            } while (acceptSymbol(","));
        }
        expectSymbol(")");
        if (e->args.empty())
            e->args.push_back(nullptr);
        e->args[0] = std::move(left);
        e->negated = negated;
        return e;
    }
    if (acceptWord("like")) {
        auto e = makeExpr(ExprKind::Like, kw);
        e->args.push_back(std::move(left));
        e->args.push_back(parseExpr());
        e->negated = negated;
        return e;
    }
    if (acceptWord("between")) {
        auto e = makeExpr(ExprKind::Between, kw);
        e->args.push_back(std::move(left));
        e->args.push_back(parseExpr());
        expectWord("and");
        e->args.push_back(parseExpr());
        e->negated = negated;
        return e;
    }
    if (acceptWord("is")) {
        auto e = makeExpr(ExprKind::IsNull, kw);
        e->negated = acceptWord("not");
        expectWord("null");
        e->args.push_back(std::move(left));
        return e;
    }
    throw SqlError(4145, 15,
                   "An expression of non-boolean type specified in a context where a condition "
                   "is expected, near '" +
                       (peek().kind == TokenKind::End ? start.text : peek().text) + "'.",
                   peek().line);
}

ExprPtr Parser::parseExpr() {
    return parseAdditive();
}

ExprPtr Parser::parseAdditive() {
    ExprPtr left = parseMultiplicative();
    while (peek().isSymbol("+") || peek().isSymbol("-") || peek().isSymbol("&") ||
           peek().isSymbol("|") || peek().isSymbol("^")) {
        auto e = makeExpr(ExprKind::Binary, next());
        e->op = e->token.value;
        e->args.push_back(std::move(left));
        e->args.push_back(parseMultiplicative());
        left = std::move(e);
    }
    return left;
}

ExprPtr Parser::parseMultiplicative() {
    ExprPtr left = parseUnary();
    while (peek().isSymbol("*") || peek().isSymbol("/") || peek().isSymbol("%")) {
        auto e = makeExpr(ExprKind::Binary, next());
        e->op = e->token.value;
        e->args.push_back(std::move(left));
        e->args.push_back(parseUnary());
        left = std::move(e);
    }
    return left;
}

ExprPtr Parser::parseUnary() {
    if (peek().isSymbol("-") || peek().isSymbol("+") || peek().isSymbol("~")) {
        auto e = makeExpr(ExprKind::Unary, next());
        e->op = e->token.value;
        e->args.push_back(parseUnary());
        return e;
    }
    return parsePrimary();
}

ExprPtr Parser::parsePrimary() {
    const Token& t = peek();
    switch (t.kind) {
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::Binary:
        return makeExpr(ExprKind::Literal, next());
    case TokenKind::Variable:
    case TokenKind::SystemVariable:
        return makeExpr(ExprKind::Variable, next());
    case TokenKind::Symbol:
        if (acceptSymbol("(")) {
            if (peek().isWord("select")) {
                auto e = makeExpr(ExprKind::Subquery, t);
                e->subquery = parseSelect();
                expectSymbol(")");
                return e;
            }
            ExprPtr inner = parseExpr();
            expectSymbol(")");
            return inner;
        }
        syntaxError(t);
    case TokenKind::Identifier:
    case TokenKind::QuotedIdentifier:
        break;
    default:
        syntaxError(t);
    }
    if (t.kind == TokenKind::Identifier) {
        if (t.isWord("null"))
            return makeExpr(ExprKind::Literal, next());
        if (t.isWord("case"))
            return parseCase(next());
        if (t.isWord("current_timestamp")) {
            auto e = makeExpr(ExprKind::Function, next());
            e->name = "getdate";
            return e;
        }
        if (isReservedWord(t.value) && !(isFunctionKeyword(t.value) && peek(1).isSymbol("(")))
            syntaxError(t);
    }
    std::vector<std::string> parts;
    const Token& first = t;
    for (;;) {
        const Token& part = next();
        if (part.kind != TokenKind::Identifier && part.kind != TokenKind::QuotedIdentifier)
            syntaxError(part);
        parts.push_back(part.value);
        if (peek().isSymbol("(")) {
            std::string name;
            for (const auto& p : parts)
                name += (name.empty() ? "" : ".") + p;
            return parseFunction(first, name);
        }
        if (!acceptSymbol("."))
            break;
    }
    auto e = makeExpr(ExprKind::Column, first);
    e->parts = std::move(parts);
    return e;
}

ExprPtr Parser::parseFunction(const Token& nameToken, std::string name) {
    auto e = makeExpr(ExprKind::Function, nameToken);
    e->name = std::move(name);
    expectSymbol("(");
    if (acceptSymbol("*")) {
        e->star = true;
    } else if (!peek().isSymbol(")")) {
        do {
            e->args.push_back(parseExpr());
        } while (acceptSymbol(","));
    }
    expectSymbol(")");
    return e;
}

ExprPtr Parser::parseCase(const Token& start) {
    auto e = makeExpr(ExprKind::Case, start);
    const bool searched = peek().isWord("when");
    if (!searched)
        e->operand = parseExpr();
    while (acceptWord("when")) {
        WhenClause w;
        w.when = searched ? parseCondition() : parseExpr();
        expectWord("then");
        w.then = parseExpr();
        e->whens.push_back(std::move(w));
    }
    if (e->whens.empty())
        syntaxError(peek());
    if (acceptWord("else"))
        e->elseExpr = parseExpr();
    expectWord("end");
    return e;
}

} // namespace testserver
