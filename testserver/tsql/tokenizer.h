#pragma once
// Splits a T-SQL batch into tokens, dropping blanks and comments, and records where each
// token sits both in the UTF-8 text and in UTF-16 code units (the unit of SQL Server's
// statement offsets).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace testserver {

enum class TokenKind {
    Identifier,       // plain; keywords are identifiers too
    QuotedIdentifier, // [x] or "x"
    Integer,
    Decimal, // 1.5
    Float,   // 1e5
    String,  // 'x'
    NString, // N'x'
    Binary,  // 0x0A
    Variable,
    SystemVariable, // @@spid
    Symbol,
    End
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;               // as written
    std::string value;              // identifier name, unescaped string, hex digits, or the symbol
    std::size_t begin = 0, end = 0; // bytes in the batch
    std::size_t begin16 = 0, end16 = 0; // UTF-16 code units in the batch
    int line = 1;

    bool isWord(std::string_view word) const; // a plain identifier equal to it, any case
    bool isSymbol(std::string_view symbol) const;
};

// Throws SqlError for an unclosed string, quoted name or comment.
std::vector<Token> tokenize(std::string_view batch);

} // namespace testserver
