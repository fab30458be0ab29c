#include "tds_encoder.h"

#include "type_rules.h"
#include "utf.h"

#include <cmath>
#include <cstring>

namespace testserver::tds {

namespace {

// SQL_Latin1_General_CP1_CI_AS, as SQL Server reports it.
constexpr char kCollation[5] = {0x09, 0x04, static_cast<char>(0xD0), 0x00, 0x34};
constexpr std::uint64_t kPlpNull = 0xFFFFFFFFFFFFFFFFULL;
constexpr std::uint16_t kMaxMarker = 0xFFFF;

// Sent in parts (PLP): the max types, and xml, which has no other form.
bool isMax(const Column& c) {
    return ((types::isString(c.type) || c.type == SqlType::VarBinary) && c.length == 0) ||
           c.type == SqlType::Xml;
}

std::string withLength(std::uint8_t token, const std::string& body) {
    std::string out;
    putU8(out, token);
    putU16(out, static_cast<std::uint16_t>(body.size()));
    return out + body;
}

void putTypeInfo(std::string& out, const Column& c) {
    switch (c.type) {
    case SqlType::Bit:
        putU8(out, 0x68);
        putU8(out, 1);
        break;
    case SqlType::TinyInt:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt:
        putU8(out, 0x26);
        putU8(out, c.type == SqlType::TinyInt    ? 1
                   : c.type == SqlType::SmallInt ? 2
                   : c.type == SqlType::Int      ? 4
                                                 : 8);
        break;
    case SqlType::Real:
    case SqlType::Float:
        putU8(out, 0x6D);
        putU8(out, c.type == SqlType::Real ? 4 : 8);
        break;
    case SqlType::DateTime:
        putU8(out, 0x6F);
        putU8(out, 8);
        break;
    case SqlType::UniqueIdentifier:
        putU8(out, 0x24);
        putU8(out, 16);
        break;
    case SqlType::NVarChar:
        putU8(out, 0xE7);
        putU16(out, isMax(c) ? kMaxMarker : static_cast<std::uint16_t>(2 * c.length));
        out.append(kCollation, sizeof kCollation);
        break;
    case SqlType::VarChar:
        putU8(out, 0xA7);
        putU16(out, isMax(c) ? kMaxMarker : static_cast<std::uint16_t>(c.length));
        out.append(kCollation, sizeof kCollation);
        break;
    case SqlType::VarBinary:
        putU8(out, 0xA5);
        putU16(out, isMax(c) ? kMaxMarker : static_cast<std::uint16_t>(c.length));
        break;
    case SqlType::Binary:
        putU8(out, 0xAD);
        putU16(out, static_cast<std::uint16_t>(c.length));
        break;
    case SqlType::Xml:
        putU8(out, 0xF1);
        putU8(out, 0); // no schema collection
        break;
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// The 16 bytes of a uniqueidentifier: its first three groups are little-endian.
void putGuid(std::string& out, const std::string& text) {
    unsigned char b[16] = {};
    std::size_t k = 0;
    for (std::size_t i = 0; i + 1 < text.size() && k < 16;) {
        if (text[i] == '-' || text[i] == '{') {
            ++i;
            continue;
        }
        b[k++] = static_cast<unsigned char>(hexValue(text[i]) * 16 + hexValue(text[i + 1]));
        i += 2;
    }
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i : kOrder)
        out += static_cast<char>(b[i]);
}

void putDateTime(std::string& out, double value) {
    double whole = std::floor(value);
    auto ticks = static_cast<std::int64_t>(std::llround((value - whole) * 86400.0 * 300.0));
    if (ticks >= 86400LL * 300) {
        whole += 1;
        ticks = 0;
    }
    putU32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(whole)));
    putU32(out, static_cast<std::uint32_t>(ticks));
}

std::string valueBytes(const Column& c, const Value& v) {
    std::string bytes;
    if (types::isString(c.type) || c.type == SqlType::Xml) {
        const auto& text = std::get<std::string>(v);
        if (c.type != SqlType::VarChar)
            utf::appendUtf16le(bytes, text);
        else
            bytes = utf::toCp1252(text);
    } else {
        const auto& b = std::get<std::vector<std::uint8_t>>(v);
        bytes.assign(b.begin(), b.end());
    }
    return bytes;
}

void putValue(std::string& out, const Column& c, const Value& v) {
    const bool null = std::holds_alternative<std::monostate>(v);
    switch (c.type) {
    case SqlType::Bit:
    case SqlType::TinyInt:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt: {
        const int size = c.type == SqlType::BigInt     ? 8
                         : c.type == SqlType::Int      ? 4
                         : c.type == SqlType::SmallInt ? 2
                                                       : 1;
        if (null) {
            putU8(out, 0);
            return;
        }
        const auto i = static_cast<std::uint64_t>(std::get<std::int64_t>(v));
        putU8(out, static_cast<std::uint8_t>(size));
        for (int k = 0; k < size; ++k)
            out += static_cast<char>((i >> (8 * k)) & 0xFF);
        return;
    }
    case SqlType::Real:
    case SqlType::Float: {
        if (null) {
            putU8(out, 0);
            return;
        }
        const double d = std::get<double>(v);
        if (c.type == SqlType::Real) {
            const float f = static_cast<float>(d);
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            putU8(out, 4);
            putU32(out, bits);
        } else {
            std::uint64_t bits;
            std::memcpy(&bits, &d, 8);
            putU8(out, 8);
            putU64(out, bits);
        }
        return;
    }
    case SqlType::DateTime:
        if (null) {
            putU8(out, 0);
            return;
        }
        putU8(out, 8);
        putDateTime(out, std::get<double>(v));
        return;
    case SqlType::UniqueIdentifier:
        if (null) {
            putU8(out, 0);
            return;
        }
        putU8(out, 16);
        putGuid(out, std::get<std::string>(v));
        return;
    default:
        break;
    }
    if (isMax(c)) {
        // Partially length-prefixed: total length, one chunk, terminator.
        if (null) {
            putU64(out, kPlpNull);
            return;
        }
        const std::string bytes = valueBytes(c, v);
        putU64(out, bytes.size());
        if (!bytes.empty()) {
            putU32(out, static_cast<std::uint32_t>(bytes.size()));
            out += bytes;
        }
        putU32(out, 0);
        return;
    }
    if (null) {
        putU16(out, 0xFFFF);
        return;
    }
    std::string bytes = valueBytes(c, v);
    const std::size_t limit = c.type == SqlType::NVarChar ? 2u * c.length : std::size_t(c.length);
    if (bytes.size() > limit)
        bytes.resize(limit);
    putU16(out, static_cast<std::uint16_t>(bytes.size()));
    out += bytes;
}

} // namespace

