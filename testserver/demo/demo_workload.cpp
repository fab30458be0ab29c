#include "demo_workload.h"

#include "demo_catalog.h"
#include "demo_plans.h"
#include "demo_random.h"
#include "demo_request.h"
#include "demo_session.h"
#include "instance.h"
#include "seed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <optional>
#include <set>

namespace testserver {

namespace {

struct SystemTask {
    int id;
    double cpu;
    double rate; // CPU ms per second
};

} // namespace

struct DemoWorkload::Impl {
    Instance& instance;
    const DemoCatalog& catalog = demoCatalog();
    DemoRandom random;
    int target;
    double time = 0;  // simulated seconds
    double clock = 0; // the instance's clock this step, days
    double nextChainAt = 0;
    double chainHold = 0; // seconds a head holds its chain; 0: 25 to 45
    std::map<int, DemoSession> sessions;
    std::vector<SystemTask> systemTasks;
    std::vector<std::vector<int>> appDatabases; // database ids per application
    ScriptedChanges changes;
    std::string version = instance.version();
    // Of each running request: the statement whose live plan was last given and when.
    struct LivePlanShown {
        std::size_t statement = 0;
        double time = 0;
    };
    std::map<int, LivePlanShown> livePlans;

    Impl(Instance& i, unsigned seed, int sessions)
        : instance(i), random(0x44656D6F00000000ULL ^ seed), target(std::max(1, sessions)) {}

    double days(double seconds) const { return seconds / kDemoSecondsPerDay; }
    const DemoApplication& app(const DemoSession& s) const { return catalog.applications[s.app]; }

    void createDatabases() {
        for (const auto& name : catalog.databases)
            if (!instance.databaseId(name)) {
                ScriptedDatabase db;
                db.name = name;
                db.overrides = {{"create_date", clock - random.between(30, 900)},
                                {"recovery_model", std::int64_t{1}},
                                {"recovery_model_desc", std::string("FULL")}};
                instance.addDatabase(db);
            }
        // The tables the applications' batches touch, so that a lock names one of them.
        const auto tables = [this](const char* database, int object, int hobt,
                                   std::initializer_list<SeedTable> list) {
            const auto id = instance.databaseId(database);
            if (id && instance.lockTargets(*id).empty())
                addSeedTables(instance, database, object, hobt, list);
        };
        tables("Бухгалтерия", 1045578763, 4000,
               {{"dbo", "_AccumRg1587", {"_AccumRg1587_ByPeriod"}, 30216612},
                {"dbo", "_AccumRgT1602", {}, 1852243},
                {"dbo", "_InfoRg1345", {"_InfoRg1345_ByDims"}, 412933},
                {"dbo", "_Reference42", {"_Reference42_Descr"}, 20455}});
        tables("WebShop", 1205579333, 5000,
               {{"dbo", "Stock", {"IX_Stock_Product"}, 48231},
                {"dbo", "Carts", {}, 90412},
                {"dbo", "CartItems", {"IX_CartItems_Cart"}, 311206},
                {"dbo", "StockMoves", {"IX_StockMoves_Product"}, 7221508}});
        tables("Reporting", 1365579903, 6000,
               {{"dw", "FactSales", {"IX_FactSales_Date"}, 88213007}, {"dw", "DimDate", {}, 9131}});
        tables("Staging", 1525580473, 7000, {{"stg", "Orders", {}, 250000}});
        for (const auto& a : catalog.applications) {
            std::vector<int> ids;
            for (const auto& name : a.databases)
                ids.push_back(instance.databaseId(name).value_or(1));
            appDatabases.push_back(ids);
        }
    }

