#include "instance.h"

#include "batch_runner.h"
#include "catalog.h"
#include "local_clock.h"
#include "model.h"
#include "seed.h"
#include "utf.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <sqlite3.h>
#include <stdexcept>

namespace testserver {

namespace {

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

Value opt(const std::optional<std::string>& v) {
    return v ? Value(*v) : Value(std::monostate{});
}

Value opt(const std::optional<double>& v) {
    return v ? Value(*v) : Value(std::monostate{});
}

Value opt(const std::optional<int>& v) {
    return v ? Value(std::int64_t{*v}) : Value(std::monostate{});
}

Value num(std::int64_t v) {
    return Value(v);
}

void append(ColumnValues& values, const ColumnOverrides& overrides) {
    for (const auto& [name, value] : overrides)
        values.emplace_back(name, value);
}

// sqlite: ts_datalength(x) - the bytes SQL Server stores for an nvarchar value.
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
        const int n = sqlite3_value_bytes(argv[0]);
        sqlite3_result_int64(
            ctx, 2 * static_cast<sqlite3_int64>(utf::utf16Length(std::string_view(text, n))));
    }
    }
}

} // namespace

struct Instance::Impl {
    mutable std::mutex mutex;
    Catalog catalog;
    Model model{catalog};
    std::map<std::string, std::pair<std::string, std::string>> logins; // lower name -> name, pwd
    std::mutex handlerMutex;
    std::function<void(int)> killHandler;
    std::optional<std::string> serverName = "DERVEL-SQL";
    std::string version = kDefaultVersion;
    std::uint32_t versionNumber = kDefaultVersionNumber;
    std::function<double()> clock = localNow;
    int nextSpid = 51;
    std::uint64_t connectionSerial = 0;
    std::set<int> tdsSessions;
    std::set<int> nocount;
    std::map<int, std::string> activeBatches; // spid -> batch text

    double now() const { return clock(); }

    int allocateSpid() {
        // Ids go round rather than back to the lowest free one, so an id that just went
        // does not come back while its old connection is still closing.
        for (int tries = 0; tries < 32767; ++tries) {
            const int id = nextSpid;
            nextSpid = nextSpid >= 32767 ? 51 : nextSpid + 1;
            if (!model.sessionExists(id))
                return id;
        }
        throw std::runtime_error("no free session id");
    }

    std::string newConnectionId() {
        const std::uint64_t n = ++connectionSerial;
        char buf[40];
        std::snprintf(
            buf, sizeof buf, "D3E0%04X-%04X-4%03X-8%03X-%012llX",
            static_cast<unsigned>((n >> 48) & 0xFFFF), static_cast<unsigned>((n >> 32) & 0xFFFF),
            static_cast<unsigned>((n >> 20) & 0xFFF), static_cast<unsigned>((n >> 8) & 0xFFF),
            static_cast<unsigned long long>(n * 0x9E3779B1ULL & 0xFFFFFFFFFFFFULL));
        return buf;
    }

