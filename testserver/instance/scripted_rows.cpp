#include "scripted_rows.h"

namespace testserver {

namespace {

Value opt(const std::optional<std::string>& v) {
    return v ? Value(*v) : Value();
}

Value opt(const std::optional<double>& v) {
    return v ? Value(*v) : Value();
}

Value opt(const std::optional<int>& v) {
    return v ? Value(std::int64_t{*v}) : Value();
}

Value num(std::int64_t v) {
    return Value(v);
}

void append(ColumnValues& values, const ColumnOverrides& overrides) {
    for (const auto& [name, value] : overrides)
        values.emplace_back(name, value);
}

} // namespace

ColumnValues databaseRow(const ScriptedDatabase& database, int id, double createDate) {
    ColumnValues v = {{"name", database.name},
                      {"database_id", num(id)},
                      {"create_date", createDate},
                      {"physical_database_name", database.name}};
    append(v, database.overrides);
    return v;
}

ColumnValues sessionRow(const ScriptedSession& session, int id, double loginTime) {
    ColumnValues v = {
        {"session_id", num(id)},
        {"login_time", loginTime},
        {"host_name", opt(session.hostName)},
        {"program_name", opt(session.programName)},
        {"host_process_id", opt(session.hostProcessId)},
        // TDS 7.x clients report 7; internal sessions have none.
        {"client_version", session.isUserProcess ? num(7) : Value()},
        {"client_interface_name", opt(session.clientInterfaceName)},
        {"login_name", session.loginName},
        {"nt_domain", opt(session.ntDomain)},
        {"nt_user_name", opt(session.ntUserName)},
        {"status", session.status},
        {"cpu_time", num(session.cpuTime)},
        {"memory_usage", num(session.memoryUsage)},
        {"total_scheduled_time", num(session.totalScheduledTime)},
        {"total_elapsed_time", num(session.totalElapsedTime)},
        {"endpoint_id", num(session.isUserProcess ? 4 : 0)},
        {"last_request_start_time", opt(session.lastRequestStartTime)},
        {"last_request_end_time", opt(session.lastRequestEndTime)},
        {"reads", num(session.reads)},
        {"writes", num(session.writes)},
        {"logical_reads", num(session.logicalReads)},
        {"is_user_process", num(session.isUserProcess ? 1 : 0)},
        {"transaction_isolation_level", num(session.transactionIsolationLevel)},
        {"lock_timeout", num(session.lockTimeout)},
        {"row_count", num(session.rowCount)},
        {"original_login_name", session.originalLoginName.value_or(session.loginName)},
        {"database_id", num(session.databaseId)},
        {"open_transaction_count", num(session.openTransactionCount)}};
    append(v, session.overrides);
    return v;
}

ColumnValues connectionRow(const ScriptedConnection& c, int id, double loginTime,
                           const std::string& connectionId) {
    ColumnValues v = {{"session_id", num(id)},
                      {"most_recent_session_id", num(id)},
                      {"connect_time", c.connectTime.value_or(loginTime)},
                      {"net_transport", c.netTransport},
                      {"protocol_type", c.protocolType},
                      {"auth_scheme", c.authScheme},
                      {"encrypt_option", c.encryptOption},
                      {"last_read", loginTime},
                      {"last_write", loginTime},
                      {"net_packet_size", num(c.netPacketSize)},
                      {"client_net_address", c.clientNetAddress},
                      {"client_tcp_port", num(c.clientTcpPort)},
                      {"local_net_address", c.localNetAddress},
                      {"local_tcp_port", num(c.localTcpPort)},
                      {"connection_id", connectionId}};
    append(v, c.overrides);
    return v;
}

ColumnValues requestRow(const ScriptedRequest& request, const RequestLinks& links) {
    // Without a text SQL Server shows no handle and no statement offsets.
    const bool text = !std::holds_alternative<std::monostate>(links.sqlHandle);
    ColumnValues v = {
        {"session_id", num(request.sessionId)},
        {"request_id", num(request.requestId)},
        {"start_time", links.startTime},
        {"status", request.status},
        {"command", request.command},
        {"sql_handle", links.sqlHandle},
        {"statement_start_offset", text ? num(request.statementStartOffset) : Value()},
        {"statement_end_offset", text ? num(request.statementEndOffset) : Value()},
        {"plan_handle", links.planHandle},
        {"database_id", num(links.databaseId)},
        {"connection_id", links.connectionId},
        {"blocking_session_id", num(request.blockingSessionId)},
        {"wait_type", opt(request.waitType)},
        {"wait_time", num(request.waitTime)},
        {"last_wait_type", request.lastWaitType},
        {"wait_resource", request.waitResource},
        {"open_transaction_count", num(request.openTransactionCount)},
        {"cpu_time", num(request.cpuTime)},
        {"total_elapsed_time", num(request.totalElapsedTime)},
        {"reads", num(request.reads)},
        {"writes", num(request.writes)},
        {"logical_reads", num(request.logicalReads)},
        {"transaction_isolation_level", num(request.transactionIsolationLevel)},
        {"lock_timeout", num(request.lockTimeout)},
        {"row_count", num(request.rowCount)},
        {"nest_level", num(request.nestLevel)},
        {"granted_query_memory", num(request.grantedQueryMemory)},
        {"executing_managed_code", num(request.executingManagedCode ? 1 : 0)}};
    append(v, request.overrides);
    return v;
}

} // namespace testserver