    // Every batch the applications run has been run before: its plan is in the cache.
    void cachePlans() {
        std::vector<ScriptedPlan> plans;
        for (std::size_t a = 0; a < catalog.applications.size(); ++a) {
            const DemoApplication& app = catalog.applications[a];
            for (const auto* list : {&app.batches, &app.headBatches, &app.lockingBatches})
                for (const DemoBatch& batch : *list) {
                    ScriptedPlan p;
                    p.batchText = batch.text;
                    p.databaseId = appDatabases[a].empty() ? 1 : appDatabases[a][0];
                    std::vector<PlanStatement> all;
                    for (std::size_t i = 0; i < batch.statements.size(); ++i) {
                        all.push_back(demoPlan(batch.statements[i], app.databases[0], {}));
                        p.statements.push_back({batch.startOffsets[i], batch.endOffsets[i],
                                                showplanXml({all.back()}, version)});
                    }
                    p.batchPlan = showplanXml(all, version);
                    plans.push_back(std::move(p));
                }
        }
        instance.cachePlans(plans);
    }

    // A running request's live plan, given anew when its statement changes and once a
    // second besides: its counters grow as it goes.
    void showLivePlan(int id, const DemoSession& s, bool fresh) {
        const std::size_t statement = s.request->statement();
        LivePlanShown& shown = livePlans[id];
        if (!fresh && shown.statement == statement && time - shown.time < 1)
            return;
        shown = {statement, time};
        const PlanStatement plan = demoPlan(s.request->batch().statements[statement],
                                            app(s).databases[0], s.request->done());
        changes.livePlans.push_back(
            {id, 0, plan.root ? std::optional(showplanXml({plan}, version)) : std::nullopt});
    }

    void createSystemSessions() {
        std::vector<ScriptedSession> added;
        std::vector<ScriptedRequest> requests;
        for (const auto& t : catalog.systemTasks) {
            if (instance.hasSession(t.sessionId))
                continue;
            const double cpu = std::floor(random.between(0, 5000));
            ScriptedSession s;
            s.sessionId = t.sessionId;
            s.isUserProcess = false;
            s.hostName.reset();
            s.programName.reset();
            s.clientInterfaceName.reset();
            s.hostProcessId.reset();
            s.memoryUsage = 0;
            added.push_back(s);
            ScriptedRequest r;
            r.sessionId = t.sessionId;
            r.status = t.status;
            r.command = t.command;
            r.waitType = t.waitType;
            r.lastWaitType = t.waitType;
            r.cpuTime = static_cast<int>(cpu);
            requests.push_back(r);
            systemTasks.push_back({t.sessionId, cpu, random.between(0.2, 6)});
        }
        instance.addSessions(added);
        instance.addRequests(requests);
    }

    // A new session of `appIndex`; `slot` picks login and host in turn for the anchors.
    DemoSession newSession(std::size_t appIndex, std::optional<std::size_t> slot) {
        const DemoApplication& a = catalog.applications[appIndex];
        DemoSession s;
        s.app = appIndex;
        s.login = a.logins[slot ? *slot % a.logins.size() : random.index(a.logins.size())];
        s.host = a.hosts[slot ? *slot % a.hosts.size() : random.index(a.hosts.size())];
        const auto& dbs = appDatabases[appIndex];
        s.databaseId = dbs[random.index(dbs.size())];
        s.memory = static_cast<int>(random.integer(2, 40));
        s.anchored = slot && *slot < a.logins.size() && !a.leavesAfterBatch;
        if (!s.anchored && !a.leavesAfterBatch)
            s.logoutAt = time + random.between(a.lifeMin, a.lifeMax);
        return s;
    }

    std::size_t pickApplication() {
        double total = 0;
        for (const auto& a : catalog.applications)
            total += a.weight;
        double r = random.between(0, total);
        for (std::size_t i = 0; i < catalog.applications.size(); ++i) {
            r -= catalog.applications[i].weight;
            if (r < 0)
                return i;
        }
        return catalog.applications.size() - 1;
    }

