#include "tds_rpc_request.h"

#include "tds_reader.h"
#include "tds_request.h"
#include "type_rules.h"
#include "utf.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace testserver::tds {

namespace {

constexpr std::uint64_t kPlpNull = 0xFFFFFFFFFFFFFFFFULL;

enum class Prefix { Fixed, Byte, UShort, Long, Plp };

struct TypeInfo {
    std::uint8_t type = 0;
    Prefix prefix = Prefix::Fixed;
    std::size_t fixedSize = 0;
    int scale = 0;
};

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::uint64_t unsignedLe(std::string_view b) {
    std::uint64_t v = 0;
    for (std::size_t k = b.size(); k-- > 0;)
        v = (v << 8) | static_cast<unsigned char>(b[k]);
    return v;
}

std::int64_t signedLe(std::string_view b) {
    std::uint64_t v = unsignedLe(b);
    const unsigned bits = static_cast<unsigned>(8 * b.size());
    if (bits > 0 && bits < 64 && ((v >> (bits - 1)) & 1))
        v |= ~std::uint64_t{0} << bits;
    return static_cast<std::int64_t>(v);
}

std::string guidText(std::string_view b) {
    // The first three groups are little-endian on the wire.
    static constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out;
    char hex[3];
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(b[order[i]]));
        out += hex;
    }
    return out;
}

double daysSince0001(std::string_view b) {
    return static_cast<double>(unsignedLe(b)) + static_cast<double>(types::daysFromCivil(1, 1, 1));
}

double timeOfDay(std::string_view b, int scale) {
    return static_cast<double>(unsignedLe(b)) / std::pow(10.0, scale) / 86400.0;
}

double decimalValue(std::string_view b, int scale) {
    long double v = 0;
    for (std::size_t k = b.size(); k-- > 1;)
        v = v * 256 + static_cast<unsigned char>(b[k]);
    v /= std::pow(10.0L, scale);
    return static_cast<double>(b[0] == 0 ? -v : v);
}

