#include "parser.h"

#include "catalog.h"
#include "sql_error.h"

#include <cctype>
#include <charconv>

namespace testserver {

namespace {

bool isStatementStart(const Token& t) {
    for (auto w : {"select",   "kill",   "dbcc",    "set",     "use",     "print", "insert",
                   "update",   "delete", "declare", "exec",    "execute", "begin", "commit",
                   "rollback", "if",     "while",   "waitfor", "create",  "alter", "drop"})
        if (t.isWord(w))
            return true;
    return false;
}

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

Parser::Parser(const std::vector<Token>& tokens)
    : c_(tokens), exprs_(c_, [this] { return parseSelect(); }) {}

bool Parser::atStatementEnd() const {
    return c_.peek().kind == TokenKind::End || c_.peek().isSymbol(";") ||
           isStatementStart(c_.peek());
}

std::vector<Statement> Parser::parseBatch() {
    std::vector<Statement> statements;
    for (;;) {
        while (c_.acceptSymbol(";")) {
        }
        if (c_.peek().kind == TokenKind::End) {
            if (!statements.empty())
                statements.back().isLast = true;
            return statements;
        }
        const std::size_t first = c_.position();
        Statement s = parseStatement();
        s.first = c_.at(first);
        s.begin16 = c_.at(first).begin16;
        s.end16 = c_.at(c_.position() > first ? c_.position() - 1 : first).end16;
        if (!atStatementEnd())
            c_.syntaxError(c_.peek());
        statements.push_back(std::move(s));
    }
}

Statement Parser::parseStatement() {
    Statement s;
    const Token& t = c_.peek();
    if (t.isWord("select")) {
        s.kind = StatementKind::Select;
        s.select = parseSelect();
    } else if (c_.acceptWord("kill")) {
        parseKill(s);
    } else if (c_.acceptWord("dbcc")) {
        parseDbcc(s);
    } else if (c_.acceptWord("set")) {
        parseSet(s);
    } else if (c_.acceptWord("use")) {
        s.kind = StatementKind::Use;
        const Token& name = c_.next();
        if (name.kind != TokenKind::Identifier && name.kind != TokenKind::QuotedIdentifier)
            c_.syntaxError(name);
        s.name = name.value;
    } else if (c_.acceptWord("print")) {
        s.kind = StatementKind::Print;
        s.expr = exprs_.parseExpr();
    } else {
        c_.syntaxError(t);
    }
    return s;
}

void Parser::parseKill(Statement& s) {
    s.kind = StatementKind::Kill;
    const Token& n = c_.next();
    std::int64_t value = 0;
    if (n.kind != TokenKind::Integer ||
        std::from_chars(n.value.data(), n.value.data() + n.value.size(), value).ec != std::errc())
        c_.syntaxError(n);
    s.number = value;
    s.numberToken = n;
}

void Parser::parseDbcc(Statement& s) {
    const Token& name = c_.next();
    if (name.kind != TokenKind::Identifier)
        c_.syntaxError(name);
    s.kind = name.isWord("inputbuffer") ? StatementKind::DbccInputBuffer : StatementKind::DbccOther;
    s.name = name.value;
    if (s.kind == StatementKind::DbccInputBuffer) {
        c_.expectSymbol("(");
        auto readNumber = [&](std::int64_t& out) {
            const Token& n = c_.next();
            if (n.kind != TokenKind::Integer ||
                std::from_chars(n.value.data(), n.value.data() + n.value.size(), out).ec !=
                    std::errc())
                c_.syntaxError(n);
            return n;
        };
        s.numberToken = readNumber(s.number);
        if (c_.acceptSymbol(",")) {
            std::int64_t request = 0;
            readNumber(request);
            s.requestId = request;
        }
        c_.expectSymbol(")");
    } else if (c_.acceptSymbol("(")) {
        int depth = 1;
        while (depth > 0) {
            const Token& t = c_.next();
            if (t.kind == TokenKind::End)
                c_.syntaxError(t);
            depth += t.isSymbol("(") ? 1 : t.isSymbol(")") ? -1 : 0;
        }
    }
    if (c_.acceptWord("with")) {
        do {
            const Token& option = c_.next();
            if (option.kind != TokenKind::Identifier)
                c_.syntaxError(option);
            if (option.isWord("no_infomsgs"))
                s.noInfoMessages = true;
        } while (c_.acceptSymbol(","));
    }
}

void Parser::parseSet(Statement& s) {
    s.kind = StatementKind::Set;
    if (c_.acceptWord("transaction")) {
        c_.expectWord("isolation");
        c_.expectWord("level");
        s.setOptions.push_back("transaction isolation level");
        std::string level;
        // Appended piece by piece: GCC 12 misreads "literal" + string as an overlapping
        // copy (-Wrestrict) in release builds.
        while (c_.peek().kind == TokenKind::Identifier && !atStatementEnd()) {
            if (!level.empty())
                level += ' ';
            level += lower(c_.next().value);
        }
        if (level.empty())
            c_.syntaxError(c_.peek());
        s.setValue = level;
        return;
    }
    do {
        const Token& option = c_.next();
        if (option.kind != TokenKind::Identifier)
            c_.syntaxError(option);
        s.setOptions.push_back(lower(option.value));
    } while (c_.acceptSymbol(","));
    const bool negative = c_.acceptSymbol("-");
    const Token& v = c_.next();
    if (v.kind == TokenKind::End || v.isSymbol(";"))
        c_.syntaxError(v);
    s.setValue = v.kind == TokenKind::Identifier ? lower(v.value) : v.value;
    if (negative)
        s.setValue.insert(s.setValue.begin(), '-');
}

std::unique_ptr<SelectStmt> Parser::parseSelect() {
    auto sel = std::make_unique<SelectStmt>();
    sel->token = c_.peek();
    c_.expectWord("select");
    if (c_.acceptWord("distinct"))
        sel->distinct = true;
    else
        c_.acceptWord("all");
    if (c_.acceptWord("top")) {
        const bool paren = c_.acceptSymbol("(");
        const Token& n = c_.next();
        std::int64_t top = 0;
        if (n.kind != TokenKind::Integer ||
            std::from_chars(n.value.data(), n.value.data() + n.value.size(), top).ec != std::errc())
            c_.syntaxError(n);
        sel->top = top;
        if (paren)
            c_.expectSymbol(")");
    }
    do {
        sel->items.push_back(parseSelectItem());
    } while (c_.acceptSymbol(","));
    if (c_.acceptWord("from")) {
        sel->from = parseTableSource();
        for (;;) {
            Join join;
            if (c_.acceptSymbol(",")) {
                join.type = JoinType::Cross;
            } else if (c_.acceptWord("join")) {
                join.type = JoinType::Inner;
            } else if (c_.acceptWord("inner")) {
                c_.expectWord("join");
                join.type = JoinType::Inner;
            } else if (c_.peek().isWord("left") || c_.peek().isWord("right") ||
                       c_.peek().isWord("full")) {
                const Token& side = c_.next();
                join.type = side.isWord("left")    ? JoinType::Left
                            : side.isWord("right") ? JoinType::Right
                                                   : JoinType::Full;
                c_.acceptWord("outer");
                c_.expectWord("join");
            } else if (c_.acceptWord("cross")) {
                if (c_.acceptWord("apply"))
                    join.type = JoinType::CrossApply;
                else {
                    c_.expectWord("join");
                    join.type = JoinType::Cross;
                }
            } else if (c_.peek().isWord("outer") && c_.peek(1).isWord("apply")) {
                c_.next();
                c_.next();
                join.type = JoinType::OuterApply;
            } else {
                break;
            }
            join.source = parseTableSource();
            if (join.type == JoinType::Inner || join.type == JoinType::Left ||
                join.type == JoinType::Right || join.type == JoinType::Full) {
                c_.expectWord("on");
                join.on = exprs_.parseCondition();
            }
            sel->joins.push_back(std::move(join));
        }
    }
    if (c_.acceptWord("where"))
        sel->where = exprs_.parseCondition();
    if (c_.acceptWord("group")) {
        c_.expectWord("by");
        do {
            sel->groupBy.push_back(exprs_.parseExpr());
        } while (c_.acceptSymbol(","));
    }
    if (c_.acceptWord("having"))
        sel->having = exprs_.parseCondition();
    if (c_.acceptWord("order")) {
        c_.expectWord("by");
        do {
            OrderItem item;
            item.expr = exprs_.parseExpr();
            if (c_.acceptWord("desc"))
                item.descending = true;
            else
                c_.acceptWord("asc");
            sel->orderBy.push_back(std::move(item));
        } while (c_.acceptSymbol(","));
    }
    return sel;
}

SelectItem Parser::parseSelectItem() {
    SelectItem item;
    item.token = c_.peek();
    if (c_.acceptSymbol("*")) {
        item.star = true;
        return item;
    }
    // X.* and sys.X.*: a multi-part name ending in '*'.
    {
        std::size_t k = 0;
        while ((c_.peek(k).kind == TokenKind::Identifier ||
                c_.peek(k).kind == TokenKind::QuotedIdentifier) &&
               c_.peek(k + 1).isSymbol("."))
            k += 2;
        if (k > 0 && c_.peek(k).isSymbol("*")) {
            for (std::size_t i = 0; i < k; i += 2) {
                item.starOwner.push_back(c_.next().value);
                c_.next(); // the dot
            }
            c_.next(); // the star
            item.star = true;
            return item;
        }
    }
    // alias = expression
    const Token& first = c_.peek();
    if (((first.kind == TokenKind::Identifier && !isReservedWord(first.value)) ||
         first.kind == TokenKind::QuotedIdentifier) &&
        c_.peek(1).isSymbol("=")) {
        item.alias = c_.next().value;
        c_.next();
        item.expr = exprs_.parseExpr();
        return item;
    }
    item.expr = exprs_.parseExpr();
    item.alias = parseAlias(true);
    return item;
}

std::optional<std::string> Parser::parseAlias(bool allowString) {
    const bool as = c_.acceptWord("as");
    const Token& t = c_.peek();
    if ((t.kind == TokenKind::Identifier && !isReservedWord(t.value)) ||
        t.kind == TokenKind::QuotedIdentifier ||
        (allowString && (t.kind == TokenKind::String || t.kind == TokenKind::NString)))
        return c_.next().value;
    if (as)
        c_.syntaxError(t);
    return std::nullopt;
}

std::vector<std::string> Parser::parseMultipartName() {
    std::vector<std::string> parts;
    do {
        const Token& t = c_.peek();
        if (!(t.kind == TokenKind::QuotedIdentifier ||
              (t.kind == TokenKind::Identifier && !isReservedWord(t.value))))
            c_.syntaxError(t);
        parts.push_back(c_.next().value);
    } while (c_.acceptSymbol("."));
    return parts;
}

TableSource Parser::parseTableSource() {
    TableSource src;
    src.token = c_.peek();
    src.name = parseMultipartName();
    if (c_.acceptSymbol("(")) {
        src.isFunction = true;
        if (!c_.peek().isSymbol(")")) {
            do {
                src.args.push_back(exprs_.parseExpr());
            } while (c_.acceptSymbol(","));
        }
        c_.expectSymbol(")");
    }
    src.alias = parseAlias(false);
    return src;
}

} // namespace testserver
