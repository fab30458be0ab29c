// Everything a client sends reaches the test server's parsers before any login: any
// bytes must be refused or read, never crash or overrun. The input is tried both as a
// packet stream (framing, then the parser for each message's type) and as the bare
// payload of every message type, so the fuzzer need not learn the framing first.

#include "rpc_planner.h"
#include "tds_client_message.h"
#include "tds_login.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace testserver;

void planAll(const tds::RpcRequest& request) {
    RpcPlanner planner; // one per connection: a later call may use an earlier handle
    for (const auto& call : request.calls) {
        for (const auto& p : call.parameters)
            if (p.typeInfo.empty() || static_cast<std::uint8_t>(p.typeInfo[0]) != p.type)
                std::abort();
        planner.plan(call);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::string_view stream = bytes;
    while (!stream.empty()) {
        const auto m = tds::parseClientMessage(stream);
        if (m.status == tds::ClientMessage::Status::Incomplete ||
            m.status == tds::ClientMessage::Status::Malformed)
            break;
        if (m.consumed < tds::kHeaderSize || m.consumed > stream.size())
            std::abort();
        if (m.rpc)
            planAll(*m.rpc);
        stream.remove_prefix(m.consumed);
    }

    tds::parsePrelogin(bytes);
    tds::parseLogin7(std::string(bytes));
    tds::parseSqlBatch(bytes);
    if (const auto rpc = tds::parseRpc(bytes))
        planAll(*rpc);
    return 0;
}
