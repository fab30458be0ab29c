#include "type_rules.h"

#include "sql_error.h"
#include "utf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace testserver::types {

int precedence(SqlType type) {
    switch (type) {
    case SqlType::Binary:
        return 0;
    case SqlType::VarBinary:
        return 1;
    case SqlType::VarChar:
        return 2;
    case SqlType::NVarChar:
        return 3;
    case SqlType::UniqueIdentifier:
        return 4;
    case SqlType::Bit:
        return 5;
    case SqlType::TinyInt:
        return 6;
    case SqlType::SmallInt:
        return 7;
    case SqlType::Int:
        return 8;
    case SqlType::BigInt:
        return 9;
    case SqlType::Real:
        return 10;
    case SqlType::Float:
        return 11;
    case SqlType::DateTime:
        return 12;
    case SqlType::Xml:
        return 13;
    }
    return 0;
}

SqlType higher(SqlType a, SqlType b) {
    return precedence(a) >= precedence(b) ? a : b;
}

bool isString(SqlType type) {
    return type == SqlType::NVarChar || type == SqlType::VarChar;
}

bool isBinary(SqlType type) {
    return type == SqlType::VarBinary || type == SqlType::Binary;
}

bool isInteger(SqlType type) {
    return type == SqlType::Bit || type == SqlType::TinyInt || type == SqlType::SmallInt ||
           type == SqlType::Int || type == SqlType::BigInt;
}

bool isNumeric(SqlType type) {
    return isInteger(type) || type == SqlType::Real || type == SqlType::Float;
}

int maxLength(SqlType type) {
    return type == SqlType::NVarChar ? 4000 : 8000;
}

const char* name(SqlType type) {
    switch (type) {
    case SqlType::Bit:
        return "bit";
    case SqlType::TinyInt:
        return "tinyint";
    case SqlType::SmallInt:
        return "smallint";
    case SqlType::Int:
        return "int";
    case SqlType::BigInt:
        return "bigint";
    case SqlType::Real:
        return "real";
    case SqlType::Float:
        return "float";
    case SqlType::DateTime:
        return "datetime";
    case SqlType::NVarChar:
        return "nvarchar";
    case SqlType::VarChar:
        return "varchar";
    case SqlType::VarBinary:
        return "varbinary";
    case SqlType::Binary:
        return "binary";
    case SqlType::UniqueIdentifier:
        return "uniqueidentifier";
    case SqlType::Xml:
        return "xml";
    }
    return "";
}

