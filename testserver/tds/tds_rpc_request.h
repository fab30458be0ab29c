#pragma once
// RPC requests (packet type 0x03) parsed without sockets: one or more procedure calls,
// each by name or by the ProcID of a special procedure, with typed parameters.

#include "values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testserver::tds {

// The special procedures clients call by number instead of by name.
enum ProcId : std::uint16_t {
    kSpCursorOpen = 2,
    kSpExecuteSql = 10,
    kSpPrepare = 11,
    kSpExecute = 12,
    kSpPrepExec = 13,
    kSpUnprepare = 15,
};

struct RpcParameter {
    std::string name;        // "@stmt", or empty for a positional parameter
    std::uint8_t status = 0; // 0x01: by reference (OUTPUT); 0x02: the default value
    std::uint8_t type = 0;   // the TDS type byte
    std::string typeInfo;    // TYPE_INFO as sent, type byte included
    std::string valueBytes;  // the value as sent, length prefix included
    Value value;             // decoded; text is UTF-8, date-times days since 1900-01-01

    bool isOutput() const { return (status & 0x01) != 0; }
};

struct RpcCall {
    std::uint16_t procId = 0; // 0 when called by name
    std::string procName;     // UTF-8, when called by name
    std::uint16_t options = 0;
    std::vector<RpcParameter> parameters;
};

struct RpcRequest {
    std::vector<RpcCall> calls;
};

// ALL_HEADERS, then calls separated by a batch flag (0xFF or 0xFE). nullopt when a field
// runs past the payload, a type is one this server does not take (legacy short types,
// XML, UDT, sql_variant, table-valued parameters) or a value has an impossible length.
std::optional<RpcRequest> parseRpc(std::string_view payload);

// The name a call goes by: its procName, or the special procedure's name for its ProcID.
std::string procedureName(const RpcCall& call);

} // namespace testserver::tds
