#include "tokenizer.h"

#include "catalog.h"
#include "sql_error.h"

#include <cctype>

namespace testserver {

bool Token::isWord(std::string_view word) const {
    return kind == TokenKind::Identifier && equalsNoCase(value, word);
}

bool Token::isSymbol(std::string_view symbol) const {
    return kind == TokenKind::Symbol && value == symbol;
}

namespace {

bool isIdentStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}

bool isIdentPart(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80;
}

class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        for (;;) {
            skipBlanksAndComments();
            Token t;
            t.begin = pos_;
            t.begin16 = pos16_;
            t.line = line_;
            if (pos_ >= s_.size()) {
                t.end = pos_;
                t.end16 = pos16_;
                tokens.push_back(std::move(t));
                return tokens;
            }
            scanToken(t);
            t.end = pos_;
            t.end16 = pos16_;
            t.text = std::string(s_.substr(t.begin, t.end - t.begin));
            tokens.push_back(std::move(t));
        }
    }

private:
    unsigned char peek(std::size_t ahead = 0) const {
        return pos_ + ahead < s_.size() ? static_cast<unsigned char>(s_[pos_ + ahead]) : 0;
    }

    // Advances one byte, counting UTF-16 units at the lead byte of each character.
    void advance() {
        const auto c = static_cast<unsigned char>(s_[pos_]);
        if ((c & 0xC0) != 0x80)
            pos16_ += (c >= 0xF0) ? 2 : 1;
        if (c == '\n')
            ++line_;
        ++pos_;
    }

    void skipBlanksAndComments() {
        for (;;) {
            while (pos_ < s_.size() && std::isspace(peek()))
                advance();
            if (peek() == '-' && peek(1) == '-') {
                while (pos_ < s_.size() && peek() != '\n')
                    advance();
            } else if (peek() == '/' && peek(1) == '*') {
                skipBlockComment();
            } else {
                return;
            }
        }
    }

    void skipBlockComment() {
        const int startLine = line_;
        int depth = 0; // T-SQL block comments nest
        do {
            if (pos_ >= s_.size())
                throw SqlError(113, 15, "Missing end comment mark '*/'.", startLine);
            if (peek() == '/' && peek(1) == '*') {
                ++depth;
                advance();
                advance();
            } else if (peek() == '*' && peek(1) == '/') {
                --depth;
                advance();
                advance();
            } else {
                advance();
            }
        } while (depth > 0);
    }

    void scanQuoted(Token& t, char close) {
        const int startLine = line_;
        advance();
        std::string value;
        for (;;) {
            if (pos_ >= s_.size()) {
                if (close == '\'')
                    throw SqlError(105, 15,
                                   "Unclosed quotation mark after the character string '" + value +
                                       "'.",
                                   startLine);
                throw SqlError(
                    105, 15, "Unclosed quotation mark before the character string '" + value + "'.",
                    startLine);
            }
            const char c = static_cast<char>(peek());
            if (c == close) {
                advance();
                if (static_cast<char>(peek()) == close && pos_ < s_.size()) {
                    value += close;
                    advance();
                    continue;
                }
                break;
            }
            value += c;
            advance();
        }
        t.value = std::move(value);
    }

    void scanNumber(Token& t) {
        t.kind = TokenKind::Integer;
        while (std::isdigit(peek()))
            advance();
        if (peek() == '.') {
            t.kind = TokenKind::Decimal;
            advance();
            while (std::isdigit(peek()))
                advance();
        }
        if ((peek() == 'e' || peek() == 'E') &&
            (std::isdigit(peek(1)) ||
             ((peek(1) == '+' || peek(1) == '-') && std::isdigit(peek(2))))) {
            t.kind = TokenKind::Float;
            advance();
            if (peek() == '+' || peek() == '-')
                advance();
            while (std::isdigit(peek()))
                advance();
        }
        t.value = std::string(s_.substr(t.begin, pos_ - t.begin));
    }

    void scanWord(Token& t) {
        while (pos_ < s_.size() && isIdentPart(peek()))
            advance();
        t.kind = TokenKind::Identifier;
        t.value = std::string(s_.substr(t.begin, pos_ - t.begin));
    }

    void scanToken(Token& t) {
        const unsigned char c = peek();
        if ((c == 'N' || c == 'n') && peek(1) == '\'') {
            advance();
            scanQuoted(t, '\'');
            t.kind = TokenKind::NString;
        } else if (c == '\'') {
            scanQuoted(t, '\'');
            t.kind = TokenKind::String;
        } else if (c == '[') {
            scanQuoted(t, ']');
            t.kind = TokenKind::QuotedIdentifier;
        } else if (c == '"') {
            scanQuoted(t, '"');
            t.kind = TokenKind::QuotedIdentifier;
        } else if (c == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
            advance();
            advance();
            while (std::isxdigit(peek()))
                advance();
            t.kind = TokenKind::Binary;
            t.value = std::string(s_.substr(t.begin + 2, pos_ - t.begin - 2));
        } else if (std::isdigit(c) || (c == '.' && std::isdigit(peek(1)))) {
            scanNumber(t);
        } else if (c == '@') {
            advance();
            t.kind = TokenKind::Variable;
            if (peek() == '@') {
                advance();
                t.kind = TokenKind::SystemVariable;
            }
            while (pos_ < s_.size() && isIdentPart(peek()))
                advance();
            t.value = std::string(s_.substr(t.begin, pos_ - t.begin));
        } else if (isIdentStart(c)) {
            scanWord(t);
        } else {
            scanSymbol(t);
        }
    }

    void scanSymbol(Token& t) {
        static constexpr std::string_view kTwo[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
        t.kind = TokenKind::Symbol;
        for (auto two : kTwo)
            if (peek() == static_cast<unsigned char>(two[0]) &&
                peek(1) == static_cast<unsigned char>(two[1])) {
                advance();
                advance();
                t.value = std::string(two);
                return;
            }
        const std::size_t start = pos_;
        advance();
        while (pos_ < s_.size() && (peek() & 0xC0) == 0x80)
            advance();
        t.value = std::string(s_.substr(start, pos_ - start));
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::size_t pos16_ = 0;
    int line_ = 1;
};

} // namespace

std::vector<Token> tokenize(std::string_view batch) {
    return Scanner(batch).run();
}

} // namespace testserver