double floatValue(std::string_view b) {
    if (b.size() == 4) {
        float f;
        const auto bits = static_cast<std::uint32_t>(unsignedLe(b));
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    double d;
    const std::uint64_t bits = unsignedLe(b);
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The nullable type a fixed-length type is a size of (tinyint, int ... are INTN sizes).
std::uint8_t nullableVariant(std::uint8_t type) {
    switch (type) {
    case 0x30:
    case 0x34:
    case 0x38:
    case 0x7F:
        return 0x26;
    case 0x32:
        return 0x68;
    case 0x3A:
    case 0x3D:
        return 0x6F;
    case 0x3B:
    case 0x3E:
        return 0x6D;
    case 0x3C:
    case 0x7A:
        return 0x6E;
    default:
        return type;
    }
}

// Decodes a fixed or one-byte-length value into `out`; false for an impossible length.
// (An out parameter rather than optional<Value>: GCC 12 warns falsely on the latter
// under the sanitizers.)
// Decodes a fixed or one-byte-length value into `out`; false for an impossible length.
// (An out parameter rather than optional<Value>, on which GCC 12 warns falsely under the
// sanitizers.)
bool scalarValue(std::uint8_t type, std::string_view data, int scale, Value& out) {
    const std::size_t n = data.size();
    switch (nullableVariant(type)) {
    case 0x26: // INTN; one byte is tinyint, the only unsigned one
        if (n == 1)
            out = static_cast<std::int64_t>(unsignedLe(data));
        else if (n == 2 || n == 4 || n == 8)
            out = signedLe(data);
        else
            return false;
        return true;
    case 0x68: // BITN
        if (n != 1)
            return false;
        out = std::int64_t{data[0] != 0};
        return true;
    case 0x6D: // FLTN
        if (n != 4 && n != 8)
            return false;
        out = floatValue(data);
        return true;
    case 0x6E: // MONEYN: an 8-byte value sends its high half first
        if (n == 4)
            out = static_cast<double>(signedLe(data)) / 10000.0;
        else if (n == 8)
            out = static_cast<double>(static_cast<std::int64_t>(
                      (unsignedLe(data.substr(0, 4)) << 32) | unsignedLe(data.substr(4)))) /
                  10000.0;
        else
            return false;
        return true;
    case 0x6F: // DATETIMN: days and minutes, or days and 1/300 s ticks
        if (n == 4)
            out = static_cast<double>(unsignedLe(data.substr(0, 2))) +
                  static_cast<double>(unsignedLe(data.substr(2))) / 1440.0;
        else if (n == 8)
            out = static_cast<double>(signedLe(data.substr(0, 4))) +
                  static_cast<double>(unsignedLe(data.substr(4))) / 300.0 / 86400.0;
        else
            return false;
        return true;
    case 0x24: // GUID
        if (n != 16)
            return false;
        out = guidText(data);
        return true;
    case 0x6A: // DECIMALN
    case 0x6C: // NUMERICN
        if (n < 2 || n > 17)
            return false;
        out = decimalValue(data, scale);
        return true;
    case 0x28: // DATEN
        if (n != 3)
            return false;
        out = daysSince0001(data);
        return true;
    case 0x29: // TIMEN
        if (n < 3 || n > 5)
            return false;
        out = timeOfDay(data, scale);
        return true;
    case 0x2A: // DATETIME2N
        if (n < 6 || n > 8)
            return false;
        out = daysSince0001(data.substr(n - 3)) + timeOfDay(data.substr(0, n - 3), scale);
        return true;
    case 0x2B: // DATETIMEOFFSETN: kept in UTC, the offset dropped
        if (n < 8 || n > 10)
            return false;
        out = daysSince0001(data.substr(n - 5, 3)) + timeOfDay(data.substr(0, n - 5), scale);
        return true;
    default:
        return false;
    }
}

Value stringValue(std::uint8_t type, std::string_view data) {
    switch (type) {
    case 0xE7: // NVARCHAR
    case 0xEF: // NCHAR
    case 0x63: // NTEXT
        return Value(utf::fromUtf16le(data));
    case 0xA7: // BIGVARCHAR
    case 0xAF: // BIGCHAR
    case 0x23: // TEXT
        return Value(latin1ToUtf8(data));
    default: // BIGVARBINARY, BIGBINARY, IMAGE
        return Value(std::vector<std::uint8_t>(data.begin(), data.end()));
    }
}

std::optional<TypeInfo> readTypeInfo(TdsReader& r) {
    TypeInfo t;
    t.type = r.u8();
    switch (t.type) {
    case 0x1F: // NULLTYPE
        t.fixedSize = 0;
        return t;
    case 0x30:
    case 0x32:
        t.fixedSize = 1;
        return t;
    case 0x34:
        t.fixedSize = 2;
        return t;
    case 0x38:
    case 0x3A:
    case 0x3B:
    case 0x7A:
        t.fixedSize = 4;
        return t;
    case 0x3C:
    case 0x3D:
    case 0x3E:
    case 0x7F:
        t.fixedSize = 8;
        return t;
    case 0x24:
    case 0x26:
    case 0x68:
    case 0x6D:
    case 0x6E:
    case 0x6F:
        t.prefix = Prefix::Byte;
        r.u8(); // the maximum length
        return t;
    case 0x6A:
    case 0x6C:
        t.prefix = Prefix::Byte;
        r.u8(); // the maximum length
        r.u8(); // precision
        t.scale = r.u8();
        return t.scale <= 38 ? std::optional<TypeInfo>(t) : std::nullopt;
    case 0x28:
        t.prefix = Prefix::Byte;
        return t;
    case 0x29:
    case 0x2A:
    case 0x2B:
        t.prefix = Prefix::Byte;
        t.scale = r.u8();
        return t.scale <= 7 ? std::optional<TypeInfo>(t) : std::nullopt;
    case 0xA5:
    case 0xA7:
    case 0xAD:
    case 0xAF:
    case 0xE7:
    case 0xEF: {
        const std::uint16_t max = r.u16();
        if (t.type == 0xA7 || t.type == 0xAF || t.type == 0xE7 || t.type == 0xEF)
            r.take(5); // collation
        // Only the variable types have a max form; binary(n) and char(n) never do.
        if (max == 0xFFFF && (t.type == 0xAD || t.type == 0xAF || t.type == 0xEF))
            return std::nullopt;
        t.prefix = max == 0xFFFF ? Prefix::Plp : Prefix::UShort;
        return t;
    }
    case 0x22:
    case 0x23:
    case 0x63:
        t.prefix = Prefix::Long;
        r.u32(); // the maximum length
        if (t.type != 0x22)
            r.take(5); // collation
        return t;
    default: // legacy short types, XML, UDT, sql_variant, TVP
        return std::nullopt;
    }
}

// The value's bytes without their length prefix, or nullopt for NULL; sets the reader's
// failed flag when the value runs past the message.
std::optional<std::string> readValue(TdsReader& r, const TypeInfo& t) {
    switch (t.prefix) {
    case Prefix::Fixed:
        if (t.type == 0x1F)
            return std::nullopt;
        return std::string(r.take(t.fixedSize));
    case Prefix::Byte: {
        const std::size_t n = r.u8();
        if (n == 0)
            return std::nullopt;
        return std::string(r.take(n));
    }
    case Prefix::UShort: {
        const std::uint16_t n = r.u16();
        if (n == 0xFFFF)
            return std::nullopt;
        return std::string(r.take(n));
    }
    case Prefix::Long: {
        const std::uint32_t n = r.u32();
        if (n == 0xFFFFFFFF)
            return std::nullopt;
        return std::string(r.take(n));
    }
    case Prefix::Plp: {
        if (r.u64() == kPlpNull)
            return std::nullopt;
        std::string out;
        for (;;) {
            const std::uint32_t chunk = r.u32();
            if (r.failed() || chunk == 0)
                break;
            out += r.take(chunk);
        }
        return out;
    }
    }
    return std::nullopt;
}

bool readParameter(TdsReader& r, RpcParameter& p) {
    const std::size_t nameChars = r.u8();
    p.name = utf::fromUtf16le(r.take(2 * nameChars));
    p.status = r.u8();
    const std::size_t typeStart = r.position();
    const auto info = readTypeInfo(r);
    if (!info || r.failed())
        return false;
    p.type = info->type;
    p.typeInfo = std::string(r.readSince(typeStart));
    const std::size_t valueStart = r.position();
    const auto data = readValue(r, *info);
    if (r.failed())
        return false;
    p.valueBytes = std::string(r.readSince(valueStart));
    if (!data) {
        p.value = std::monostate{};
        return true;
    }
    if (info->prefix == Prefix::Fixed || info->prefix == Prefix::Byte) {
        if (!scalarValue(info->type, *data, info->scale, p.value))
            return false;
    } else {
        p.value = stringValue(info->type, *data);
    }
    return true;
}

bool isBatchFlag(std::uint8_t b) {
    return b == 0xFF || b == 0xFE;
}

} // namespace

std::optional<RpcRequest> parseRpc(std::string_view payload) {
    const auto headers = allHeadersSize(payload);
    if (!headers)
        return std::nullopt;
    TdsReader r(payload.substr(*headers));
    RpcRequest request;
    do {
        RpcCall call;
        const std::uint16_t nameLength = r.u16();
        if (nameLength == 0xFFFF) {
            call.procId = r.u16();
            if (call.procId == 0)
                return std::nullopt;
        } else {
            call.procName = utf::fromUtf16le(r.take(2u * nameLength));
            if (call.procName.empty())
                return std::nullopt;
        }
        call.options = r.u16();
        if (r.failed())
            return std::nullopt;
        while (!r.atEnd() && !isBatchFlag(r.peek())) {
            RpcParameter p;
            if (!readParameter(r, p))
                return std::nullopt;
            call.parameters.push_back(std::move(p));
        }
        request.calls.push_back(std::move(call));
        if (!r.atEnd())
            r.u8(); // the batch flag between calls
    } while (!r.atEnd());
    return request;
}

std::string procedureName(const RpcCall& call) {
    if (call.procId == 0)
        return call.procName;
    switch (call.procId) {
    case 1:
        return "sp_cursor";
    case kSpCursorOpen:
        return "sp_cursoropen";
    case 3:
        return "sp_cursorprepare";
    case 4:
        return "sp_cursorexecute";
    case 5:
        return "sp_cursorprepexec";
    case 6:
        return "sp_cursorunprepare";
    case 7:
        return "sp_cursorfetch";
    case 8:
        return "sp_cursoroption";
    case 9:
        return "sp_cursorclose";
    case kSpExecuteSql:
        return "sp_executesql";
    case kSpPrepare:
        return "sp_prepare";
    case kSpExecute:
        return "sp_execute";
    case kSpPrepExec:
        return "sp_prepexec";
    case 14:
        return "sp_prepexecrpc";
    case kSpUnprepare:
        return "sp_unprepare";
    default: {
        // Formatted, not concatenated: GCC 12 misreads "#" + to_string as an overlapping
        // copy (-Wrestrict) in release builds.
        char name[8];
        std::snprintf(name, sizeof name, "#%u", unsigned{call.procId});
        return name;
    }
    }
}

} // namespace testserver::tds