    void createUserSessions() {
        const auto& apps = catalog.applications;
        double total = 0;
        for (const auto& a : apps)
            total += a.weight;
        std::vector<DemoSession> made;
        for (std::size_t i = 0; i < apps.size(); ++i) {
            const int count =
                std::max(1, static_cast<int>(std::lround(target * apps[i].weight / total)));
            for (int k = 0; k < count; ++k)
                made.push_back(newSession(i, static_cast<std::size_t>(k)));
        }
        std::vector<ScriptedSession> rows;
        for (auto& s : made)
            rows.push_back(describeSession(s, app(s), true, clock, random));
        const std::vector<int> ids = instance.addSessions(rows);
        std::size_t jobs = 0;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            DemoSession& s = sessions.emplace(ids[i], std::move(made[i])).first->second;
            s.id = ids[i];
            const DemoApplication& a = app(s);
            s.nextBatchAt = random.between(0, std::min(a.idleMax, 8.0));
            // Some are in the middle of something already; jobs are what brought them, and
            // each job of the catalog runs somewhere.
            if (a.leavesAfterBatch)
                startBatch(s, a.batches[jobs++ % a.batches.size()], random.between(0, 60));
            else if (random.chance(0.3))
                startBatch(s, a.batches[random.index(a.batches.size())], random.between(0, 20));
        }
        flush();
    }

    void startBatch(DemoSession& s, const DemoBatch& batch, double alreadyRunning = 0,
                    std::optional<int> databaseId = std::nullopt) {
        s.request.emplace(batch, databaseId.value_or(s.databaseId), clock - days(alreadyRunning),
                          random);
        s.requestShown = false;
        if (alreadyRunning > 0)
            s.request->advance(alreadyRunning, random);
        if (batch.transactional)
            s.openTransactions = 1;
        s.lastStart = s.request->startClock();
        s.dirty = true;
    }

    void finishBatch(DemoSession& s) {
        DemoRequest& r = *s.request;
        s.cpu += r.cpu();
        s.reads += r.reads();
        s.writes += r.writes();
        s.logicalReads += r.logicalReads();
        s.rows = r.rows();
        s.elapsedMs += r.elapsedMs();
        s.lastEnd = clock;
        s.inputBuffer = r.batch().text;
        if (r.batch().transactional)
            s.openTransactions = 0;
        if (s.requestShown)
            changes.removedRequests.push_back({s.id, 0});
        s.request.reset();
        s.memory =
            static_cast<int>(std::clamp<std::int64_t>(s.memory + random.integer(-3, 3), 2, 60));
        s.dirty = true;
        const DemoApplication& a = app(s);
        s.nextBatchAt = time + random.between(a.idleMin, a.idleMax);
        if (a.leavesAfterBatch)
            s.logoutAt = time + random.between(0.2, 2);
    }

    // Sessions that `kill` ended meanwhile: gone for good, and their locks with them.
    void forgetEnded() {
        const std::vector<int> live = instance.sessionIds();
        const std::set<int> present(live.begin(), live.end());
        for (auto it = sessions.begin(); it != sessions.end();)
            it = present.count(it->first) ? std::next(it) : sessions.erase(it);
    }

    bool holdsLocks(int id) const {
        const auto it = sessions.find(id);
        return it != sessions.end() && it->second.openTransactions > 0;
    }

    void advanceSessions(double dt) {
        // Commits first, so whatever waited on them moves on in this very step.
        for (auto& [id, s] : sessions)
            if (s.releaseAt <= time) {
                // The head blocker's user finally commits.
                s.releaseAt = kDemoNever;
                s.openTransactions = 0;
                s.lastStart = clock - days(0.02);
                s.lastEnd = clock;
                s.inputBuffer = "COMMIT TRANSACTION";
                s.nextBatchAt = time + random.between(app(s).idleMin, app(s).idleMax);
                s.dirty = true;
            }
        unblockReleased();
        for (auto& [id, s] : sessions) {
            if (!s.request && s.nextBatchAt <= time && s.openTransactions == 0 &&
                s.logoutAt > time) {
                // It starts now: its first row shows no time spent yet.
                const auto& batches = app(s).batches;
                startBatch(s, batches[random.index(batches.size())]);
                continue;
            }
            if (s.request && s.request->advance(dt, random))
                finishBatch(s);
        }
        // Batches that ended just now released their locks too.
        unblockReleased();
    }