    int insertSession(const SessionSpec& spec) {
        int id = spec.sessionId;
        if (id == 0)
            id = allocateSpid();
        if (id < 1 || id > 32767)
            throw std::invalid_argument("session id out of range: " + std::to_string(id));
        if (model.sessionExists(id))
            throw std::invalid_argument("session id in use: " + std::to_string(id));
        const double loginTime = spec.loginTime.value_or(now());
        ColumnValues v = {{"session_id", num(id)},
                          {"login_time", loginTime},
                          {"host_name", opt(spec.hostName)},
                          {"program_name", opt(spec.programName)},
                          {"host_process_id", opt(spec.hostProcessId)},
                          {"client_version", spec.isUserProcess ? Value(num(7)) : Value()},
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
        model.insert(catalog.sessions(), v);
        if (spec.isUserProcess && spec.withConnection) {
            const ConnectionSpec& c = spec.connection;
            ColumnValues cv = {{"session_id", num(id)},
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
                               {"connection_id", newConnectionId()}};
            append(cv, c.overrides);
            model.insert(catalog.connections(), cv);
        }
        if (spec.inputBuffer)
            model.setInputBuffer(id, InputBuffer{"Language Event", 0, *spec.inputBuffer});
        return id;
    }

    void insertRequest(const RequestSpec& spec) {
        const auto sessionDb = model.sessionDatabaseId(spec.sessionId);
        if (!sessionDb)
            throw std::invalid_argument("no session " + std::to_string(spec.sessionId));
        if (model.requestExists(spec.sessionId, spec.requestId))
            throw std::invalid_argument("request in use: " + std::to_string(spec.requestId));
        Value handle, plan, start, end;
        if (spec.sqlText) {
            Bytes h = model.storeSqlText(*spec.sqlText);
            handle = h;
            h[0] = 0x06;
            plan = h;
            start = num(spec.statementStartOffset);
            end = num(spec.statementEndOffset);
        }
        const auto connection = model.scalar(
            "SELECT connection_id FROM connections WHERE session_id = ?", {num(spec.sessionId)});
        ColumnValues v = {{"session_id", num(spec.sessionId)},
                          {"request_id", num(spec.requestId)},
                          {"start_time", spec.startTime.value_or(now())},
                          {"status", spec.status},
                          {"command", spec.command},
                          {"sql_handle", handle},
                          {"statement_start_offset", start},
                          {"statement_end_offset", end},
                          {"plan_handle", plan},
                          {"database_id", num(spec.databaseId.value_or(*sessionDb))},
                          {"connection_id", connection.value_or(Value())},
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
        model.insert(catalog.requests(), v);
    }

    template <typename F> void transaction(F body) {
        model.db().exec("BEGIN");
        try {
            body();
        } catch (...) {
            model.db().exec("ROLLBACK");
            throw;
        }
        model.db().exec("COMMIT");
    }

    void removeSession(int spid, std::vector<int>& ended) {
        if (!model.sessionExists(spid))
            return;
        model.deleteSession(spid);
        activeBatches.erase(spid);
        nocount.erase(spid);
        ended.push_back(spid);
    }

    void beginBatchLocked(int spid, const std::string& text) {
        if (activeBatches.count(spid) || !model.sessionExists(spid))
            return;
        activeBatches[spid] = text;
        const double t = now();
        Bytes handle = model.storeSqlText(text);
        model.setInputBuffer(spid, InputBuffer{"Language Event", 0, text});
        Bytes plan = handle;
        plan[0] = 0x06;
        model.deleteRequest(spid, 0);
        auto& st = model.db().statement(
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
        st.bind(1, t);
        st.bind(2, handle);
        st.bind(3, plan);
        st.bindInt(4, spid);
        st.run();
        model.update(catalog.sessions(),
                     {{"status", std::string("running")}, {"last_request_start_time", t}},
                     "session_id = ?", {num(spid)});
    }

    void endBatchLocked(int spid, bool completed) {
        const auto it = activeBatches.find(spid);
        if (it == activeBatches.end())
            return;
        const Bytes handle = Model::handleFor(it->second);
        activeBatches.erase(it);
        if (!model.sessionExists(spid))
            return;
        model.deleteRequest(spid, 0);
        const double t = now();
        ColumnValues session = {{"status", std::string("sleeping")}};
        if (completed)
            session.emplace_back("last_request_end_time", t);
        model.update(catalog.sessions(), session, "session_id = ?", {num(spid)});
        auto& st = model.db().statement(
            "UPDATE connections SET num_reads = num_reads + 1, num_writes = num_writes + 1, "
            "last_read = ?, last_write = ?, most_recent_sql_handle = ? WHERE session_id = ?");
        st.bind(1, t);
        st.bind(2, t);
        st.bind(3, handle);
        st.bindInt(4, spid);
        st.run();
    }

    SessionContext contextFor(int spid) {
        SessionContext c;
        c.spid = spid;
        c.serverName = serverName;
        c.version = version;
        c.now = now();
        c.nocount = nocount.count(spid) > 0;
        auto& st = model.db().statement(
            "SELECT s.login_name, s.host_name, s.program_name, s.database_id, d.name "
            "FROM sessions s LEFT JOIN databases d ON d.database_id = s.database_id "
            "WHERE s.session_id = ?");
        st.bindInt(1, spid);
        if (st.step()) {
            c.login = st.textAt(0);
            c.host = st.textAt(1);
            c.program = st.textAt(2);
            c.databaseId = static_cast<int>(st.intAt(3));
            c.databaseName = st.textAt(4);
        }
        st.reset();
        return c;
    }

    void notifyEnded(const std::vector<int>& ended) {
        std::function<void(int)> handler;
        {
            std::lock_guard<std::mutex> lock(handlerMutex);
            handler = killHandler;
        }
        if (handler)
            for (int spid : ended)
                handler(spid);
    }
};

Instance::Instance() : d(std::make_unique<Impl>()) {
    if (sqlite3_create_function_v2(d->model.db().handle(), "ts_datalength", 1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, datalengthFunction,
                                   nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot register ts_datalength");
    addLogin("sa", "Dervel-2026");
    seedInstance(*this, d->now());
}

Instance::~Instance() = default;

Message Instance::loginFailed(const std::string& user) {
    Message m;
    m.number = 18456;
    m.severity = 14;
    m.state = 1;
    m.text = "Login failed for user '" + user + "'.";
    return m;
}

LoginResult Instance::login(const LoginInfo& info) {
    std::lock_guard<std::mutex> lock(d->mutex);
    LoginResult result;
    const auto it = d->logins.find(lower(info.user));
    if (it == d->logins.end() || it->second.second != info.password) {
        result.error = loginFailed(info.user);
        return result;
    }
    const std::string wanted = info.database.empty() ? std::string("master") : info.database;
    const auto dbId = d->model.databaseId(wanted);
    if (!dbId) {
        Message cause;
        cause.number = 4060;
        cause.severity = 11;
        cause.text =
            "Cannot open database \"" + wanted + "\" requested by the login. The login failed.";
        result.cause = cause;
        result.error = loginFailed(info.user);
        return result;
    }
    SessionSpec spec;
    spec.loginName = it->second.first;
    spec.hostName = info.host;
    spec.programName = info.program;
    spec.clientInterfaceName = info.clientInterface;
    spec.hostProcessId = info.hostProcessId;
    spec.memoryUsage = 2;
    spec.databaseId = *dbId;
    spec.connection.clientNetAddress = info.clientAddress;
    spec.connection.clientTcpPort = info.clientPort;
    spec.connection.localNetAddress = info.serverAddress;
    spec.connection.localTcpPort = info.serverPort;
    spec.connection.netPacketSize = info.packetSize;
    spec.connection.overrides["protocol_version"] = std::int64_t{info.tdsVersion};
    result.spid = d->insertSession(spec);
    d->tdsSessions.insert(result.spid);
    result.ok = true;
    result.database = d->model.databaseName(*dbId).value_or(wanted);
    return result;
}

void Instance::logout(int spid) {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ended;
    d->removeSession(spid, ended);
    d->tdsSessions.erase(spid);
}

void Instance::beginBatch(int spid, const std::string& batchUtf8) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->beginBatchLocked(spid, batchUtf8);
}

void Instance::cancelBatch(int spid) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->endBatchLocked(spid, false);
}

BatchOutcome Instance::execute(int spid, const std::string& batchUtf8) {
    std::vector<int> ended;
    BatchOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->beginBatchLocked(spid, batchUtf8);
        SessionContext context = d->contextFor(spid);
        const bool tracked = d->activeBatches.count(spid) > 0;
        BatchHooks hooks;
        hooks.statementStarting = [&](const Statement& s) {
            if (!tracked)
                return;
            const char* command = s.kind == StatementKind::Kill              ? "KILL"
                                  : s.kind == StatementKind::DbccInputBuffer ? "DBCC"
                                  : s.kind == StatementKind::DbccOther       ? "DBCC"
                                  : s.kind == StatementKind::Select          ? "SELECT"
                                                                             : "EXECUTE";
            // SQL Server's offsets are bytes into the UTF-16 text; the last statement
            // runs to the end (-1).
            const auto start = static_cast<std::int64_t>(2 * s.begin16);
            const auto end = s.isLast ? std::int64_t{-1} : static_cast<std::int64_t>(2 * s.end16);
            d->model.update(d->catalog.requests(),
                            {{"statement_start_offset", num(start)},
                             {"statement_end_offset", num(end)},
                             {"command", std::string(command)}},
                            "session_id = ? AND request_id = 0", {num(spid)});
        };
        hooks.endSession = [&](int victim) {
            d->removeSession(victim, ended);
            d->tdsSessions.erase(victim);
        };
        BatchRunner runner(d->model, context, hooks);
        outcome = runner.run(batchUtf8);
        if (context.nocount)
            d->nocount.insert(spid);
        else
            d->nocount.erase(spid);
        d->endBatchLocked(spid, true);
    }
    d->notifyEnded(ended);
    return outcome;
}

void Instance::setKillHandler(std::function<void(int spid)> handler) {
    std::lock_guard<std::mutex> lock(d->handlerMutex);
    d->killHandler = std::move(handler);
}

std::string Instance::serverName() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->serverName.value_or("");
}

std::string Instance::version() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->version;
}

