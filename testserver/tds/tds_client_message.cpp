#include "tds_client_message.h"

#include "tds_login.h"

namespace testserver::tds {

ClientMessage parseClientMessage(std::string_view stream) {
    ClientMessage out;
    const ReassembledMessage framed = reassembleMessage(stream);
    if (framed.status == ReassembledMessage::Status::Incomplete)
        return out;
    if (framed.status == ReassembledMessage::Status::Malformed) {
        out.status = ClientMessage::Status::Malformed;
        return out;
    }
    out.type = framed.message.type;
    out.consumed = framed.consumed;
    const std::string& payload = framed.message.payload;
    bool ok = true;
    switch (out.type) {
    case kPrelogin:
        out.prelogin = parsePrelogin(payload);
        ok = out.prelogin.has_value();
        break;
    case kLogin7:
        out.login = parseLogin7(payload);
        ok = out.login.has_value();
        break;
    case kSqlBatch:
        out.batch = parseSqlBatch(payload);
        ok = out.batch.has_value();
        break;
    case kRpc:
        out.rpc = parseRpc(payload);
        ok = out.rpc.has_value();
        break;
    case kAttention:
    case kTransactionManager:
        break;
    default:
        out.status = ClientMessage::Status::Unsupported;
        return out;
    }
    out.status = ok ? ClientMessage::Status::Parsed : ClientMessage::Status::Malformed;
    return out;
}

} // namespace testserver::tds