    void unblockReleased() {
        for (auto& [id, s] : sessions)
            if (s.request && s.request->blockedBy() && !holdsLocks(s.request->blockedBy()))
                s.request->unblock(random);
    }

    std::vector<int> candidates(bool heads, std::optional<std::size_t> appIndex) const {
        std::vector<int> out;
        for (const auto& [id, s] : sessions) {
            const DemoApplication& a = app(s);
            if (s.request || s.openTransactions || s.logoutAt <= time + 120 ||
                (heads ? a.headBatches.empty() : a.lockingBatches.empty()) ||
                (appIndex && s.app != *appIndex))
                continue;
            out.push_back(id);
        }
        return out;
    }

    // A head blocker idles inside its transaction; two to four levels queue up behind it.
    void formChain() {
        const std::vector<int> heads = candidates(true, std::nullopt);
        if (heads.empty())
            return;
        const int headId = heads[random.index(heads.size())];
        DemoSession& head = sessions.at(headId);
        const DemoApplication& a = app(head);
        const DemoBatch& ran = a.headBatches[random.index(a.headBatches.size())];
        head.openTransactions = 1;
        head.lastEnd = clock - days(random.between(1, 4));
        head.lastStart = head.lastEnd - days(random.between(0.05, 0.5));
        head.inputBuffer = ran.text;
        head.releaseAt = time + (chainHold > 0 ? chainHold : random.between(25, 45));
        head.nextBatchAt = kDemoNever;
        head.dirty = true;

        const std::string resource = lockResource(head.databaseId);
        const int levels = static_cast<int>(random.integer(2, 4));
        std::vector<int> previous{headId};
        for (int level = 2; level <= levels; ++level) {
            std::vector<int> current;
            const int width = static_cast<int>(random.integer(1, level == 2 ? 3 : 2));
            for (int k = 0; k < width; ++k) {
                auto pool = candidates(false, head.app);
                if (pool.empty())
                    pool = candidates(false, std::nullopt);
                if (pool.empty())
                    break;
                const int id = pool[random.index(pool.size())];
                const int blocker = previous[random.index(previous.size())];
                block(sessions.at(id), head.databaseId, blocker, resource);
                current.push_back(id);
            }
            if (current.empty())
                break;
            previous = current;
        }
    }

    // What the chain waits on, in sys.dm_exec_requests.wait_resource's forms: mostly a key
    // of one of the database's indexes, sometimes a whole table or a page.
    std::string lockResource(int databaseId) {
        const std::string db = std::to_string(databaseId);
        const auto targets = instance.lockTargets(databaseId);
        const double r = random.unit();
        if (targets.empty() || r >= 0.9)
            return "PAGE: " + db + ":1:" + std::to_string(random.integer(1200, 2400000));
        const auto& table = targets[random.index(targets.size())];
        if (r >= 0.7)
            return "OBJECT: " + db + ":" + std::to_string(table.objectId) + ":0 ";
        const std::int64_t hobt = table.hobtIds[random.index(table.hobtIds.size())];
        char hash[16];
        std::snprintf(hash, sizeof hash, "%012llx",
                      static_cast<unsigned long long>(random.integer(0, 0xFFFFFFFFFFFFLL)));
        return "KEY: " + db + ":" + std::to_string(hobt) + " (" + hash + ")";
    }

    void block(DemoSession& s, int databaseId, int blocker, const std::string& resource) {
        const auto& batches = app(s).lockingBatches;
        const DemoBatch& batch = batches[random.index(batches.size())];
        startBatch(s, batch, 0, databaseId);
        // It took its first locks, then met the blocker's at the next modification.
        const std::size_t at = batch.statements.size() > 3 ? random.integer(1, 2) : 1;
        s.request->skipTo(at, random.between(0.2, 1.5), random);
        const double r = random.unit();
        s.request->blockOn(blocker,
                           r < 0.6    ? "LCK_M_X"
                           : r < 0.85 ? "LCK_M_U"
                                      : "LCK_M_S",
                           resource);
    }

