#pragma once
// The client's requests before and after login, parsed from a reassembled payload
// without sockets: PRELOGIN and the SQL batch. LOGIN7 is in tds_login.h, RPC in
// tds_rpc_request.h.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace testserver::tds {

struct PreloginRequest {
    std::optional<std::array<std::uint8_t, 6>> version; // major, minor, build (BE), sub-build
    std::optional<std::uint8_t> encryption;             // 0 OFF, 1 ON, 2 NOT_SUP, 3 REQ
    std::optional<std::string> instance;                // up to its NUL
    std::optional<std::uint32_t> threadId;
    std::optional<std::uint8_t> mars;
};

// The option list: 5-byte entries (token, offset u16 BE, length u16 BE) up to 0xFF, each
// pointing into the payload past the list. nullopt when an entry is cut, points outside
// the payload, or a known option has the wrong size.
std::optional<PreloginRequest> parsePrelogin(std::string_view payload);

// The size of the ALL_HEADERS block at the start of a request (TDS 7.2 on): TotalLength,
// then headers of HeaderLength (>= 6) and HeaderType that fill it exactly. 0 when the
// payload does not start with one (a TDS 7.0/7.1 client); nullopt when it starts with a
// length that claims one but the headers inside do not add up.
std::optional<std::size_t> allHeadersSize(std::string_view payload);

// The text of a SQL batch, after its ALL_HEADERS; nullopt for broken headers.
std::optional<std::string> parseSqlBatch(std::string_view payload);

} // namespace testserver::tds
