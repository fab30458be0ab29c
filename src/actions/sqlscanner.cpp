#include "actions/sqlscanner.h"

namespace {

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(unsigned char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Bytes of multi-byte UTF-8 sequences count as letters: names may be Cyrillic.
bool isNameStart(unsigned char c) {
    return isLetter(c) || c == '_' || c == '#' || c >= 0x80;
}

bool isNameChar(unsigned char c) {
    return isNameStart(c) || isDigit(c) || c == '$' || c == '@';
}

class TScanner {
public:
    TScanner(const QByteArray& text, int state)
        : p(reinterpret_cast<const unsigned char*>(text.constData())), n(text.size()),
          state(state) {}

    TSqlScan run() {
        while (i < n) {
            if (state != kSqlNormal)
                continueOpen();
            else
                scanToken();
        }
        out.EndState = state;
        return out;
    }

private:
    unsigned char at(int k) const { return k < n ? p[k] : 0; }

    void add(int start, TSqlStyle style) {
        if (i <= start)
            return;
        if (!out.Runs.isEmpty()) {
            TSqlRun& last = out.Runs.last();
            if (last.Style == style && last.Start + last.Length == start) {
                last.Length += i - start;
                return;
            }
        }
        out.Runs.append({start, i - start, style});
    }

    // A quoted piece ends at its closing character; a doubled one stands for itself.
    void skipQuoted(unsigned char close) {
        while (i < n) {
            if (p[i] == close) {
                if (at(i + 1) == close) {
                    i += 2;
                    continue;
                }
                ++i;
                state = kSqlNormal;
                return;
            }
            ++i;
        }
    }

    void skipComment() {
        int depth = state - kSqlInComment + 1;
        while (i < n) {
            if (p[i] == '/' && at(i + 1) == '*') {
                ++depth;
                i += 2;
            } else if (p[i] == '*' && at(i + 1) == '/') {
                i += 2;
                if (--depth == 0) {
                    state = kSqlNormal;
                    return;
                }
            } else {
                ++i;
            }
        }
        state = kSqlInComment + depth - 1;
    }

    void continueOpen() {
        const int start = i;
        switch (state) {
        case kSqlInString:
            skipQuoted('\'');
            add(start, ssString);
            break;
        case kSqlInQuotedName:
            skipQuoted('"');
            add(start, ssDefault);
            break;
        case kSqlInBracketName:
            skipQuoted(']');
            add(start, ssDefault);
            break;
        default:
            skipComment();
            add(start, ssComment);
            break;
        }
    }

    void scanNumber() {
        if (p[i] == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
            i += 2;
            while (i < n && isHexDigit(p[i]))
                ++i;
            return;
        }
        while (i < n && isDigit(p[i]))
            ++i;
        if (at(i) == '.') {
            ++i;
            while (i < n && isDigit(p[i]))
                ++i;
        }
        const int sign = at(i + 1) == '+' || at(i + 1) == '-' ? 1 : 0;
        if ((at(i) == 'e' || at(i) == 'E') && isDigit(at(i + 1 + sign))) {
            i += 1 + sign;
            while (i < n && isDigit(p[i]))
                ++i;
        }
    }

    void scanWord(int start) {
        while (i < n && isNameChar(p[i]))
            ++i;
        const QByteArray word(reinterpret_cast<const char*>(p + start), i - start);
        // A name after "sys." or "INFORMATION_SCHEMA." is one of the system views.
        add(start, systemQualified ? ssTable : SqlWordStyle(word));
        systemQualified = false;
        if (at(i) == '.') {
            const QByteArray lower = word.toLower();
            systemQualified = lower == "sys" || lower == "information_schema";
        }
    }

    void scanToken() {
        const int start = i;
        const unsigned char c = p[i];
        const bool qualifierDot = c == '.' && systemQualified;
        if (c == '-' && at(i + 1) == '-') {
            while (i < n && p[i] != '\r' && p[i] != '\n')
                ++i;
            add(start, ssComment);
        } else if (c == '/' && at(i + 1) == '*') {
            i += 2;
            state = kSqlInComment;
            skipComment();
            add(start, ssComment);
        } else if (c == '\'' || ((c == 'N' || c == 'n') && at(i + 1) == '\'')) {
            i += c == '\'' ? 1 : 2;
            state = kSqlInString;
            skipQuoted('\'');
            add(start, ssString);
        } else if (c == '"' || c == '[') {
            ++i;
            state = c == '"' ? kSqlInQuotedName : kSqlInBracketName;
            skipQuoted(c == '"' ? '"' : ']');
            add(start, ssDefault);
        } else if (c == '@') {
            while (i < n && p[i] == '@')
                ++i;
            while (i < n && isNameChar(p[i]))
                ++i;
            add(start, ssVariable);
        } else if (isDigit(c) || (c == '.' && isDigit(at(i + 1)))) {
            scanNumber();
            add(start, ssNumber);
        } else if (isNameStart(c)) {
            scanWord(start);
            return;
        } else {
            ++i;
            add(start, ssDefault);
        }
        systemQualified = qualifierDot;
    }

    const unsigned char* p;
    int n;
    int i = 0;
    int state;
    bool systemQualified = false;
    TSqlScan out;
};

} // namespace

TSqlScan ScanSql(const QByteArray& AText, int AState) {
    return TScanner(AText, AState).run();
}
