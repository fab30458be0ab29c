#pragma once
// What one RPC call means for a connection: the special procedures FreeTDS and other
// drivers use for prepared and parameterised statements (sp_executesql, sp_prepare,
// sp_execute, sp_prepexec, sp_unprepare), resolved to the statement text to run, the
// OUTPUT values to return and the error to raise. Keeps the connection's prepared
// handles. Pure logic: the connection runs the statement and writes the tokens.

#include "tds_rpc_request.h"
#include "values.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testserver {

struct RpcReturnValue {
    std::uint16_t ordinal = 0; // the parameter's position in the call, from 0
    std::string name;
    std::string typeInfo;   // TDS bytes, as RETURNVALUE carries them
    std::string valueBytes; // TDS bytes of the value, length prefix included
};

struct RpcPlan {
    std::string procedure;  // what DBCC INPUTBUFFER shows for the RPC event
    int parameterCount = 0; // likewise
    // The statement text to run with its parameters bound as literals; none for a call
    // that only prepares or unprepares, or that fails.
    std::optional<std::string> statement;
    std::optional<Message> error; // raised instead of running anything
    std::vector<RpcReturnValue> returnValues;
    bool returnsStatus = true; // false for a procedure that does not exist
};

class RpcPlanner {
public:
    RpcPlan plan(const tds::RpcCall& call);

private:
    struct Prepared {
        std::string declaration; // "@P1 int,@P2 nvarchar(4000)" or empty
        std::string statement;
    };

    void planExecution(RpcPlan& plan, const Prepared& prepared,
                       const std::vector<tds::RpcParameter>& values, std::size_t firstValue);
    std::optional<int> handleArgument(const tds::RpcCall& call, std::size_t index,
                                      RpcPlan& plan) const;

    std::map<int, Prepared> prepared_;
    int nextHandle_ = 1;
};

// The parameter names of a declaration such as "@P1 int, @name nvarchar(50) OUTPUT".
std::vector<std::string> declaredParameters(const std::string& declaration);
// The statement with every declared @parameter replaced by the literal of its value
// (NULL, numbers, N'text' with quotes doubled, 0x bytes, 'yyyy-mm-dd hh:mm:ss.fff').
std::string bindParameters(const std::string& statement, const std::vector<std::string>& names,
                           const std::vector<const tds::RpcParameter*>& values);

} // namespace testserver
