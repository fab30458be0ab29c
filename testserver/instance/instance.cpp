#include "instance.h"

#include "batch_runner.h"
#include "catalog.h"
#include "local_clock.h"
#include "model.h"
#include "scripted_rows.h"
#include "seed.h"
#include "session_activity.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

namespace testserver {

namespace {

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

Value num(std::int64_t v) {
    return Value(v);
}

} // namespace

struct Instance::Impl {
    mutable std::mutex mutex;
    Catalog catalog;
    Model model{catalog};
    struct StoredLogin {
        std::string name;
        std::string password;
        bool windows = false;
        LoginRights rights;
    };
    std::map<std::string, StoredLogin> logins; // by lower-case name
    std::map<int, LoginRights> sessionRights;  // of the sessions that logged in
    bool azure = false;
    std::mutex handlerMutex;
    std::function<void(int)> killHandler;
    std::function<void(int, const std::string&, const BatchOutcome&)> batchObserver;
    std::function<void(const LoginInfo&)> loginObserver;
    std::optional<std::string> serverName = "DERVEL-SQL";
    std::string version = kDefaultVersion;
    std::uint32_t versionNumber = kDefaultVersionNumber;
    std::function<double()> clock = localNow;
    int nextSpid = 51;
    std::uint64_t connectionSerial = 0;
    std::set<int> tdsSessions;
    std::set<int> nocount;
    SessionActivity activity{model};

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

    int insertSession(const ScriptedSession& session) {
        int id = session.sessionId;
        if (id == 0)
            id = allocateSpid();
        if (id < 1 || id > 32767)
            throw std::invalid_argument("session id out of range: " + std::to_string(id));
        if (model.sessionExists(id))
            throw std::invalid_argument("session id in use: " + std::to_string(id));
        const double loginTime = session.loginTime.value_or(now());
        model.insert(catalog.sessions(), sessionRow(session, id, loginTime));
        if (session.isUserProcess && session.withConnection)
            model.insert(catalog.connections(),
                         connectionRow(session.connection, id, loginTime, newConnectionId()));
        if (session.inputBuffer)
            model.setInputBuffer(id, InputBuffer{"Language Event", 0, *session.inputBuffer});
        return id;
    }

    void insertRequest(const ScriptedRequest& request) {
        const auto sessionDb = model.sessionDatabaseId(request.sessionId);
        if (!sessionDb)
            throw std::invalid_argument("no session " + std::to_string(request.sessionId));
        if (model.requestExists(request.sessionId, request.requestId))
            throw std::invalid_argument("request in use: " + std::to_string(request.requestId));
        RequestLinks links;
        if (request.sqlText) {
            Bytes handle = model.storeSqlText(*request.sqlText);
            links.sqlHandle = handle;
            handle[0] = 0x06;
            links.planHandle = handle;
        }
        if (auto connection =
                model.scalar("SELECT connection_id FROM connections WHERE session_id = ?",
                             {num(request.sessionId)}))
            links.connectionId = std::move(*connection);
        links.databaseId = request.databaseId.value_or(*sessionDb);
        links.startTime = request.startTime.value_or(now());
        model.insert(catalog.requests(), requestRow(request, links));
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
        activity.forget(spid);
        nocount.erase(spid);
        sessionRights.erase(spid);
        ended.push_back(spid);
    }

