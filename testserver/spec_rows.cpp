#include "spec_rows.h"

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

ColumnValues databaseRow(const DatabaseSpec& spec, int id, double createDate) {
    ColumnValues v = {{"name", spec.name},
                      {"database_id", num(id)},
                      {"create_date", createDate},
                      {"physical_database_name", spec.name}};
    append(v, spec.overrides);
    return v;
}

ColumnValues sessionRow(const SessionSpec& spec, int id, double loginTime) {
    ColumnValues v = {{"session_id", num(id)},
                      {"login_time", loginTime},
                      {"host_name", opt(spec.hostName)},
                      {"program_name", opt(spec.programName)},
                      {"host_process_id", opt(spec.hostProcessId)},
                      // TDS 7.x clients report 7; internal sessions have none.
                      {"client_version", spec.isUserProcess ? num(7) : Value()},
                      {"client_interface_name", opt(spec.clientInterfaceName)},
                      {"login_name", spec.loginName},
                      {"nt_domain", opt(spec.ntDomain)},
                      {"nt_user_name", opt(spec.ntUserName)},
                      {"status", spec.status},
                      {"cpu_time", num(spec.cpuTime)},
                      {"memory_usage", num(spec.memoryUsage)},
                      {"total_scheduled_time", num(spec.totalScheduledTime)},
                      {"total_elapsed_time", num(spec.totalElapsedTime)},
                      {"endpoint_id", num(spec.isUserProcess ? 4 : 0)},
                      {"last_request_start_time", opt(spec.lastRequestStartTime)},
                      {"last_request_end_time", opt(spec.lastRequestEndTime)},
                      {"reads", num(spec.reads)},
                      {"writes", num(spec.writes)},
                      {"logical_reads", num(spec.logicalReads)},
                      {"is_user_process", num(spec.isUserProcess ? 1 : 0)},
                      {"transaction_isolation_level", num(spec.transactionIsolationLevel)},
                      {"lock_timeout", num(spec.lockTimeout)},
                      {"row_count", num(spec.rowCount)},
                      {"original_login_name", spec.originalLoginName.value_or(spec.loginName)},
                      {"database_id", num(spec.databaseId)},
                      {"open_transaction_count", num(spec.openTransactionCount)}};
    append(v, spec.overrides);
    return v;
}

ColumnValues connectionRow(const ConnectionSpec& c, int id, double loginTime,
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

ColumnValues requestRow(const RequestSpec& spec, const RequestLinks& links) {
    // Without a text SQL Server shows no handle and no statement offsets.
    const bool text = !std::holds_alternative<std::monostate>(links.sqlHandle);
    ColumnValues v = {{"session_id", num(spec.sessionId)},
                      {"request_id", num(spec.requestId)},
                      {"start_time", links.startTime},
                      {"status", spec.status},
                      {"command", spec.command},
                      {"sql_handle", links.sqlHandle},
                      {"statement_start_offset", text ? num(spec.statementStartOffset) : Value()},
                      {"statement_end_offset", text ? num(spec.statementEndOffset) : Value()},
                      {"plan_handle", links.planHandle},
                      {"database_id", num(links.databaseId)},
                      {"connection_id", links.connectionId},
                      {"blocking_session_id", num(spec.blockingSessionId)},
                      {"wait_type", opt(spec.waitType)},
                      {"wait_time", num(spec.waitTime)},
                      {"last_wait_type", spec.lastWaitType},
                      {"wait_resource", spec.waitResource},
                      {"open_transaction_count", num(spec.openTransactionCount)},
                      {"cpu_time", num(spec.cpuTime)},
                      {"total_elapsed_time", num(spec.totalElapsedTime)},
                      {"reads", num(spec.reads)},
                      {"writes", num(spec.writes)},
                      {"logical_reads", num(spec.logicalReads)},
                      {"transaction_isolation_level", num(spec.transactionIsolationLevel)},
                      {"lock_timeout", num(spec.lockTimeout)},
                      {"row_count", num(spec.rowCount)},
                      {"nest_level", num(spec.nestLevel)},
                      {"granted_query_memory", num(spec.grantedQueryMemory)},
                      {"executing_managed_code", num(spec.executingManagedCode ? 1 : 0)}};
    append(v, spec.overrides);
    return v;
}

} // namespace testserver