void putU8(std::string& out, std::uint8_t v) {
    out += static_cast<char>(v);
}

void putU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void putU32(std::string& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void putU64(std::string& out, std::uint64_t v) {
    for (int k = 0; k < 8; ++k)
        out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void putBVarchar(std::string& out, std::string_view utf8) {
    const std::string text = utf::truncateUtf16(utf8, 255);
    putU8(out, static_cast<std::uint8_t>(utf::utf16Length(text)));
    utf::appendUtf16le(out, text);
}

void putUsVarchar(std::string& out, std::string_view utf8) {
    const std::string text = utf::truncateUtf16(utf8, 65535);
    putU16(out, static_cast<std::uint16_t>(utf::utf16Length(text)));
    utf::appendUtf16le(out, text);
}

std::string envChange(std::uint8_t type, std::string_view newValue, std::string_view oldValue) {
    std::string body;
    putU8(body, type);
    putBVarchar(body, newValue);
    putBVarchar(body, oldValue);
    return withLength(0xE3, body);
}

std::string collationEnvChange() {
    std::string body;
    putU8(body, 7);
    putU8(body, sizeof kCollation);
    body.append(kCollation, sizeof kCollation);
    putU8(body, 0);
    return withLength(0xE3, body);
}

std::string message(const Message& m, std::string_view serverName) {
    std::string body;
    putU32(body, static_cast<std::uint32_t>(m.number));
    putU8(body, static_cast<std::uint8_t>(m.state));
    putU8(body, static_cast<std::uint8_t>(m.severity));
    putUsVarchar(body, m.text);
    putBVarchar(body, serverName);
    putBVarchar(body, "");
    putU32(body, static_cast<std::uint32_t>(m.line));
    return withLength(m.severity > 10 ? 0xAA : 0xAB, body);
}

std::string sspiToken(const std::string& token) {
    std::string out;
    putU8(out, 0xED);
    putU16(out, static_cast<std::uint16_t>(token.size()));
    return out + token;
}

std::string loginAck(std::uint32_t tdsVersion, std::uint32_t serverVersion) {
    std::string body;
    putU8(body, 1); // SQL interface; FreeTDS refuses anything else
    for (int k = 3; k >= 0; --k)
        body += static_cast<char>((tdsVersion >> (8 * k)) & 0xFF);
    putBVarchar(body, "Microsoft SQL Server");
    for (int k = 3; k >= 0; --k)
        body += static_cast<char>((serverVersion >> (8 * k)) & 0xFF);
    return withLength(0xAD, body);
}

std::string done(std::uint16_t status, std::uint16_t curCmd, std::uint64_t rows,
                 std::uint8_t token) {
    std::string out;
    putU8(out, token);
    putU16(out, status);
    putU16(out, curCmd);
    putU64(out, rows);
    return out;
}

std::string returnStatus(std::int32_t value) {
    std::string out;
    putU8(out, 0x79);
    putU32(out, static_cast<std::uint32_t>(value));
    return out;
}

std::string returnValue(std::uint16_t ordinal, std::string_view name, std::string_view typeInfo,
                        std::string_view valueBytes) {
    std::string out;
    putU8(out, 0xAC);
    putU16(out, ordinal);
    putBVarchar(out, name);
    putU8(out, 0x01); // an OUTPUT parameter
    putU32(out, 0);   // user type
    putU16(out, 0x0001);
    out += typeInfo;
    out += valueBytes;
    return out;
}

std::string colMetadata(const std::vector<Column>& columns) {
    std::string out;
    putU8(out, 0x81);
    putU16(out, static_cast<std::uint16_t>(columns.size()));
    for (const auto& c : columns) {
        putU32(out, 0);                       // user type
        putU16(out, c.nullable ? 0x0001 : 0); // flags
        putTypeInfo(out, c);
        putBVarchar(out, c.name);
    }
    return out;
}

void appendRow(std::string& out, const std::vector<Column>& columns, const Row& row) {
    bool anyNull = false;
    for (const auto& v : row)
        anyNull = anyNull || std::holds_alternative<std::monostate>(v);
    if (!anyNull) {
        putU8(out, 0xD1);
        for (std::size_t i = 0; i < columns.size(); ++i)
            putValue(out, columns[i], row[i]);
        return;
    }
    putU8(out, 0xD2);
    std::string bitmap((columns.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (std::holds_alternative<std::monostate>(row[i]))
            bitmap[i / 8] = static_cast<char>(bitmap[i / 8] | (1 << (i % 8)));
    out += bitmap;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (!std::holds_alternative<std::monostate>(row[i]))
            putValue(out, columns[i], row[i]);
}

} // namespace testserver::tds
