#pragma once
// Everything a client sends, parsed from raw bytes without a socket: the first message
// of a byte stream, reassembled from its packets and read by the parser for its type.
// The connection reads the same way; the fuzzer and the seed tests call this directly.

#include "instance.h"
#include "tds_packet.h"
#include "tds_request.h"
#include "tds_rpc_request.h"

#include <optional>
#include <string>
#include <string_view>

namespace testserver::tds {

struct ClientMessage {
    enum class Status {
        Incomplete,  // the stream ends before the message does
        Malformed,   // broken framing, or a payload its parser refuses
        Parsed,      // one of the optionals below holds it (none for ATTENTION and
                     // TransactionManager, whose payload the server ignores)
        Unsupported, // a packet type the server does not take
    };
    Status status = Status::Incomplete;
    std::uint8_t type = 0;
    std::size_t consumed = 0; // bytes of the stream the message took
    std::optional<PreloginRequest> prelogin;
    std::optional<LoginInfo> login;
    std::optional<std::string> batch;
    std::optional<RpcRequest> rpc;
};

ClientMessage parseClientMessage(std::string_view stream);

} // namespace testserver::tds
