#include "instance.h"

#include "batch_runner.h"
#include "catalog.h"
#include "databases.h"
#include "local_clock.h"
#include "model.h"
#include "scripted_activity.h"
#include "seed.h"
#include "session_activity.h"
#include "sessions.h"

#include <mutex>
#include <set>

namespace testserver {

namespace {

Value num(std::int64_t v) {
    return Value(v);
}

} // namespace

struct Instance::Impl {
    mutable std::mutex mutex;
    Catalog catalog;
    Model model{catalog};
    Logins logins;
    bool azure = false;
    std::mutex handlerMutex;
    std::function<void(int)> killHandler;
    std::function<void(int, const std::string&, const BatchOutcome&)> batchObserver;
    std::function<void(const LoginInfo&)> loginObserver;
    std::optional<std::string> serverName = "DERVEL-SQL";
    std::string version = kDefaultVersion;
    std::uint32_t versionNumber = kDefaultVersionNumber;
    std::function<double()> clock = localNow;
    Sessions sessions{model, clock};
    Databases databases{model, clock};
    std::set<int> nocount;
    SessionActivity activity{model};

    double now() const { return clock(); }

    // Everything the instance keeps of a session goes with its rows.
    void removeSession(int spid, std::vector<int>& ended) {
        if (!sessions.remove(spid))
            return;
        activity.forget(spid);
        nocount.erase(spid);
        logins.forget(spid);
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
        if (const auto rights = logins.rights(spid)) {
            c.viewServerState = rights->viewServerState;
            c.alterAnyConnection = rights->alterAnyConnection;
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
                sessions.detachClient(victim);
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
    return Logins::failed(user);
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
    const Logins::Login* login = d->logins.authenticate(info);
    if (!login) {
        result.error = loginFailed(name);
        return result;
    }
    const std::string wanted = info.database.empty() ? std::string("master") : info.database;
    const auto dbId = d->model.databaseId(wanted);
    if (!dbId) {
        result.cause = Logins::unknownDatabase(wanted);
        result.error = loginFailed(name);
        return result;
    }
    result.spid = d->sessions.insert(Logins::session(info, *login, *dbId));
    d->sessions.attachClient(result.spid);
    d->logins.grant(result.spid, login->rights);
    result.ok = true;
    result.database = d->model.databaseName(*dbId).value_or(wanted);
    return result;
}

void Instance::logout(int spid) {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ended;
    d->removeSession(spid, ended);
    d->sessions.detachClient(spid);
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
    d->logins.add(name, password, rights);
}

void Instance::addWindowsLogin(const std::string& principal, LoginRights rights) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->logins.addWindows(principal, rights);
}

int Instance::addDatabase(const ScriptedDatabase& s) {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->databases.add(s);
}

int Instance::addSession(const ScriptedSession& s) {
    std::lock_guard<std::mutex> lock(d->mutex);
    int id = 0;
    d->model.transaction([&] { id = d->sessions.insert(s); });
    return id;
}

std::vector<int> Instance::addSessions(const std::vector<ScriptedSession>& items) {
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<int> ids;
    ids.reserve(items.size());
    d->model.transaction([&] {
        for (const auto& s : items)
            ids.push_back(d->sessions.insert(s));
    });
    return ids;
}

void Instance::addRequest(const ScriptedRequest& s) {
    addRequests({s});
}

void Instance::addRequests(const std::vector<ScriptedRequest>& items) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->model.transaction([&] {
        for (const auto& s : items)
            d->sessions.insertRequest(s);
    });
}

void Instance::addTable(const ScriptedTable& t) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->databases.addTable(t);
}

std::vector<Instance::LockTarget> Instance::lockTargets(int databaseId) const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->databases.lockTargets(databaseId);
}

void Instance::updateSession(int spid, const ColumnOverrides& columns) {
    std::lock_guard<std::mutex> lock(d->mutex);
    ColumnValues v(columns.begin(), columns.end());
    d->model.update(d->catalog.sessions(), v, "session_id = ?", {num(spid)});
}

void Instance::cachePlans(const std::vector<ScriptedPlan>& plans) {
    std::lock_guard lock(d->mutex);
    d->model.transaction([&] {
        for (const auto& p : plans) {
            std::vector<Model::StatementPlan> statements;
            for (const auto& s : p.statements)
                statements.push_back({s.startOffset, s.endOffset, s.xml});
            d->model.storePlan(Model::planHandleFor(p.batchText), p.databaseId, p.batchPlan,
                               statements);
        }
    });
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
    // Sessions ended here are the script's own: no client stands behind them to notify.
    std::vector<int> ended;
    d->model.transaction([&] {
        ids = applyChanges(d->model, d->sessions, changes,
                           [&](int spid) { d->removeSession(spid, ended); });
    });
    return ids;
}

bool Instance::endSession(int spid) {
    std::vector<int> ended;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->removeSession(spid, ended);
        d->sessions.detachClient(spid);
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
    return d->sessions.ids();
}

void Instance::removeScriptedSessions() {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->sessions.removeScripted();
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