std::int64_t daysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil, shifted so that 1900-01-01 is day 0.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * static_cast<unsigned>(month + (month > 2 ? -3 : 9)) + 2) / 5 +
                         static_cast<unsigned>(day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t unixDays = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    return unixDays + 25567; // 1900-01-01 is 25567 days before 1970-01-01
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    const std::int64_t z = days - 25567 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

namespace {

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size())
        return false;
    out = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

std::optional<double> parseDateTime(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    int y = 0, mo = 0, d = 0;
    std::size_t pos = 0;
    if (digits(text, 0, 4, y) && text.size() >= 10 && text[4] == '-' && text[7] == '-' &&
        digits(text, 5, 2, mo) && digits(text, 8, 2, d)) {
        pos = 10;
    } else if (digits(text, 0, 4, y) && digits(text, 4, 2, mo) && digits(text, 6, 2, d)) {
        pos = 8;
    } else {
        return std::nullopt;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || y < 1753)
        return std::nullopt;
    int h = 0, mi = 0, s = 0, ms = 0;
    if (pos < text.size()) {
        if (text[pos] != ' ' && text[pos] != 'T')
            return std::nullopt;
        ++pos;
        if (!digits(text, pos, 2, h) || pos + 2 >= text.size() || text[pos + 2] != ':' ||
            !digits(text, pos + 3, 2, mi))
            return std::nullopt;
        pos += 5;
        if (pos < text.size()) {
            if (text[pos] != ':' || !digits(text, pos + 1, 2, s))
                return std::nullopt;
            pos += 3;
            if (pos < text.size()) {
                if (text[pos] != '.')
                    return std::nullopt;
                ++pos;
                int scale = 100;
                for (; pos < text.size(); ++pos) {
                    if (text[pos] < '0' || text[pos] > '9')
                        return std::nullopt;
                    ms += (text[pos] - '0') * scale;
                    scale /= 10;
                }
            }
        }
        if (h > 23 || mi > 59 || s > 59)
            return std::nullopt;
    }
    int cy = 0, cm = 0, cd = 0;
    const std::int64_t days = daysFromCivil(y, mo, d);
    civilFromDays(days, cy, cm, cd);
    if (cd != d)
        return std::nullopt; // 2023-02-30
    return static_cast<double>(days) + (h * 3600.0 + mi * 60.0 + s + ms / 1000.0) / 86400.0;
}

std::string formatDateTime(double days) {
    std::int64_t whole = static_cast<std::int64_t>(std::floor(days));
    std::int64_t ticks = std::llround((days - static_cast<double>(whole)) * 86400.0 * 300.0);
    if (ticks >= 86400LL * 300) {
        ++whole;
        ticks = 0;
    }
    int y = 0, mo = 0, d = 0;
    civilFromDays(whole, y, mo, d);
    const std::int64_t ms = (ticks * 10 + 1) / 3;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d,
                  static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                  static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return buf;
}

namespace {

[[noreturn]] void overflow(SqlType type) {
    throw SqlError(8115, 16,
                   std::string("Arithmetic overflow error converting expression to data type ") +
                       name(type) + ".",
                   1, SqlError::Scope::Statement);
}

Value integerValue(std::int64_t v, SqlType type) {
    std::int64_t lo = std::numeric_limits<std::int64_t>::min();
    std::int64_t hi = std::numeric_limits<std::int64_t>::max();
    switch (type) {
    case SqlType::Bit:
        return std::int64_t{v != 0};
    case SqlType::TinyInt:
        lo = 0;
        hi = 255;
        break;
    case SqlType::SmallInt:
        lo = -32768;
        hi = 32767;
        break;
    case SqlType::Int:
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
        break;
    default:
        break;
    }
    if (v < lo || v > hi)
        overflow(type);
    return v;
}

std::string numberText(const Value& raw) {
    if (const auto* i = std::get_if<std::int64_t>(&raw))
        return std::to_string(*i);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", std::get<double>(raw));
    return buf;
}

} // namespace

Value fromSqlite(const Value& raw, const Column& column) {
    if (std::holds_alternative<std::monostate>(raw))
        return raw;
    const SqlType type = column.type;
    if (isInteger(type)) {
        if (const auto* i = std::get_if<std::int64_t>(&raw))
            return integerValue(*i, type);
        if (const auto* d = std::get_if<double>(&raw)) {
            if (!(std::fabs(*d) < 9.2e18))
                overflow(type);
            return integerValue(static_cast<std::int64_t>(*d), type);
        }
        if (const auto* s = std::get_if<std::string>(&raw)) {
            try {
                return integerValue(std::stoll(*s), type);
            } catch (const std::logic_error&) {
                throw SqlError(245, 16,
                               "Conversion failed when converting the nvarchar value '" + *s +
                                   "' to data type " + name(type) + ".",
                               1, SqlError::Scope::Statement);
            }
        }
        return std::int64_t{0};
    }
    if (type == SqlType::Float || type == SqlType::Real || type == SqlType::DateTime) {
        if (const auto* i = std::get_if<std::int64_t>(&raw))
            return static_cast<double>(*i);
        if (const auto* d = std::get_if<double>(&raw))
            return type == SqlType::Real ? static_cast<double>(static_cast<float>(*d)) : *d;
        if (const auto* s = std::get_if<std::string>(&raw)) {
            if (type == SqlType::DateTime) {
                if (auto days = parseDateTime(*s))
                    return *days;
                throw SqlError(241, 16,
                               "Conversion failed when converting date and/or time from "
                               "character string.",
                               1, SqlError::Scope::Statement);
            }
            return std::strtod(s->c_str(), nullptr);
        }
        return 0.0;
    }
    if (type == SqlType::Xml) {
        // The xml type keeps at most 128 levels of elements; a deeper document (a plan
        // of deeply nested operators) fails as it is turned into one.
        const auto* s = std::get_if<std::string>(&raw);
        const std::string text = s ? *s : std::string();
        if (xmlDepth(text) >= kMaxXmlDepth)
            throw SqlError(6335, 16,
                           "XML datatype instance has too many levels of nested nodes. Maximum "
                           "allowed depth is 128 levels.",
                           1, SqlError::Scope::Statement);
        return text;
    }
    if (isString(type) || type == SqlType::UniqueIdentifier) {
        std::string text;
        if (const auto* s = std::get_if<std::string>(&raw))
            text = *s;
        else if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&raw))
            text.assign(b->begin(), b->end());
        else
            text = numberText(raw);
        if (column.length > 0 && isString(type))
            text = utf::truncateUtf16(text, static_cast<std::size_t>(column.length));
        return text;
    }
    // Binary types: text converts to its UTF-16LE bytes, as an nvarchar value would.
    std::vector<std::uint8_t> bytes;
    if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&raw)) {
        bytes = *b;
    } else if (const auto* s = std::get_if<std::string>(&raw)) {
        std::string le;
        utf::appendUtf16le(le, *s);
        bytes.assign(le.begin(), le.end());
    } else if (const auto* i = std::get_if<std::int64_t>(&raw)) {
        for (int k = 3; k >= 0; --k)
            bytes.push_back(static_cast<std::uint8_t>(*i >> (8 * k)));
    }
    if (column.length > 0 && bytes.size() > static_cast<std::size_t>(column.length))
        bytes.resize(static_cast<std::size_t>(column.length));
    if (type == SqlType::Binary && column.length > 0)
        bytes.resize(static_cast<std::size_t>(column.length), 0);
    return bytes;
}

int xmlDepth(std::string_view xml) {
    int depth = 0;
    int deepest = 0;
    std::size_t i = 0;
    const auto skipPast = [&](std::string_view end) {
        const std::size_t at = xml.find(end, i);
        i = at == std::string_view::npos ? xml.size() : at + end.size();
    };
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = xml.substr(i);
        if (rest.starts_with("<!--")) {
            skipPast("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            skipPast("]]>");
        } else if (rest.starts_with("<?") || rest.starts_with("<!")) {
            skipPast(">");
        } else if (rest.starts_with("</")) {
            --depth;
            skipPast(">");
        } else {
            // A start tag: its attribute values may hold '>' and "/>" inside quotes.
            char quote = 0;
            bool selfClosing = false;
            for (++i; i < xml.size(); ++i) {
                const char c = xml[i];
                if (quote) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    selfClosing = xml[i - 1] == '/';
                    ++i;
                    break;
                }
            }
            deepest = std::max(deepest, depth + 1);
            if (!selfClosing)
                ++depth;
        }
    }
    return deepest;
}

} // namespace testserver::types
