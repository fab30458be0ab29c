#include "utf.h"

#include <array>

namespace testserver::utf {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i` and advances it; malformed input yields U+FFFD.
char32_t decode(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80)
        return b0;
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size())
            return kReplacement;
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return kReplacement;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    static constexpr std::array<char32_t, 4> kMin = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    return cp;
}

void encodeUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <typename Sink> void forEachUnit(std::string_view utf8, Sink sink) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = decode(utf8, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            sink(static_cast<char16_t>(0xD800 + (v >> 10)));
            sink(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            sink(static_cast<char16_t>(cp));
        }
    }
}

} // namespace

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    forEachUnit(utf8, [&](char16_t u) { out += u; });
    return out;
}

std::string fromUtf16(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        encodeUtf8(out, cp);
    }
    return out;
}

std::string fromUtf16le(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return fromUtf16(units);
}

void appendUtf16le(std::string& out, std::string_view utf8) {
    forEachUnit(utf8, [&](char16_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    });
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < utf8.size())
        n += decode(utf8, i) >= 0x10000 ? 2 : 1;
    return n;
}

std::string truncateUtf16(std::string_view utf8, std::size_t units) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t next = i;
        const std::size_t w = decode(utf8, next) >= 0x10000 ? 2 : 1;
        if (n + w > units)
            break;
        n += w;
        i = next;
    }
    return std::string(utf8.substr(0, i));
}

std::string toCp1252(std::string_view utf8) {
    // The 0x80-0x9F block of code page 1252; the rest of 0xA0-0xFF is Latin-1.
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = decode(utf8, i);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char c = '?';
        for (std::size_t k = 0; k < kHigh.size(); ++k)
            if (kHigh[k] != 0 && kHigh[k] == cp)
                c = static_cast<char>(0x80 + k);
        out += c;
    }
    return out;
}

std::string throughCp1252(std::string_view utf8) {
    const std::string narrow = toCp1252(utf8);
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    for (const char c : narrow) {
        const std::size_t at = i;
        decode(utf8, i);
        if (c == '?' && utf8[at] != '?')
            out += '?';
        else
            out.append(utf8.substr(at, i - at));
    }
    return out;
}

} // namespace testserver::utf