    SessionContext contextFor(int spid) {
        SessionContext c;
        c.spid = spid;
        c.serverName = serverName;
        c.version = version;
        c.now = now();
        c.nocount = nocount.count(spid) > 0;
        c.azureDatabase = azure;
        if (const auto rights = sessionRights.find(spid); rights != sessionRights.end()) {
            c.viewServerState = rights->second.viewServerState;
            c.alterAnyConnection = rights->second.alterAnyConnection;
        }
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

    BatchOutcome run(int spid, const std::string& batch, const std::optional<InputBuffer>& event) {
        std::vector<int> ended;
        BatchOutcome outcome;
        {
            std::lock_guard<std::mutex> lock(mutex);
            activity.begin(spid, batch, now(), event);
            SessionContext context = contextFor(spid);
            BatchHooks hooks;
            hooks.statementStarting = [&](const Statement& s) {
                activity.statementStarting(spid, s);
            };
            hooks.endSession = [&](int victim) {
                removeSession(victim, ended);
                tdsSessions.erase(victim);
            };
            BatchRunner runner(model, context, hooks);
            outcome = runner.run(batch);
            if (context.nocount)
                nocount.insert(spid);
            else
                nocount.erase(spid);
            activity.end(spid, true, now());
        }
        notifyEnded(ended);
        return outcome;
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

void Instance::setLoginObserver(std::function<void(const LoginInfo& info)> observer) {
    std::lock_guard<std::mutex> lock(d->handlerMutex);
    d->loginObserver = std::move(observer);
}

bool Instance::speaksTds8() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->azure || (d->versionNumber >> 24) >= 16;
}

LoginResult Instance::login(const LoginInfo& info) {
    {
        std::function<void(const LoginInfo&)> observer;
        {
            std::lock_guard<std::mutex> lock(d->handlerMutex);
            observer = d->loginObserver;
        }
        if (observer)
            observer(info);
    }
    std::lock_guard<std::mutex> lock(d->mutex);
    LoginResult result;
    const std::string name = info.principal.value_or(info.user);
    const auto it = d->logins.find(lower(name));
    const bool refused = it == d->logins.end() ||
                         it->second.windows != info.principal.has_value() ||
                         (!info.principal && it->second.password != info.password);
    if (refused) {
        result.error = loginFailed(name);
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
        result.error = loginFailed(name);
        return result;
    }
    ScriptedSession session;
    session.loginName = it->second.name;
    if (info.principal) {
        session.ntUserName = name.substr(0, name.find('@'));
        session.ntDomain =
            name.find('@') == std::string::npos ? "" : name.substr(name.find('@') + 1);
        session.connection.authScheme = "KERBEROS";
    }
    session.hostName = info.host;
    session.programName = info.program;
    session.clientInterfaceName = info.clientInterface;
    session.hostProcessId = info.hostProcessId;
    session.memoryUsage = 2;
    session.databaseId = *dbId;
    session.connection.clientNetAddress = info.clientAddress;
    session.connection.clientTcpPort = info.clientPort;
    session.connection.localNetAddress = info.serverAddress;
    session.connection.localTcpPort = info.serverPort;
    session.connection.netPacketSize = info.packetSize;
    session.connection.encryptOption = info.encrypted ? "TRUE" : "FALSE";
    session.connection.overrides["protocol_version"] = std::int64_t{info.tdsVersion};
    result.spid = d->insertSession(session);
    d->tdsSessions.insert(result.spid);
    d->sessionRights[result.spid] = it->second.rights;
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
    d->activity.begin(spid, batchUtf8, d->now());
}

void Instance::cancelBatch(int spid) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->activity.end(spid, false, d->now());
}

BatchOutcome Instance::execute(int spid, const std::string& batchUtf8) {
    BatchOutcome out = d->run(spid, batchUtf8, std::nullopt);
    observe(spid, batchUtf8, out);
    return out;
}

void Instance::observe(int spid, const std::string& batchUtf8, const BatchOutcome& outcome) {
    std::function<void(int, const std::string&, const BatchOutcome&)> observer;
    {
        std::lock_guard<std::mutex> lock(d->handlerMutex);
        observer = d->batchObserver;
    }
    if (observer)
        observer(spid, batchUtf8, outcome);
}

void Instance::setBatchObserver(
    std::function<void(int spid, const std::string& batchUtf8, const BatchOutcome& outcome)>
        observer) {
    std::lock_guard<std::mutex> lock(d->handlerMutex);
    d->batchObserver = std::move(observer);
}

BatchOutcome Instance::executeRpc(int spid, const std::string& procedure, int parameters,
                                  const std::optional<std::string>& statementUtf8) {
    const InputBuffer event{"RPC Event", parameters, procedure};
    if (statementUtf8) {
        BatchOutcome out = d->run(spid, *statementUtf8, event);
        observe(spid, *statementUtf8, out);
        return out;
    }
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->model.sessionExists(spid)) {
        const double now = d->now();
        d->model.setInputBuffer(spid, event);
        d->model.update(d->catalog.sessions(),
                        {{"last_request_start_time", now}, {"last_request_end_time", now}},
                        "session_id = ?", {num(spid)});
    }
    return {};
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

void Instance::addLogin(const std::string& name, const std::string& password, LoginRights rights) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->logins[lower(name)] = {name, password, false, rights};
}

void Instance::addWindowsLogin(const std::string& principal, LoginRights rights) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->logins[lower(principal)] = {principal, {}, true, rights};
}

int Instance::addDatabase(const ScriptedDatabase& s) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const int id = s.databaseId ? s.databaseId : d->model.nextDatabaseId();
    try {
        d->model.insert(d->catalog.databases(), databaseRow(s, id, d->now()));
    } catch (const std::runtime_error& e) {
        throw std::invalid_argument(std::string("database rejected: ") + e.what());
    }
    return id;
}

int Instance::addSession(const ScriptedSession& s) {
    std::lock_guard<std::mutex> lock(d->mutex);
    int id = 0;
    d->transaction([&] { id = d->insertSession(s); });
    return id;
}

std::vector<int> Instance::addSessions(const std::vector<ScriptedSession>& items) {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ids;
    ids.reserve(items.size());
    d->transaction([&] {
        for (const auto& s : items)
            ids.push_back(d->insertSession(s));
    });
    return ids;
}

void Instance::addRequest(const ScriptedRequest& s) {
    addRequests({s});
}

void Instance::addRequests(const std::vector<ScriptedRequest>& items) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->transaction([&] {
        for (const auto& s : items)
            d->insertRequest(s);
    });
}

