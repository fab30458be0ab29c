#include "tds_request.h"

#include "tds_reader.h"
#include "utf.h"

namespace testserver::tds {

namespace {

// Transaction descriptor, trace activity and query notification headers stay far below.
constexpr std::uint32_t kMaxAllHeaders = 4096;

std::uint16_t u16be(std::string_view s, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(s[at]) << 8) |
                                      static_cast<unsigned char>(s[at + 1]));
}

} // namespace

std::optional<PreloginRequest> parsePrelogin(std::string_view payload) {
    PreloginRequest out;
    std::size_t pos = 0;
    // The list itself must end before the first option's data.
    std::size_t listEnd = 0;
    for (std::size_t p = 0;; p += 5) {
        if (p >= payload.size())
            return std::nullopt;
        if (static_cast<unsigned char>(payload[p]) == 0xFF) {
            listEnd = p + 1;
            break;
        }
        if (p + 5 > payload.size())
            return std::nullopt;
    }
    for (pos = 0; pos + 1 < listEnd; pos += 5) {
        const auto token = static_cast<unsigned char>(payload[pos]);
        const std::size_t offset = u16be(payload, pos + 1);
        const std::size_t length = u16be(payload, pos + 3);
        if (offset < listEnd || offset + length > payload.size())
            return std::nullopt;
        const std::string_view value = payload.substr(offset, length);
        auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(value[i]); };
        switch (token) {
        case 0x00: // VERSION
            if (length != 6)
                return std::nullopt;
            out.version =
                std::array<std::uint8_t, 6>{byte(0), byte(1), byte(2), byte(3), byte(4), byte(5)};
            break;
        case 0x01: // ENCRYPTION
            if (length != 1)
                return std::nullopt;
            out.encryption = byte(0);
            break;
        case 0x02: // INSTOPT
            out.instance = std::string(value.substr(0, value.find('\0')));
            break;
        case 0x03: // THREADID; clients may send it empty
            if (length == 4) {
                TdsReader r(value);
                out.threadId = r.u32();
            } else if (length != 0) {
                return std::nullopt;
            }
            break;
        case 0x04: // MARS
            if (length != 1)
                return std::nullopt;
            out.mars = byte(0);
            break;
        default: // TRACEID, FEDAUTHREQUIRED, NONCEOPT: nothing this server uses
            break;
        }
    }
    return out;
}

std::optional<std::size_t> allHeadersSize(std::string_view payload) {
    TdsReader r(payload);
    const std::uint32_t total = r.u32();
    // A 7.0/7.1 batch starts with its text: two UTF-16 code units that, read as a
    // length, exceed the payload or any real header block, or cannot frame one header.
    if (r.failed() || total < 4 + 6 || total > payload.size() || total > kMaxAllHeaders)
        return std::size_t{0};
    std::size_t used = 4;
    while (used < total) {
        const std::uint32_t length = r.u32();
        r.u16(); // HeaderType
        if (r.failed() || length < 6 || length > total - used)
            return std::nullopt;
        r.take(length - 6);
        used += length;
    }
    return std::size_t{total};
}

std::optional<std::string> parseSqlBatch(std::string_view payload) {
    const auto skip = allHeadersSize(payload);
    if (!skip)
        return std::nullopt;
    return utf::fromUtf16le(payload.substr(*skip));
}

} // namespace testserver::tds