std::uint32_t Instance::versionNumber() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->versionNumber;
}

void Instance::addLogin(const std::string& name, const std::string& password) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->logins[lower(name)] = {name, password};
}

int Instance::addDatabase(const DatabaseSpec& spec) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const int id = spec.databaseId ? spec.databaseId : d->model.nextDatabaseId();
    ColumnValues v = {{"name", spec.name},
                      {"database_id", num(id)},
                      {"create_date", d->now()},
                      {"physical_database_name", spec.name}};
    append(v, spec.overrides);
    try {
        d->model.insert(d->catalog.databases(), v);
    } catch (const std::runtime_error& e) {
        throw std::invalid_argument(std::string("database rejected: ") + e.what());
    }
    return id;
}

int Instance::addSession(const SessionSpec& spec) {
    std::lock_guard<std::mutex> lock(d->mutex);
    int id = 0;
    d->transaction([&] { id = d->insertSession(spec); });
    return id;
}

std::vector<int> Instance::addSessions(const std::vector<SessionSpec>& specs) {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ids;
    ids.reserve(specs.size());
    d->transaction([&] {
        for (const auto& s : specs)
            ids.push_back(d->insertSession(s));
    });
    return ids;
}

void Instance::addRequest(const RequestSpec& spec) {
    addRequests({spec});
}

