#include "sampling_text.h"

const std::vector<std::string>& samplingTemplate() {
    static const std::vector<std::string> lines = {
        "select SPID            = S.session_id,",
        "       Login           = S.login_name,",
        "       StatusAux       = isnull(R.status,S.status),",
        "       Command         = isnull(R.command,''),",
        "       DB              = isnull(db_name(nullif(S.database_id,0)),''),",
        "       ProgName        = isnull(S.program_name,''),",
        "       LoginTime       = S.login_time,",
        "       LastTime        = "
        "isnull(isnull(S.last_request_end_time,S.last_request_start_time),0),",
        "       CPU             = isnull(R.cpu_time,0)+S.cpu_time,",
        "       IO              = isnull(R.reads+R.writes,0)+S.reads+S.writes,",
        "       Mem             = S.memory_usage,",
        "       Host            = isnull(S.host_name,''),",
        "       NTLogin         = isnull(S.nt_user_name,''),",
        "       BlockingAux     = isnull(R.blocking_session_id,0),",
        "       ClientInterface = isnull(S.client_interface_name,''),",
        "       NTDomain        = isnull(S.nt_domain,''),",
        "       ElapsedTime     = isnull(R.total_elapsed_time,S.total_elapsed_time),",
        "       Reads           = isnull(R.reads,0)+S.reads,",
        "       Writes          = isnull(R.writes,0)+S.writes,",
        "       LogicalReads    = isnull(R.logical_reads,S.logical_reads),",
        "       IsolationLevel  = "
        "isnull(R.transaction_isolation_level,S.transaction_isolation_level),",
        "       LockTimeout     = isnull(R.lock_timeout,S.lock_timeout),",
        "       RowCnt          = isnull(R.row_count,S.row_count),",
        "       OriginalLogin   = S.original_login_name,",
        "       OpenTran        = isnull(R.open_transaction_count,S.open_transaction_count),",
        "       WaitType        = isnull(R.wait_type,''),",
        "       WaitTime        = isnull(R.wait_time,0),",
        "       WaitResource    = isnull(R.wait_resource,''),",
        "       NestedLevel     = isnull(R.nest_level,0),",
        "       CLR             = isnull(R.executing_managed_code,0),",
        "       NetTransport    = isnull(C.net_transport,''),",
        "       Protocol        = isnull(C.protocol_type,''),",
        "       AuthScheme      = isnull(C.auth_scheme,''),",
        "       ClientAddress   = isnull(C.client_net_address,''),",
        "       ClientPort      = isnull(C.client_tcp_port,0),",
        "       ServerAddress   = isnull(C.local_net_address,''),",
        "       ServerPort      = isnull(C.local_tcp_port,0),",
        "       Status          = isnull(R.status,S.status),",
        "       Blocking        = isnull(R.blocking_session_id,0),",
        "       Blocked         = case when exists(select * from sys.dm_exec_requests where "
        "blocking_session_id=S.session_id) then 1 else 0 end,",
        "       IsUser          = S.is_user_process,",
        "       RequestID       = isnull(R.request_id,0),",
        "       SelfID          = case when S.session_id=@@spid then 1 else 0 end",
        "from sys.dm_exec_sessions S",
        "left join sys.dm_exec_requests R on R.session_id=S.session_id",
        "left join sys.dm_exec_connections C on C.session_id=S.session_id",
        "where 1=1",
    };
    return lines;
}

std::string samplingQuery(const SamplingOptions& options) {
    std::vector<std::string> lines = samplingTemplate();
    for (int i : options.hiddenLines)
        lines[static_cast<std::size_t>(i)] = "--" + lines[static_cast<std::size_t>(i)];
    for (const auto& f : options.filters)
        lines.push_back(f);
    lines.push_back("order by " + std::to_string(options.orderBy) +
                    (options.descending ? " desc" : ""));
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

namespace {

std::string quoted(const std::string& s) {
    std::string out;
    for (char c : s)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out;
}

} // namespace

std::string databaseFilter(const std::string& name) {
    return "  and isnull(db_name(nullif(S.database_id,0)),'')='" + quoted(name) + "'";
}

std::string statusFilter(const std::string& quotedList) {
    return "  and isnull(R.status,S.status) in(" + quotedList + ")";
}

std::string loginFilter(const std::string& login) {
    return "  and S.login_name='" + quoted(login) + "'";
}

std::string userOnlyFilter() {
    return "  and S.is_user_process=1";
}

std::string blockingFilter() {
    return "  and (isnull(R.blocking_session_id,0)<>0 or case when exists(select * from "
           "sys.dm_exec_requests where blocking_session_id=S.session_id) then 1 else 0 end=1)";
}

std::string connectStatement() {
    return "select Name,@@SERVERNAME+' ('+suser_name()+')' as ConnectDescr,@@VERSION as Version "
           "from sys.databases order by Name";
}

std::string statementTextQuery(int spid, int requestId) {
    return "select Idx1 = isnull((R.statement_start_offset/2)+1,0),\r\n"
           "       Idx2 = isnull(((case R.statement_end_offset when -1 then datalength(T.text) "
           "else R.statement_end_offset END)/2) + 1,0),\r\n"
           "       Text = isnull(T.text,'')\r\n"
           "from sys.dm_exec_requests R\r\n"
           "cross apply sys.dm_exec_sql_text(R.sql_handle) T\r\n"
           "where R.session_id=" +
           std::to_string(spid) + "\r\n  and R.request_id=" + std::to_string(requestId);
}
