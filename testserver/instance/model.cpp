#include "model.h"

#include "type_rules.h"
#include "utf.h"

#include <sqlite3.h>
#include <stdexcept>

namespace testserver {

namespace {

const char* affinity(SqlType type) {
    switch (type) {
    case SqlType::Float:
    case SqlType::Real:
    case SqlType::DateTime:
        return "REAL";
    case SqlType::NVarChar:
    case SqlType::VarChar:
    case SqlType::UniqueIdentifier:
        return "TEXT COLLATE NOCASE";
    case SqlType::Xml:
        return "TEXT";
    case SqlType::VarBinary:
    case SqlType::Binary:
        return "BLOB";
    default:
        return "INTEGER";
    }
}

// ts_datalength(x): the bytes SQL Server stores for an nvarchar value (UTF-16), or a
// blob's length.
void datalengthFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(ctx);
        return;
    case SQLITE_BLOB:
        sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0]));
        return;
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        const auto n = static_cast<std::size_t>(sqlite3_value_bytes(argv[0]));
        sqlite3_result_int64(
            ctx, 2 * static_cast<sqlite3_int64>(utf::utf16Length(std::string_view(text, n))));
    }
    }
}

// ts_error(n): fails the statement with a marker the batch runner turns into SQL Server's
// error n (8134, divide by zero).
void errorFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::string marker = "ts_error:" + std::to_string(sqlite3_value_int(argv[0]));
    sqlite3_result_error(ctx, marker.c_str(), -1);
}

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

std::string tableSql(const CatalogObject& o, const std::string& keyColumn) {
    std::string sql = "CREATE TABLE " + quoted(o.table) + " (";
    // A function's hidden arguments are its rows' key: a handle, and the offsets that
    // pick a statement of its batch.
    std::string key;
    for (const auto& a : o.arguments)
        if (o.isHiddenArgument(a.column)) {
            const bool handle = a.column.ends_with("handle");
            sql += quoted(a.column) + (handle ? " BLOB NOT NULL, " : " INTEGER NOT NULL, ");
            key += (key.empty() ? "" : ", ") + quoted(a.column);
        }
    if (o.perDatabase)
        sql += "\"db\" INTEGER NOT NULL, ";
    for (std::size_t i = 0; i < o.columns.size(); ++i) {
        const auto& col = o.columns[i];
        if (i)
            sql += ", ";
        sql += quoted(col.name) + " " + affinity(col.type);
        if (col.name == keyColumn)
            sql += " PRIMARY KEY";
        if (!col.nullable)
            sql += " NOT NULL";
        if (!col.defaultSql.empty())
            sql += " DEFAULT " + col.defaultSql;
    }
    if (!key.empty())
        sql += ", PRIMARY KEY (" + key + ")";
    return sql + ")";
}

} // namespace