void Instance::addTable(const ScriptedTable& t) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto db = d->model.databaseId(t.database);
    if (!db)
        throw std::invalid_argument("no database " + t.database);
    d->transaction([&] {
        auto schemaId = d->model.scalar("SELECT schema_id FROM schemas WHERE db = ? AND name = ?",
                                        {num(*db), Value(t.schema)});
        if (!schemaId || std::holds_alternative<std::monostate>(*schemaId)) {
            // dbo is schema 1, as in every database; others follow.
            const auto last =
                d->model.scalar("SELECT max(schema_id) FROM schemas WHERE db = ?", {num(*db)});
            const std::int64_t next =
                t.schema == "dbo"
                    ? 1
                    : std::max<std::int64_t>(5, last && std::holds_alternative<std::int64_t>(*last)
                                                    ? std::get<std::int64_t>(*last) + 1
                                                    : 5);
            d->model.insert(
                d->catalog.schemas(),
                {{"db", num(*db)}, {"name", Value(t.schema)}, {"schema_id", num(next)}});
            schemaId = num(next);
        }
        d->model.insert(d->catalog.sysObjects(), {{"db", num(*db)},
                                                  {"name", Value(t.name)},
                                                  {"object_id", num(t.objectId)},
                                                  {"schema_id", *schemaId},
                                                  {"create_date", Value(d->now() - 200)},
                                                  {"modify_date", Value(d->now() - 20)}});
        for (const ScriptedIndex& i : t.indexes) {
            const bool heap = i.indexId == 0;
            d->model.insert(d->catalog.indexes(),
                            {{"db", num(*db)},
                             {"object_id", num(t.objectId)},
                             {"name", i.name ? Value(*i.name) : Value()},
                             {"index_id", num(i.indexId)},
                             {"type", num(heap             ? 0
                                          : i.indexId == 1 ? 1
                                                           : 2)},
                             {"type_desc", Value(std::string(heap             ? "HEAP"
                                                             : i.indexId == 1 ? "CLUSTERED"
                                                                              : "NONCLUSTERED"))},
                             {"is_unique", num(i.unique)},
                             {"is_primary_key", num(i.primaryKey)}});
            d->model.insert(d->catalog.partitions(), {{"db", num(*db)},
                                                      {"partition_id", num(i.hobtId)},
                                                      {"object_id", num(t.objectId)},
                                                      {"index_id", num(i.indexId)},
                                                      {"hobt_id", num(i.hobtId)},
                                                      {"rows", num(i.rows)}});
        }
    });
}

std::vector<Instance::LockTarget> Instance::lockTargets(int databaseId) const {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<LockTarget> out;
    auto& st = d->model.db().statement(
        "SELECT object_id, hobt_id FROM partitions WHERE db = ? ORDER BY object_id, index_id");
    st.bindInt(1, databaseId);
    while (st.step()) {
        const int object = static_cast<int>(st.intAt(0));
        if (out.empty() || out.back().objectId != object)
            out.push_back({object, {}});
        out.back().hobtIds.push_back(st.intAt(1));
    }
    st.reset();
    return out;
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

std::vector<int> Instance::apply(const ScriptedChanges& changes) {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ids;
    Model& model = d->model;
    auto live = [&](int spid) { return model.sessionExists(spid); };
    d->transaction([&] {
        for (const auto& r : changes.removedRequests)
            model.deleteRequest(r.sessionId, r.requestId);
        std::vector<int> ended;
        for (int spid : changes.endedSessions)
            if (!d->tdsSessions.count(spid)) // a client's session ends only with its client
                d->removeSession(spid, ended);
        for (const auto& s : changes.newSessions)
            ids.push_back(d->insertSession(s));
        for (const auto& u : changes.sessionUpdates) {
            const ColumnValues v(u.columns.begin(), u.columns.end());
            model.update(d->catalog.sessions(), v, "session_id = ?", {num(u.sessionId)});
        }
        for (const auto& r : changes.newRequests) {
            if (!live(r.sessionId))
                continue;
            model.deleteRequest(r.sessionId, r.requestId);
            d->insertRequest(r);
        }
        for (const auto& u : changes.requestUpdates) {
            const ColumnValues v(u.columns.begin(), u.columns.end());
            model.update(d->catalog.requests(), v, "session_id = ? AND request_id = ?",
                         {num(u.sessionId), num(u.requestId)});
        }
        for (const auto& b : changes.inputBuffers)
            if (live(b.sessionId))
                model.setInputBuffer(b.sessionId, InputBuffer{"Language Event", 0, b.text});
    });
    return ids;
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

std::optional<int> Instance::databaseId(const std::string& name) const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->model.databaseId(name);
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

void Instance::setAzureDatabase(bool azure) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->azure = azure;
    if (azure) {
        d->version = "Microsoft SQL Azure (RTM) - 12.0.2000.8 \n\tSep 18 2025 19:36:43 \n\t"
                     "Copyright (C) 2022 Microsoft Corporation\n";
        d->versionNumber = 0x0C0007D0; // 12.0.2000
    } else {
        d->version = kDefaultVersion;
        d->versionNumber = kDefaultVersionNumber;
    }
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
