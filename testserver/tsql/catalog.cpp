#include "catalog.h"

#include <cctype>

namespace testserver {

namespace {

using T = SqlType;
constexpr bool N = true;   // nullable
constexpr bool NN = false; // not nullable

CatalogColumn c(const char* name, SqlType type, int length, bool nullable, const char* def = "") {
    return CatalogColumn{name, type, length, nullable, def};
}

// The SET options every session and request reports, in their documented order.
void addSetOptions(std::vector<CatalogColumn>& cols) {
    cols.push_back(c("text_size", T::Int, 0, NN, "2147483647"));
    cols.push_back(c("language", T::NVarChar, 128, N, "'us_english'"));
    cols.push_back(c("date_format", T::NVarChar, 3, N, "'mdy'"));
    cols.push_back(c("date_first", T::SmallInt, 0, NN, "7"));
    cols.push_back(c("quoted_identifier", T::Bit, 0, NN, "1"));
    cols.push_back(c("arithabort", T::Bit, 0, NN, "0"));
    cols.push_back(c("ansi_null_dflt_on", T::Bit, 0, NN, "1"));
    cols.push_back(c("ansi_defaults", T::Bit, 0, NN, "0"));
    cols.push_back(c("ansi_warnings", T::Bit, 0, NN, "1"));
    cols.push_back(c("ansi_padding", T::Bit, 0, NN, "1"));
    cols.push_back(c("ansi_nulls", T::Bit, 0, NN, "1"));
    cols.push_back(c("concat_null_yields_null", T::Bit, 0, NN, "1"));
    cols.push_back(c("transaction_isolation_level", T::SmallInt, 0, NN, "2"));
    cols.push_back(c("lock_timeout", T::Int, 0, NN, "-1"));
    cols.push_back(c("deadlock_priority", T::Int, 0, NN, "0"));
    cols.push_back(c("row_count", T::BigInt, 0, NN, "0"));
    cols.push_back(c("prev_error", T::Int, 0, NN, "0"));
}

CatalogObject makeSessions() {
    CatalogObject o{"sys", "dm_exec_sessions", "sessions", {}, {}};
    auto& v = o.columns;
    v = {c("session_id", T::SmallInt, 0, NN), c("login_time", T::DateTime, 0, NN),
         c("host_name", T::NVarChar, 128, N), c("program_name", T::NVarChar, 128, N),
         c("host_process_id", T::Int, 0, N), c("client_version", T::Int, 0, N),
         c("client_interface_name", T::NVarChar, 32, N),
         c("security_id", T::VarBinary, 85, NN, "x'01'"), c("login_name", T::NVarChar, 128, NN),
         c("nt_domain", T::NVarChar, 128, N), c("nt_user_name", T::NVarChar, 128, N),
         c("status", T::NVarChar, 30, NN, "'sleeping'"), c("context_info", T::VarBinary, 128, N),
         c("cpu_time", T::Int, 0, NN, "0"), c("memory_usage", T::Int, 0, NN, "0"),
         c("total_scheduled_time", T::Int, 0, NN, "0"), c("total_elapsed_time", T::Int, 0, NN, "0"),
         c("endpoint_id", T::Int, 0, NN, "4"),
         // Both NULL for a session that has not run a request yet.
         c("last_request_start_time", T::DateTime, 0, N),
         c("last_request_end_time", T::DateTime, 0, N), c("reads", T::BigInt, 0, NN, "0"),
         c("writes", T::BigInt, 0, NN, "0"), c("logical_reads", T::BigInt, 0, NN, "0"),
         c("is_user_process", T::Bit, 0, NN, "1")};
    addSetOptions(v);
    v.push_back(c("original_security_id", T::VarBinary, 85, NN, "x'01'"));
    v.push_back(c("original_login_name", T::NVarChar, 128, NN));
    v.push_back(c("last_successful_logon", T::DateTime, 0, N));
    v.push_back(c("last_unsuccessful_logon", T::DateTime, 0, N));
    v.push_back(c("unsuccessful_logons", T::BigInt, 0, N));
    v.push_back(c("group_id", T::Int, 0, NN, "2"));
    v.push_back(c("database_id", T::SmallInt, 0, NN, "1"));
    v.push_back(c("authenticating_database_id", T::Int, 0, N, "1"));
    v.push_back(c("open_transaction_count", T::Int, 0, NN, "0"));
    return o;
}

CatalogObject makeRequests() {
    CatalogObject o{"sys", "dm_exec_requests", "requests", {}, {}};
    auto& v = o.columns;
    v = {c("session_id", T::SmallInt, 0, NN),
         c("request_id", T::Int, 0, NN, "0"),
         c("start_time", T::DateTime, 0, NN),
         c("status", T::NVarChar, 30, NN, "'running'"),
         c("command", T::NVarChar, 32, NN, "'SELECT'"),
         c("sql_handle", T::VarBinary, 64, N),
         c("statement_start_offset", T::Int, 0, N),
         c("statement_end_offset", T::Int, 0, N),
         c("plan_handle", T::VarBinary, 64, N),
         c("database_id", T::SmallInt, 0, NN, "1"),
         c("user_id", T::Int, 0, NN, "1"),
         c("connection_id", T::UniqueIdentifier, 0, N),
         c("blocking_session_id", T::SmallInt, 0, N, "0"),
         c("wait_type", T::NVarChar, 60, N),
         c("wait_time", T::Int, 0, NN, "0"),
         c("last_wait_type", T::NVarChar, 60, NN, "''"),
         c("wait_resource", T::NVarChar, 256, NN, "''"),
         c("open_transaction_count", T::Int, 0, NN, "0"),
         c("open_resultset_count", T::Int, 0, NN, "1"),
         c("transaction_id", T::BigInt, 0, NN, "0"),
         c("context_info", T::VarBinary, 128, N),
         c("percent_complete", T::Real, 0, NN, "0"),
         c("estimated_completion_time", T::BigInt, 0, NN, "0"),
         c("cpu_time", T::Int, 0, NN, "0"),
         c("total_elapsed_time", T::Int, 0, NN, "0"),
         c("scheduler_id", T::Int, 0, N, "0"),
         c("task_address", T::VarBinary, 8, N),
         c("reads", T::BigInt, 0, NN, "0"),
         c("writes", T::BigInt, 0, NN, "0"),
         c("logical_reads", T::BigInt, 0, NN, "0")};
    addSetOptions(v);
    v.push_back(c("nest_level", T::Int, 0, NN, "0"));
    v.push_back(c("granted_query_memory", T::Int, 0, NN, "0"));
    v.push_back(c("executing_managed_code", T::Bit, 0, NN, "0"));
    v.push_back(c("group_id", T::Int, 0, NN, "2"));
    v.push_back(c("query_hash", T::Binary, 8, N));
    v.push_back(c("query_plan_hash", T::Binary, 8, N));
    v.push_back(c("statement_sql_handle", T::VarBinary, 64, N));
    v.push_back(c("statement_context_id", T::BigInt, 0, N));
    v.push_back(c("dop", T::Int, 0, NN, "1"));
    v.push_back(c("parallel_worker_count", T::Int, 0, N, "0"));
    v.push_back(c("external_script_request_id", T::UniqueIdentifier, 0, N));
    v.push_back(c("is_resumable", T::Bit, 0, NN, "0"));
    v.push_back(c("page_resource", T::Binary, 8, N));
    return o;
}

CatalogObject makeConnections() {
    CatalogObject o{"sys", "dm_exec_connections", "connections", {}, {}};
    o.columns = {c("session_id", T::Int, 0, N),
                 c("most_recent_session_id", T::Int, 0, N),
                 c("connect_time", T::DateTime, 0, NN),
                 c("net_transport", T::NVarChar, 40, NN, "'TCP'"),
                 c("protocol_type", T::NVarChar, 40, N, "'TSQL'"),
                 c("protocol_version", T::Int, 0, N, "1946157060"),
                 c("endpoint_id", T::Int, 0, N, "4"),
                 c("encrypt_option", T::NVarChar, 40, NN, "'FALSE'"),
                 c("auth_scheme", T::NVarChar, 40, NN, "'SQL'"),
                 c("node_affinity", T::SmallInt, 0, NN, "0"),
                 c("num_reads", T::Int, 0, N, "0"),
                 c("num_writes", T::Int, 0, N, "0"),
                 c("last_read", T::DateTime, 0, N),
                 c("last_write", T::DateTime, 0, N),
                 c("net_packet_size", T::Int, 0, N, "4096"),
                 c("client_net_address", T::VarChar, 48, N),
                 c("client_tcp_port", T::Int, 0, N),
                 c("local_net_address", T::VarChar, 48, N),
                 c("local_tcp_port", T::Int, 0, N),
                 c("connection_id", T::UniqueIdentifier, 0, NN),
                 c("parent_connection_id", T::UniqueIdentifier, 0, N),
                 c("most_recent_sql_handle", T::VarBinary, 64, N)};
    return o;
}

CatalogObject makeDatabases() {
    CatalogObject o{"sys", "databases", "databases", {}, {}};
    o.columns = {
        c("name", T::NVarChar, 128, NN),
        c("database_id", T::Int, 0, NN),
        c("source_database_id", T::Int, 0, N),
        c("owner_sid", T::VarBinary, 85, N, "x'01'"),
        c("create_date", T::DateTime, 0, NN, "0"),
        c("compatibility_level", T::TinyInt, 0, NN, "150"),
        c("collation_name", T::NVarChar, 128, N, "'SQL_Latin1_General_CP1_CI_AS'"),
        c("user_access", T::TinyInt, 0, N, "0"),
        c("user_access_desc", T::NVarChar, 60, N, "'MULTI_USER'"),
        c("is_read_only", T::Bit, 0, N, "0"),
        c("is_auto_close_on", T::Bit, 0, NN, "0"),
        c("is_auto_shrink_on", T::Bit, 0, N, "0"),
        c("state", T::TinyInt, 0, N, "0"),
        c("state_desc", T::NVarChar, 60, N, "'ONLINE'"),
        c("is_in_standby", T::Bit, 0, N, "0"),
        c("is_cleanly_shutdown", T::Bit, 0, N, "0"),
        c("is_supplemental_logging_enabled", T::Bit, 0, N, "0"),
        c("snapshot_isolation_state", T::TinyInt, 0, N, "0"),
        c("snapshot_isolation_state_desc", T::NVarChar, 60, N, "'OFF'"),
        c("is_read_committed_snapshot_on", T::Bit, 0, N, "0"),
        c("recovery_model", T::TinyInt, 0, N, "3"),
        c("recovery_model_desc", T::NVarChar, 60, N, "'SIMPLE'"),
        c("page_verify_option", T::TinyInt, 0, N, "2"),
        c("page_verify_option_desc", T::NVarChar, 60, N, "'CHECKSUM'"),
        c("is_auto_create_stats_on", T::Bit, 0, N, "1"),
        c("is_auto_create_stats_incremental_on", T::Bit, 0, N, "0"),
        c("is_auto_update_stats_on", T::Bit, 0, N, "1"),
        c("is_auto_update_stats_async_on", T::Bit, 0, N, "0"),
        c("is_ansi_null_default_on", T::Bit, 0, N, "0"),
        c("is_ansi_nulls_on", T::Bit, 0, N, "0"),
        c("is_ansi_padding_on", T::Bit, 0, N, "0"),
        c("is_ansi_warnings_on", T::Bit, 0, N, "0"),
        c("is_arithabort_on", T::Bit, 0, N, "0"),
        c("is_concat_null_yields_null_on", T::Bit, 0, N, "0"),
        c("is_numeric_roundabort_on", T::Bit, 0, N, "0"),
        c("is_quoted_identifier_on", T::Bit, 0, N, "0"),
        c("is_recursive_triggers_on", T::Bit, 0, N, "0"),
        c("is_cursor_close_on_commit_on", T::Bit, 0, N, "0"),
        c("is_local_cursor_default", T::Bit, 0, N, "0"),
        c("is_fulltext_enabled", T::Bit, 0, N, "0"),
        c("is_trustworthy_on", T::Bit, 0, N, "0"),
        c("is_db_chaining_on", T::Bit, 0, N, "0"),
        c("is_parameterization_forced", T::Bit, 0, N, "0"),
        c("is_master_key_encrypted_by_server", T::Bit, 0, NN, "0"),
        c("is_query_store_on", T::Bit, 0, N, "0"),
        c("is_published", T::Bit, 0, NN, "0"),
        c("is_subscribed", T::Bit, 0, NN, "0"),
        c("is_merge_published", T::Bit, 0, NN, "0"),
        c("is_distributor", T::Bit, 0, NN, "0"),
        c("is_sync_with_backup", T::Bit, 0, NN, "0"),
        c("service_broker_guid", T::UniqueIdentifier, 0, NN,
          "'00000000-0000-0000-0000-000000000000'"),
        c("is_broker_enabled", T::Bit, 0, NN, "0"),
        c("log_reuse_wait", T::TinyInt, 0, N, "0"),
        c("log_reuse_wait_desc", T::NVarChar, 60, N, "'NOTHING'"),
        c("is_date_correlation_on", T::Bit, 0, NN, "0"),
        c("is_cdc_enabled", T::Bit, 0, NN, "0"),
        c("is_encrypted", T::Bit, 0, N, "0"),
        c("is_honor_broker_priority_on", T::Bit, 0, N, "0"),
        c("replica_id", T::UniqueIdentifier, 0, N),
        c("group_database_id", T::UniqueIdentifier, 0, N),
        c("resource_pool_id", T::Int, 0, N),
        c("default_language_lcid", T::SmallInt, 0, N),
        c("default_language_name", T::NVarChar, 128, N),
        c("default_fulltext_language_lcid", T::Int, 0, N),
        c("default_fulltext_language_name", T::NVarChar, 128, N),
        c("is_nested_triggers_on", T::Bit, 0, N),
        c("is_transform_noise_words_on", T::Bit, 0, N),
        c("two_digit_year_cutoff", T::SmallInt, 0, N),
        c("containment", T::TinyInt, 0, N, "0"),
        c("containment_desc", T::NVarChar, 60, N, "'NONE'"),
        c("target_recovery_time_in_seconds", T::Int, 0, N, "60"),
        c("delayed_durability", T::Int, 0, N, "0"),
        c("delayed_durability_desc", T::NVarChar, 60, N, "'DISABLED'"),
        c("is_memory_optimized_elevate_to_snapshot_on", T::Bit, 0, N, "0"),
        c("is_federation_member", T::Bit, 0, N, "0"),
        c("is_remote_data_archive_enabled", T::Bit, 0, N, "0"),
        c("is_mixed_page_allocation_on", T::Bit, 0, N, "0"),
        c("is_temporal_history_retention_enabled", T::Bit, 0, N, "1"),
        c("catalog_collation_type", T::Int, 0, NN, "0"),
        c("catalog_collation_type_desc", T::NVarChar, 60, N, "'DATABASE_DEFAULT'"),
        c("physical_database_name", T::NVarChar, 128, N),
        c("is_result_set_caching_on", T::Bit, 0, N, "0"),
        c("is_accelerated_database_recovery_on", T::Bit, 0, N, "0"),
        c("is_tempdb_spill_to_remote_store", T::Bit, 0, N, "0"),
        c("is_stale_page_detection_on", T::Bit, 0, N, "0"),
        c("is_memory_optimized_enabled", T::Bit, 0, N, "1"),
    };
    return o;
}

CatalogObject makeSqlText() {
    CatalogObject o{"sys", "dm_exec_sql_text", "sql_texts", {}, {{"handle", ""}}};
    o.columns = {c("dbid", T::SmallInt, 0, N), c("objectid", T::Int, 0, N),
                 c("number", T::SmallInt, 0, N), c("encrypted", T::Bit, 0, NN, "0"),
                 c("text", T::NVarChar, 0, N)};
    return o;
}

// The plan functions as SQL Server 2019 documents them. The compiled plan of a batch, as
// xml; the plan of one statement of it (chosen by its byte offsets), as text, so that a
// plan too deep for the xml type still comes; and the running request's plan with its
// counters so far, kept only while the request runs.
CatalogObject makeQueryPlan() {
    CatalogObject o{"sys", "dm_exec_query_plan", "query_plans", {}, {{"plan_handle", ""}}};
    o.columns = {c("dbid", T::SmallInt, 0, N), c("objectid", T::Int, 0, N),
                 c("number", T::SmallInt, 0, N), c("encrypted", T::Bit, 0, NN, "0"),
                 c("query_plan", T::Xml, 0, N)};
    return o;
}

CatalogObject makeTextQueryPlan() {
    CatalogObject o{
        "sys",
        "dm_exec_text_query_plan",
        "text_query_plans",
        {},
        {{"plan_handle", ""}, {"statement_start_offset", "0"}, {"statement_end_offset", "-1"}}};
    o.columns = {c("dbid", T::SmallInt, 0, N), c("objectid", T::Int, 0, N),
                 c("number", T::SmallInt, 0, N), c("encrypted", T::Bit, 0, NN, "0"),
                 c("query_plan", T::NVarChar, 0, N)};
    return o;
}

CatalogObject makeQueryStatisticsXml() {
    CatalogObject o{
        "sys", "dm_exec_query_statistics_xml", "query_statistics", {}, {{"session_id", ""}}};
    o.columns = {c("session_id", T::SmallInt, 0, NN), c("request_id", T::Int, 0, NN),
                 c("sql_handle", T::VarBinary, 64, N), c("plan_handle", T::VarBinary, 64, N),
                 c("query_plan", T::Xml, 0, N)};
    return o;
}

// The catalog views of a database that name what a lock is on, as far as SQL Server 2019
// documents them.
CatalogObject makeSchemas() {
    CatalogObject o{"sys", "schemas", "schemas", {}, {}};
    o.perDatabase = true;
    o.columns = {c("name", T::NVarChar, 128, NN), c("schema_id", T::Int, 0, NN),
                 c("principal_id", T::Int, 0, N, "1")};
    return o;
}

CatalogObject makeObjects() {
    CatalogObject o{"sys", "objects", "objects", {}, {}};
    o.perDatabase = true;
    o.columns = {c("name", T::NVarChar, 128, NN),
                 c("object_id", T::Int, 0, NN),
                 c("principal_id", T::Int, 0, N),
                 c("schema_id", T::Int, 0, NN, "1"),
                 c("parent_object_id", T::Int, 0, NN, "0"),
                 c("type", T::VarChar, 2, N, "'U '"),
                 c("type_desc", T::NVarChar, 60, N, "'USER_TABLE'"),
                 c("create_date", T::DateTime, 0, NN, "0"),
                 c("modify_date", T::DateTime, 0, NN, "0"),
                 c("is_ms_shipped", T::Bit, 0, NN, "0"),
                 c("is_published", T::Bit, 0, NN, "0"),
                 c("is_schema_published", T::Bit, 0, NN, "0")};
    return o;
}

CatalogObject makeIndexes() {
    CatalogObject o{"sys", "indexes", "indexes", {}, {}};
    o.perDatabase = true;
    o.columns = {c("object_id", T::Int, 0, NN),
                 c("name", T::NVarChar, 128, N),
                 c("index_id", T::Int, 0, NN),
                 c("type", T::TinyInt, 0, NN, "1"),
                 c("type_desc", T::NVarChar, 60, N, "'CLUSTERED'"),
                 c("is_unique", T::Bit, 0, N, "0"),
                 c("data_space_id", T::Int, 0, N, "1"),
                 c("ignore_dup_key", T::Bit, 0, N, "0"),
                 c("is_primary_key", T::Bit, 0, N, "0"),
                 c("is_unique_constraint", T::Bit, 0, N, "0"),
                 c("fill_factor", T::TinyInt, 0, NN, "0"),
                 c("is_padded", T::Bit, 0, N, "0"),
                 c("is_disabled", T::Bit, 0, N, "0"),
                 c("is_hypothetical", T::Bit, 0, N, "0"),
                 c("is_ignored_in_optimization", T::Bit, 0, N, "0"),
                 c("allow_row_locks", T::Bit, 0, N, "1"),
                 c("allow_page_locks", T::Bit, 0, N, "1"),
                 c("has_filter", T::Bit, 0, N, "0"),
                 c("filter_definition", T::NVarChar, 0, N),
                 c("compression_delay", T::Int, 0, N),
                 c("suppress_dup_key_messages", T::Bit, 0, N, "0"),
                 c("auto_created", T::Bit, 0, N, "0"),
                 c("optimize_for_sequential_key", T::Bit, 0, N, "0")};
    return o;
}

CatalogObject makePartitions() {
    CatalogObject o{"sys", "partitions", "partitions", {}, {}};
    o.perDatabase = true;
    o.columns = {c("partition_id", T::BigInt, 0, NN),
                 c("object_id", T::Int, 0, NN),
                 c("index_id", T::Int, 0, NN),
                 c("partition_number", T::Int, 0, NN, "1"),
                 c("hobt_id", T::BigInt, 0, NN),
                 c("rows", T::BigInt, 0, N, "0"),
                 c("filestream_filegroup_id", T::SmallInt, 0, NN, "0"),
                 c("data_compression", T::TinyInt, 0, NN, "0"),
                 c("data_compression_desc", T::NVarChar, 60, N, "'NONE'"),
                 c("xml_compression", T::Bit, 0, N, "0"),
                 c("xml_compression_desc", T::VarChar, 3, N, "'OFF'")};
    return o;
}

} // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool CatalogObject::isHiddenArgument(std::string_view column) const {
    for (const auto& a : arguments)
        if (equalsNoCase(a.column, column))
            return columnIndex(column) < 0;
    return false;
}

int CatalogObject::columnIndex(std::string_view column) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalsNoCase(columns[i].name, column))
            return static_cast<int>(i);
    return -1;
}

Catalog::Catalog()
    : objects_{makeSessions(),   makeRequests(),  makeConnections(),   makeDatabases(),
               makeSqlText(),    makeSchemas(),   makeObjects(),       makeIndexes(),
               makePartitions(), makeQueryPlan(), makeTextQueryPlan(), makeQueryStatisticsXml()} {}

bool Catalog::needsServerState(const CatalogObject& object) const {
    return &object == &connections() || &object == &queryPlan() || &object == &textQueryPlan() ||
           &object == &queryStatisticsXml();
}

const CatalogObject* Catalog::find(std::string_view schema, std::string_view name) const {
    for (const auto& o : objects_)
        if (equalsNoCase(o.schema, schema) && equalsNoCase(o.name, name))
            return &o;
    return nullptr;
}

} // namespace testserver
