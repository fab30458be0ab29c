#include "session_activity.h"

namespace testserver {

SessionActivity::SessionActivity(Model& model) : model_(model) {}

void SessionActivity::begin(int spid, const std::string& batch, double now,
                            const std::optional<InputBuffer>& event) {
    if (active(spid) || !model_.sessionExists(spid))
        return;
    batches_[spid] = batch;
    const Bytes handle = model_.storeSqlText(batch);
    Bytes plan = handle;
    plan[0] = 0x06;
    model_.setInputBuffer(spid, event.value_or(InputBuffer{"Language Event", 0, batch}));
    model_.deleteRequest(spid, 0);
    // The request inherits the session's settings, as SQL Server's requests do.
    auto& st = model_.db().statement(
        "INSERT INTO requests (session_id, request_id, start_time, status, command, "
        "sql_handle, statement_start_offset, statement_end_offset, plan_handle, database_id, "
        "connection_id, transaction_isolation_level, lock_timeout, text_size, language, "
        "date_format, date_first, quoted_identifier, arithabort, ansi_null_dflt_on, "
        "ansi_defaults, ansi_warnings, ansi_padding, ansi_nulls, concat_null_yields_null, "
        "deadlock_priority, task_address) "
        "SELECT s.session_id, 0, ?, 'running', 'SELECT', ?, 0, -1, ?, s.database_id, "
        "(SELECT connection_id FROM connections c WHERE c.session_id = s.session_id), "
        "s.transaction_isolation_level, s.lock_timeout, s.text_size, s.language, "
        "s.date_format, s.date_first, s.quoted_identifier, s.arithabort, "
        "s.ansi_null_dflt_on, s.ansi_defaults, s.ansi_warnings, s.ansi_padding, "
        "s.ansi_nulls, s.concat_null_yields_null, s.deadlock_priority, "
        "x'0000010000000000' FROM sessions s WHERE s.session_id = ?");
    st.bind(1, now);
    st.bind(2, handle);
    st.bind(3, plan);
    st.bindInt(4, spid);
    st.run();
    model_.update(model_.catalog().sessions(),
                  {{"status", std::string("running")}, {"last_request_start_time", now}},
                  "session_id = ?", {std::int64_t{spid}});
}

void SessionActivity::statementStarting(int spid, const Statement& s) {
    if (!active(spid))
        return;
    const char* command =
        s.kind == StatementKind::Kill     ? "KILL"
        : s.kind == StatementKind::Select ? "SELECT"
        : (s.kind == StatementKind::DbccInputBuffer || s.kind == StatementKind::DbccOther)
            ? "DBCC"
            : "EXECUTE";
    // Byte offsets into the UTF-16 text; the last statement runs to the end (-1).
    const auto start = static_cast<std::int64_t>(2 * s.begin16);
    const auto end = s.isLast ? std::int64_t{-1} : static_cast<std::int64_t>(2 * s.end16);
    model_.update(model_.catalog().requests(),
                  {{"statement_start_offset", start},
                   {"statement_end_offset", end},
                   {"command", std::string(command)}},
                  "session_id = ? AND request_id = 0", {std::int64_t{spid}});
}

void SessionActivity::end(int spid, bool completed, double now) {
    const auto it = batches_.find(spid);
    if (it == batches_.end())
        return;
    const Bytes handle = Model::handleFor(it->second);
    batches_.erase(it);
    if (!model_.sessionExists(spid))
        return;
    model_.deleteRequest(spid, 0);
    ColumnValues session = {{"status", std::string("sleeping")}};
    if (completed)
        session.emplace_back("last_request_end_time", now);
    model_.update(model_.catalog().sessions(), session, "session_id = ?", {std::int64_t{spid}});
    auto& st = model_.db().statement(
        "UPDATE connections SET num_reads = num_reads + 1, num_writes = num_writes + 1, "
        "last_read = ?, last_write = ?, most_recent_sql_handle = ? WHERE session_id = ?");
    st.bind(1, now);
    st.bind(2, now);
    st.bind(3, handle);
    st.bindInt(4, spid);
    st.run();
}

} // namespace testserver
