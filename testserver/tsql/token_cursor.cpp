#include "token_cursor.h"

#include "catalog.h"
#include "sql_error.h"

#include <algorithm>
#include <cctype>
#include <iterator>

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

TokenCursor::TokenCursor(const std::vector<Token>& tokens) : tokens_(tokens) {}

const Token& TokenCursor::peek(std::size_t ahead) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
}

const Token& TokenCursor::next() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size())
        ++pos_;
    return t;
}

bool TokenCursor::acceptWord(std::string_view word) {
    if (!peek().isWord(word))
        return false;
    next();
    return true;
}

bool TokenCursor::acceptSymbol(std::string_view symbol) {
    if (!peek().isSymbol(symbol))
        return false;
    next();
    return true;
}

void TokenCursor::expectWord(std::string_view word) {
    if (!acceptWord(word))
        syntaxError(peek());
}

void TokenCursor::expectSymbol(std::string_view symbol) {
    if (!acceptSymbol(symbol))
        syntaxError(peek());
}

void TokenCursor::syntaxError(const Token& token) const {
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

} // namespace testserver