Model::Model(const Catalog& catalog) : catalog_(catalog) {
    if (sqlite3_create_function_v2(db_.handle(), "ts_datalength", 1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, datalengthFunction,
                                   nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot register ts_datalength");
    if (sqlite3_create_function_v2(db_.handle(), "ts_error", 1, SQLITE_UTF8, nullptr, errorFunction,
                                   nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot register ts_error");
    createSchema();
}

void Model::createSchema() {
    // INTEGER PRIMARY KEY makes the id the rowid, so unordered scans come out in id
    // order as SQL Server's views usually do.
    db_.exec(tableSql(catalog_.sessions(), "session_id"));
    db_.exec(tableSql(catalog_.requests(), ""));
    db_.exec(tableSql(catalog_.connections(), ""));
    db_.exec(tableSql(catalog_.databases(), "database_id"));
    db_.exec(tableSql(catalog_.sqlText(), ""));
    for (const CatalogObject* o :
         {&catalog_.schemas(), &catalog_.sysObjects(), &catalog_.indexes(), &catalog_.partitions()})
        db_.exec(tableSql(*o, ""));
    db_.exec("CREATE INDEX partitions_hobt ON partitions(db, hobt_id)");
    // What the sampling query's joins and its `exists` probe look up.
    db_.exec("CREATE UNIQUE INDEX requests_key ON requests(session_id, request_id)");
    db_.exec("CREATE INDEX requests_blocking ON requests(blocking_session_id)");
    db_.exec("CREATE INDEX connections_session ON connections(session_id)");
    db_.exec("CREATE UNIQUE INDEX databases_name ON databases(name)");
    db_.exec("CREATE TABLE input_buffers (session_id INTEGER PRIMARY KEY, event_type TEXT, "
             "parameters INTEGER, event_info TEXT)");
    db_.exec(tableSql(catalog_.queryPlan(), ""));
    db_.exec(tableSql(catalog_.textQueryPlan(), ""));
    // A running request's plan with its counters so far lives as long as the request: the
    // function sees it only through a request that is there.
    db_.exec("CREATE TABLE live_plans (session_id INTEGER NOT NULL, request_id INTEGER NOT "
             "NULL, query_plan TEXT, PRIMARY KEY (session_id, request_id))");
    db_.exec("CREATE VIEW query_statistics AS SELECT r.session_id, r.request_id, r.sql_handle, "
             "r.plan_handle, l.query_plan FROM requests r JOIN live_plans l ON l.session_id = "
             "r.session_id AND l.request_id = r.request_id");
}

void Model::insert(const CatalogObject& object, const ColumnValues& values) {
    std::vector<std::string> names;
    std::vector<const Value*> args;
    for (const auto& [name, value] : values) {
        const int index = object.columnIndex(name);
        const bool argument = object.isHiddenArgument(name);
        const bool database = object.perDatabase && name == "db";
        if (index < 0 && !argument && !database)
            throw std::invalid_argument("no column " + name + " in " + object.name);
        const std::string canonical = argument   ? name
                                      : database ? std::string("db")
                                                 : object.columns[index].name;
        bool replaced = false;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == canonical) {
                args[i] = &value;
                replaced = true;
            }
        if (!replaced) {
            names.push_back(canonical);
            args.push_back(&value);
        }
    }
    std::string sql = "INSERT INTO " + quoted(object.table) + " (";
    std::string marks;
    for (std::size_t i = 0; i < names.size(); ++i) {
        sql += (i ? ", " : "") + quoted(names[i]);
        marks += i ? ", ?" : "?";
    }
    sql += ") VALUES (" + marks + ")";
    auto& st = db_.statement(sql);
    for (std::size_t i = 0; i < args.size(); ++i)
        st.bind(static_cast<int>(i + 1), *args[i]);
    st.run();
}

void Model::update(const CatalogObject& object, const ColumnValues& values,
                   const std::string& whereSql, const std::vector<Value>& whereArgs) {
    if (values.empty())
        return;
    std::string sql = "UPDATE " + quoted(object.table) + " SET ";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int index = object.columnIndex(values[i].first);
        if (index < 0)
            throw std::invalid_argument("no column " + values[i].first + " in " + object.name);
        sql += (i ? ", " : "") + quoted(object.columns[index].name) + " = ?";
    }
    sql += " WHERE " + whereSql;
    auto& st = db_.statement(sql);
    int n = 1;
    for (const auto& v : values)
        st.bind(n++, v.second);
    for (const auto& v : whereArgs)
        st.bind(n++, v);
    st.run();
}

std::optional<Value> Model::scalar(const std::string& sql, const std::vector<Value>& args) {
    auto& st = db_.statement(sql);
    for (std::size_t i = 0; i < args.size(); ++i)
        st.bind(static_cast<int>(i + 1), args[i]);
    std::optional<Value> result;
    if (st.step())
        result = st.valueAt(0);
    st.reset();
    return result;
}

namespace {

std::optional<std::int64_t> asInt(const std::optional<Value>& v) {
    if (!v)
        return std::nullopt;
    if (const auto* i = std::get_if<std::int64_t>(&*v))
        return *i;
    return std::nullopt;
}

std::optional<std::string> asText(const std::optional<Value>& v) {
    if (!v)
        return std::nullopt;
    if (const auto* s = std::get_if<std::string>(&*v))
        return *s;
    return std::nullopt;
}

} // namespace

bool Model::sessionExists(int spid) {
    return scalar("SELECT 1 FROM sessions WHERE session_id = ?", {std::int64_t{spid}}).has_value();
}

std::optional<bool> Model::isUserProcess(int spid) {
    const auto v = asInt(
        scalar("SELECT is_user_process FROM sessions WHERE session_id = ?", {std::int64_t{spid}}));
    if (!v)
        return std::nullopt;
    return *v != 0;
}

std::optional<int> Model::sessionDatabaseId(int spid) {
    const auto v = asInt(
        scalar("SELECT database_id FROM sessions WHERE session_id = ?", {std::int64_t{spid}}));
    if (!v)
        return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<std::string> Model::sessionLogin(int spid) {
    return asText(
        scalar("SELECT login_name FROM sessions WHERE session_id = ?", {std::int64_t{spid}}));
}

bool Model::requestExists(int spid, int requestId) {
    return scalar("SELECT 1 FROM requests WHERE session_id = ? AND request_id = ?",
                  {std::int64_t{spid}, std::int64_t{requestId}})
        .has_value();
}

void Model::deleteSession(int spid) {
    for (const char* sql :
         {"DELETE FROM sessions WHERE session_id = ?", "DELETE FROM requests WHERE session_id = ?",
          "DELETE FROM connections WHERE session_id = ?",
          "DELETE FROM input_buffers WHERE session_id = ?",
          "DELETE FROM live_plans WHERE session_id = ?"}) {
        auto& st = db_.statement(sql);
        st.bindInt(1, spid);
        st.run();
    }
}

void Model::deleteRequest(int spid, int requestId) {
    for (const char* sql : {"DELETE FROM requests WHERE session_id = ? AND request_id = ?",
                            "DELETE FROM live_plans WHERE session_id = ? AND request_id = ?"}) {
        auto& st = db_.statement(sql);
        st.bindInt(1, spid);
        st.bindInt(2, requestId);
        st.run();
    }
}

void Model::storePlan(const Bytes& planHandle, int databaseId, const std::string& batchPlan,
                      const std::vector<StatementPlan>& statements) {
    // Since SQL Server 2005 SP2 the xml function gives NULL for a plan too deep for the
    // xml type; the text function gives it whole.
    const Value compiled =
        types::xmlDepth(batchPlan) >= types::kMaxXmlDepth ? Value() : Value(batchPlan);
    auto& cached = db_.statement("INSERT OR REPLACE INTO query_plans (plan_handle, dbid, "
                                 "query_plan) VALUES (?, ?, ?)");
    cached.bind(1, planHandle);
    cached.bindInt(2, databaseId);
    cached.bind(3, compiled);
    cached.run();
    std::vector<StatementPlan> parts = statements;
    parts.push_back({0, -1, batchPlan});
    for (const auto& part : parts) {
        auto& st = db_.statement("INSERT OR REPLACE INTO text_query_plans (plan_handle, "
                                 "statement_start_offset, statement_end_offset, dbid, "
                                 "query_plan) VALUES (?, ?, ?, ?, ?)");
        st.bind(1, planHandle);
        st.bindInt(2, part.startOffset);
        st.bindInt(3, part.endOffset);
        st.bindInt(4, databaseId);
        st.bindText(5, part.xml);
        st.run();
    }
}

void Model::setLivePlan(int spid, int requestId, const std::optional<std::string>& xml) {
    auto& st =
        db_.statement(xml ? "INSERT OR REPLACE INTO live_plans (session_id, request_id, "
                            "query_plan) VALUES (?, ?, ?)"
                          : "DELETE FROM live_plans WHERE session_id = ? AND request_id = ?");
    st.bindInt(1, spid);
    st.bindInt(2, requestId);
    if (xml)
        st.bindText(3, *xml);
    st.run();
}

std::size_t Model::sessionCount() {
    return static_cast<std::size_t>(asInt(scalar("SELECT count(*) FROM sessions", {})).value_or(0));
}

Bytes Model::handleFor(const std::string& text) {
    // SQL Server's batch handles: 0x02000000, a 20-byte hash of the text, 20 zero bytes.
    Bytes handle = {0x02, 0x00, 0x00, 0x00};
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (int round = 0; round < 3; ++round) {
        for (unsigned char ch : text) {
            h ^= ch;
            h *= 0x100000001b3ULL;
        }
        h ^= static_cast<std::uint64_t>(round + 1) * 0x9E3779B97F4A7C15ULL;
        for (int k = 0; k < 8 && handle.size() < 24; ++k)
            handle.push_back(static_cast<std::uint8_t>(h >> (8 * k)));
    }
    handle.resize(44, 0);
    return handle;
}

Bytes Model::planHandleFor(const std::string& text) {
    Bytes handle = handleFor(text);
    handle[0] = 0x06;
    return handle;
}

Bytes Model::storeSqlText(const std::string& text) {
    Bytes handle = handleFor(text);
    auto& st = db_.statement("INSERT OR IGNORE INTO sql_texts (handle, text) VALUES (?, ?)");
    st.bind(1, handle);
    st.bindText(2, text);
    st.run();
    return handle;
}

void Model::setInputBuffer(int spid, const InputBuffer& buffer) {
    auto& st = db_.statement("INSERT OR REPLACE INTO input_buffers (session_id, event_type, "
                             "parameters, event_info) VALUES (?, ?, ?, ?)");
    st.bindInt(1, spid);
    st.bindText(2, buffer.eventType);
    st.bindInt(3, buffer.parameters);
    st.bindText(4, buffer.eventInfo);
    st.run();
}

std::optional<InputBuffer> Model::inputBuffer(int spid) {
    auto& st = db_.statement(
        "SELECT event_type, parameters, event_info FROM input_buffers WHERE session_id = ?");
    st.bindInt(1, spid);
    std::optional<InputBuffer> result;
    if (st.step())
        result = InputBuffer{st.textAt(0), static_cast<int>(st.intAt(1)), st.textAt(2)};
    st.reset();
    return result;
}

std::optional<int> Model::databaseId(const std::string& name) {
    const auto v = asInt(scalar("SELECT database_id FROM databases WHERE name = ?", {name}));
    if (!v)
        return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<std::string> Model::databaseName(int id) {
    return asText(scalar("SELECT name FROM databases WHERE database_id = ?", {std::int64_t{id}}));
}

int Model::nextDatabaseId() {
    return static_cast<int>(
        asInt(scalar("SELECT coalesce(max(database_id), 0) + 1 FROM databases", {})).value_or(1));
}

} // namespace testserver
