#pragma once
// A read position in a batch's tokens with the checks a recursive-descent parser needs,
// and SQL Server's syntax errors for the token where parsing stops.

#include "tokenizer.h"

#include <string_view>
#include <vector>

namespace testserver {

class TokenCursor {
public:
    explicit TokenCursor(const std::vector<Token>& tokens); // ends with an End token

    const Token& peek(std::size_t ahead = 0) const;
    const Token& next(); // stays on the End token
    bool acceptWord(std::string_view word);
    bool acceptSymbol(std::string_view symbol);
    void expectWord(std::string_view word);
    void expectSymbol(std::string_view symbol);
    // Throws SqlError 156 (a reserved keyword) or 102 naming the token; at the end of the
    // batch, the last token read.
    [[noreturn]] void syntaxError(const Token& token) const;
    std::size_t position() const { return pos_; }
    void rewind(std::size_t position) { pos_ = position; }
    const Token& at(std::size_t position) const { return tokens_[position]; }

private:
    const std::vector<Token>& tokens_;
    std::size_t pos_ = 0;
};

// True for T-SQL reserved keywords (they cannot be aliases and give error 156).
bool isReservedWord(std::string_view word);

} // namespace testserver
