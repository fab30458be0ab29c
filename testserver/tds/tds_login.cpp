#include "tds_login.h"

#include "utf.h"

#include <iterator>

namespace testserver::tds {

namespace {

std::uint32_t u32le(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(k)]);
    return v;
}

std::uint16_t u16le(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

} // namespace

std::string preloginReply(std::uint32_t serverVersion, std::uint8_t encryption) {
    struct Option {
        std::uint8_t token;
        std::string value;
    };
    const std::string version = {static_cast<char>(serverVersion >> 24),
                                 static_cast<char>((serverVersion >> 16) & 0xFF),
                                 static_cast<char>((serverVersion >> 8) & 0xFF),
                                 static_cast<char>(serverVersion & 0xFF),
                                 0,
                                 0};
    const Option options[] = {{0, version},
                              {1, std::string(1, static_cast<char>(encryption))},
                              {2, std::string(1, '\0')},
                              {3, std::string()},
                              {4, std::string(1, '\0')}};
    std::string head;
    std::string body;
    const std::size_t base = 5 * std::size(options) + 1;
    for (const auto& o : options) {
        const std::size_t offset = base + body.size();
        head += static_cast<char>(o.token);
        head += static_cast<char>(offset >> 8);
        head += static_cast<char>(offset & 0xFF);
        head += static_cast<char>(o.value.size() >> 8);
        head += static_cast<char>(o.value.size() & 0xFF);
        body += o.value;
    }
    return head + '\xFF' + body;
}

std::optional<LoginInfo> parseLogin7(const std::string& p) {
    if (p.size() < 94)
        return std::nullopt;
    auto field = [&](std::size_t at, bool password = false) -> std::optional<std::string> {
        const std::size_t offset = u16le(p, at);
        const std::size_t bytes = 2u * u16le(p, at + 2);
        if (offset + bytes > p.size())
            return std::nullopt;
        std::string raw = p.substr(offset, bytes);
        if (password)
            for (auto& c : raw) {
                // Each byte had its nibbles swapped and was XORed with 0xA5.
                const auto x = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ 0xA5);
                c = static_cast<char>(((x << 4) | (x >> 4)) & 0xFF);
            }
        return utf::fromUtf16le(raw);
    };
    const auto host = field(36);
    const auto user = field(40);
    const auto password = field(44, true);
    const auto app = field(48);
    const auto clientInterface = field(60);
    const auto database = field(68);
    const auto serverName = field(52);
    if (!host || !user || !password || !app || !serverName || !clientInterface || !database)
        return std::nullopt;
    LoginInfo info;
    info.tdsVersion = u32le(p, 4);
    const std::uint32_t packetSize = u32le(p, 8);
    info.packetSize =
        (packetSize >= 512 && packetSize <= 32767) ? static_cast<int>(packetSize) : 4096;
    info.hostProcessId = static_cast<int>(u32le(p, 16));
    info.host = *host;
    info.user = *user;
    info.password = *password;
    info.program = *app;
    if (!clientInterface->empty())
        info.clientInterface = *clientInterface;
    info.database = *database;
    info.serverName = *serverName;
    // Integrated security (OptionFlags2 fIntSecurity): the token at ibSSPI, cbSSPI bytes,
    // or cbSSPILong when cbSSPI is 0xFFFF.
    if (static_cast<unsigned char>(p[25]) & 0x80) {
        const std::size_t offset = u16le(p, 78);
        std::size_t size = u16le(p, 80);
        if (size == 0xFFFF)
            size = u32le(p, 90);
        if (offset + size > p.size())
            return std::nullopt;
        info.sspi = p.substr(offset, size);
    }
    return info;
}

} // namespace testserver::tds