    void scheduleChains() {
        if (nextChainAt > time)
            return;
        // Larger instances keep more chains going at once.
        const int chains = std::max(1, target / 300);
        for (int i = 0; i < chains; ++i)
            formChain();
        nextChainAt = time + random.between(50, 75);
    }

    void comeAndGo() {
        for (auto it = sessions.begin(); it != sessions.end();) {
            DemoSession& s = it->second;
            if (s.logoutAt <= time && !s.request && s.openTransactions == 0) {
                changes.endedSessions.push_back(it->first);
                it = sessions.erase(it);
            } else {
                ++it;
            }
        }
        // The population breathes a little around the target.
        const double wanted = target * (1 + 0.04 * std::sin(time * 2 * std::numbers::pi / 420));
        std::vector<DemoSession> arriving;
        for (auto n = sessions.size(); n + arriving.size() < static_cast<std::size_t>(wanted);)
            arriving.push_back(newSession(pickApplication(), std::nullopt));
        for (auto& s : arriving) {
            s.nextBatchAt = time + random.between(0.2, 3);
            changes.newSessions.push_back(describeSession(s, app(s), false, clock, random));
        }
        pending = std::move(arriving);
    }

    std::vector<DemoSession> pending; // new sessions waiting for their ids

    void animateSystem(double dt) {
        for (auto& t : systemTasks) {
            t.cpu += t.rate * dt;
            changes.requestUpdates.push_back(
                {t.id, 0, {{"cpu_time", static_cast<std::int64_t>(t.cpu)}}});
        }
    }

    void collect() {
        for (auto& [id, s] : sessions) {
            if (s.dirty) {
                changes.sessionUpdates.push_back({id, sessionColumns(s)});
                s.dirty = false;
            }
            if (s.inputBuffer) {
                changes.inputBuffers.push_back({id, *s.inputBuffer});
                s.inputBuffer.reset();
            }
            if (!s.request)
                continue;
            const int isolation = app(s).isolationLevel;
            const bool fresh = !s.requestShown;
            if (!s.requestShown) {
                changes.newRequests.push_back(s.request->row(id, s.openTransactions, isolation));
                s.requestShown = true;
            } else {
                changes.requestUpdates.push_back({id, 0, s.request->changes(s.openTransactions)});
            }
            showLivePlan(id, s, fresh);
        }
    }

    void flush() {
        collect();
        const std::vector<int> ids = instance.apply(changes);
        for (std::size_t i = 0; i < ids.size() && i < pending.size(); ++i) {
            pending[i].id = ids[i];
            sessions.emplace(ids[i], std::move(pending[i]));
        }
        pending.clear();
        changes = ScriptedChanges{};
    }
};

DemoWorkload::DemoWorkload(Instance& instance, unsigned seed, int sessions, double chainHold)
    : d(std::make_unique<Impl>(instance, seed, sessions)) {
    d->clock = instance.now();
    d->createDatabases();
    d->cachePlans();
    d->createSystemSessions();
    d->createUserSessions();
    d->chainHold = chainHold;
    d->nextChainAt = chainHold > 0 ? 0.5 : d->random.between(8, 25);
}

DemoWorkload::~DemoWorkload() = default;

void DemoWorkload::step(double seconds) {
    if (!(seconds > 0))
        return;
    d->time += seconds;
    d->clock = d->instance.now();
    d->forgetEnded();
    d->advanceSessions(seconds);
    d->scheduleChains();
    d->comeAndGo();
    d->animateSystem(seconds);
    d->flush();
}

double DemoWorkload::elapsed() const {
    return d->time;
}

int DemoWorkload::sessionCount() const {
    return static_cast<int>(d->sessions.size());
}

} // namespace testserver