void Instance::addRequests(const std::vector<RequestSpec>& specs) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->transaction([&] {
        for (const auto& s : specs)
            d->insertRequest(s);
    });
}

void Instance::updateSession(int spid, const ColumnOverrides& columns) {
    std::lock_guard<std::mutex> lock(d->mutex);
    ColumnValues v(columns.begin(), columns.end());
    d->model.update(d->catalog.sessions(), v, "session_id = ?", {num(spid)});
}

void Instance::updateRequest(int spid, int requestId, const ColumnOverrides& columns) {
    std::lock_guard<std::mutex> lock(d->mutex);
    ColumnValues v(columns.begin(), columns.end());
    d->model.update(d->catalog.requests(), v, "session_id = ? AND request_id = ?",
                    {num(spid), num(requestId)});
}

void Instance::updateConnection(int spid, const ColumnOverrides& columns) {
    std::lock_guard<std::mutex> lock(d->mutex);
    ColumnValues v(columns.begin(), columns.end());
    d->model.update(d->catalog.connections(), v, "session_id = ?", {num(spid)});
}

void Instance::removeRequest(int spid, int requestId) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->model.deleteRequest(spid, requestId);
}

void Instance::setInputBuffer(int spid, const std::string& text, const std::string& eventType,
                              int parameters) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->model.setInputBuffer(spid, InputBuffer{eventType, parameters, text});
}

bool Instance::endSession(int spid) {
    std::vector<int> ended;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->removeSession(spid, ended);
        d->tdsSessions.erase(spid);
    }
    d->notifyEnded(ended);
    return !ended.empty();
}

bool Instance::hasSession(int spid) const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->model.sessionExists(spid);
}

std::vector<int> Instance::sessionIds() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ids;
    auto& st = d->model.db().statement("SELECT session_id FROM sessions ORDER BY session_id");
    while (st.step())
        ids.push_back(static_cast<int>(st.intAt(0)));
    st.reset();
    return ids;
}

void Instance::removeScriptedSessions() {
    std::lock_guard<std::mutex> lock(d->mutex);
    const std::vector<int> ids = [&] {
        std::vector<int> out;
        auto& st =
            d->model.db().statement("SELECT session_id FROM sessions WHERE is_user_process = 1");
        while (st.step())
            out.push_back(static_cast<int>(st.intAt(0)));
        st.reset();
        return out;
    }();
    d->transaction([&] {
        for (int id : ids)
            if (!d->tdsSessions.count(id))
                d->model.deleteSession(id);
    });
}

void Instance::setServerName(std::optional<std::string> name) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->serverName = std::move(name);
}

void Instance::setVersion(const std::string& text, std::uint32_t number) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->version = text;
    d->versionNumber = number;
}

void Instance::setClock(std::function<double()> now) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->clock = now ? std::move(now) : std::function<double()>(localNow);
}

double Instance::now() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->now();
}

} // namespace testserver
