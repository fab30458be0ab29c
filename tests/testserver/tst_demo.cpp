// The demo workload as a table of facts about three simulated minutes of a fixed seed,
// read the way the application reads an instance (the sampling query, the statement
// text query, DBCC INPUTBUFFER); then determinism, kills and scale.

#include "demo_workload.h"
#include "instance.h"
#include "sampling_text.h"

#include <QtTest>

#include <map>
#include <memory>
#include <set>

using namespace testserver;

namespace {

// Columns of the sampling query (see sampling_text.cpp).
enum Col {
    SPID = 0,
    Login = 1,
    Status = 2,
    Command = 3,
    DB = 4,
    ProgName = 5,
    LoginTime = 6,
    CPU = 8,
    IO = 9,
    Host = 11,
    Reads = 17,
    Writes = 18,
    OpenTran = 24,
    WaitType = 25,
    WaitResource = 27,
    Blocking = 38,
    Blocked = 39,
    IsUser = 40,
    RequestID = 41,
};

QString text(const Value& v) {
    if (std::holds_alternative<std::monostate>(v))
        return "NULL";
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return QString::number(*i);
    if (const auto* d = std::get_if<double>(&v))
        return QString::number(*d, 'f', 6);
    if (const auto* s = std::get_if<std::string>(&v))
        return QString::fromStdString(*s);
    return "<bytes>";
}

std::int64_t number(const Value& v) {
    const auto* i = std::get_if<std::int64_t>(&v);
    return i ? *i : -1;
}

using Snapshot = std::vector<Row>;

struct Statement {
    int spid;
    QString start; // start_time: one request of the session
    int begin, end;
    QString text;
};

// An instance on a clock the test moves, a demo on it and a scripted observer that reads.
struct DemoRun {
    double clock = 45000.5; // 2023-03-15 12:00
    Instance instance;
    std::unique_ptr<DemoWorkload> demo;
    int observer = 0;

    DemoRun(unsigned seed, int sessions, double chainHold = 0) {
        instance.setClock([this] { return clock; });
        ScriptedSession s;
        s.withConnection = false;
        s.programName = "observer";
        observer = instance.addSession(s);
        demo = std::make_unique<DemoWorkload>(instance, seed, sessions, chainHold);
    }

    void step(double seconds) {
        clock += seconds / 86400.0;
        demo->step(seconds);
    }

    std::vector<Row> rows(const std::string& sql) {
        const auto out = instance.execute(observer, sql);
        if (out.statements.empty() || !out.statements[0].result)
            return {};
        return out.statements[0].result->rows;
    }

    // The sampling query without the observer and the instance's own system sessions.
    Snapshot snapshot() {
        return rows(samplingQuery({{}, {"  and S.session_id > 12 and S.session_id <> @@spid"}}));
    }

    std::vector<Statement> statements() {
        std::vector<Statement> out;
        for (const auto& r :
             rows("select R.session_id, R.start_time, R.statement_start_offset, "
                  "R.statement_end_offset, T.text from sys.dm_exec_requests R cross apply "
                  "sys.dm_exec_sql_text(R.sql_handle) T where R.session_id > 50 and "
                  "R.session_id <> @@spid"))
            out.push_back({static_cast<int>(number(r[0])), text(r[1]),
                           static_cast<int>(number(r[2])), static_cast<int>(number(r[3])),
                           text(r[4])});
        return out;
    }
};

// Every session that blocks others without being blocked heads a chain; its depth counts
// the head as the first level.
std::map<int, int> chainDepths(const Snapshot& s) {
    std::map<int, int> blockerOf;
    std::set<int> blockers;
    for (const auto& r : s)
        if (number(r[Blocking]) != 0) {
            blockerOf[static_cast<int>(number(r[SPID]))] = static_cast<int>(number(r[Blocking]));
            blockers.insert(static_cast<int>(number(r[Blocking])));
        }
    std::map<int, int> depths;
    for (const auto& [victim, blocker] : blockerOf) {
        int depth = 2;
        int head = blocker;
        for (auto it = blockerOf.find(head); it != blockerOf.end() && depth < 100;
             it = blockerOf.find(head)) {
            head = it->second;
            ++depth;
        }
        depths[head] = std::max(depths[head], depth);
    }
    return depths;
}

const Row* rowOf(const Snapshot& s, int spid) {
    for (const auto& r : s)
        if (number(r[SPID]) == spid)
            return &r;
    return nullptr;
}

} // namespace

class TstDemo : public QObject {
    Q_OBJECT

    static constexpr int kSeconds = 180;
    std::unique_ptr<DemoRun> run;
    std::vector<Snapshot> snapshots;                // one a simulated second
    std::vector<std::vector<Statement>> statements; // likewise
    int firstChainAt = -1;

private slots:
    void initTestCase() {
        run = std::make_unique<DemoRun>(42, 200);
        snapshots.push_back(run->snapshot());
        statements.push_back(run->statements());
        for (int t = 1; t <= kSeconds; ++t) {
            run->step(1.0);
            snapshots.push_back(run->snapshot());
            statements.push_back(run->statements());
            if (firstChainAt < 0 && !chainDepths(snapshots.back()).empty())
                firstChainAt = t;
        }
    }

    void facts_data() {
        QTest::addColumn<QString>("fact");
        for (const char* fact :
             {"about 200 user sessions", "sessions come and go", "system sessions",
              "Cyrillic and apostrophe names", "several databases",
              "a blocking chain within two minutes", "chains have 2 to 4 levels",
              "every head sleeps with an open transaction", "chains dissolve",
              "lock waits name a key, a table or a page of their database", "statuses",
              "wait types", "commands", "counters never decrease",
              "statement offsets stay on statement bounds", "statement offsets advance",
              "idle sessions have input buffers"})
            QTest::newRow(fact) << QString(fact);
    }

    void facts() {
        QFETCH(QString, fact);
        std::set<QString> statuses, waits, commands, logins, hosts, programs, databases;
        for (const auto& s : snapshots)
            for (const auto& r : s) {
                statuses.insert(text(r[Status]));
                waits.insert(text(r[WaitType]));
                commands.insert(text(r[Command]));
            }
        const Snapshot& last = snapshots.back();

        if (fact == "about 200 user sessions") {
            for (const auto& s : snapshots) {
                const auto users = std::count_if(
                    s.begin(), s.end(), [](const Row& r) { return number(r[IsUser]) == 1; });
                QVERIFY2(users >= 180 && users <= 230, qPrintable(QString::number(users)));
            }
        } else if (fact == "sessions come and go") {
            std::set<int> before, after;
            for (const auto& r : snapshots.front())
                before.insert(static_cast<int>(number(r[SPID])));
            for (const auto& r : last)
                after.insert(static_cast<int>(number(r[SPID])));
            int gone = 0, come = 0;
            for (int id : before)
                gone += !after.count(id);
            for (int id : after)
                come += !before.count(id);
            QVERIFY2(gone >= 2 && come >= 2,
                     qPrintable(QString("%1 gone, %2 new").arg(gone).arg(come)));
        } else if (fact == "system sessions") {
            const auto system = std::count_if(last.begin(), last.end(),
                                              [](const Row& r) { return number(r[IsUser]) == 0; });
            QVERIFY(system >= 5);
            QVERIFY(statuses.count("background"));
        } else if (fact == "Cyrillic and apostrophe names") {
            for (const auto& s : snapshots) {
                std::set<QString> l, h, p;
                for (const auto& r : s) {
                    l.insert(text(r[Login]));
                    h.insert(text(r[Host]));
                    p.insert(text(r[ProgName]));
                }
                QVERIFY(l.count("Иванов") && l.count("O'Brien"));
                QVERIFY(h.count("БУХГАЛТЕРИЯ-01"));
                QVERIFY(p.count("1С:Предприятие"));
            }
        } else if (fact == "several databases") {
            for (const auto& r : last)
                if (number(r[IsUser]) == 1)
                    databases.insert(text(r[DB]));
            QVERIFY2(databases.size() >= 5,
                     qPrintable(QStringList(databases.begin(), databases.end()).join(',')));
            QVERIFY(databases.count("Бухгалтерия"));
        } else if (fact == "a blocking chain within two minutes") {
            QVERIFY(firstChainAt > 0);
            QVERIFY2(firstChainAt <= 120, qPrintable(QString::number(firstChainAt)));
        } else if (fact == "chains have 2 to 4 levels") {
            int deepest = 0;
            for (const auto& s : snapshots)
                for (const auto& [head, depth] : chainDepths(s)) {
                    QVERIFY2(depth >= 2 && depth <= 4, qPrintable(QString::number(depth)));
                    deepest = std::max(deepest, depth);
                }
            QVERIFY(deepest >= 3); // some chain goes past its first level
        } else if (fact == "every head sleeps with an open transaction") {
            int heads = 0;
            std::set<int> waited; // sessions seen blocked so far
            for (std::size_t t = 0; t < snapshots.size(); ++t) {
                for (const auto& [head, depth] : chainDepths(snapshots[t])) {
                    const Row* r = rowOf(snapshots[t], head);
                    QVERIFY(r);
                    QVERIFY(number((*r)[OpenTran]) > 0);
                    QCOMPARE(number((*r)[Blocked]), std::int64_t{1});
                    // Once the head commits, the one it blocked runs on holding its own locks
                    // until its batch ends: a running head is a chain's former member.
                    if (text((*r)[Status]) == "sleeping")
                        ++heads;
                    else
                        QVERIFY2(waited.count(head),
                                 qPrintable(QString("%1 at %2 s").arg(head).arg(t)));
                }
                for (const auto& r : snapshots[t])
                    if (number(r[Blocking]) != 0)
                        waited.insert(static_cast<int>(number(r[SPID])));
            }
            QVERIFY(heads > 0);
        } else if (fact == "chains dissolve") {
            const int head =
                chainDepths(snapshots[static_cast<std::size_t>(firstChainAt)]).begin()->first;
            int freedAt = -1;
            for (int t = firstChainAt; t <= kSeconds && freedAt < 0; ++t)
                if (!chainDepths(snapshots[static_cast<std::size_t>(t)]).count(head))
                    freedAt = t;
            QVERIFY2(freedAt > firstChainAt && freedAt - firstChainAt <= 60,
                     qPrintable(QString::number(freedAt)));
            const Row* r = rowOf(snapshots[static_cast<std::size_t>(freedAt)], head);
            QVERIFY(!r || number((*r)[OpenTran]) == 0); // it committed
            // Nothing stays blocked for ever: every blocked request is released at last.
            std::map<int, int> blockedSince; // while continuously blocked
            for (int t = 0; t <= kSeconds; ++t)
                for (const auto& r : snapshots[static_cast<std::size_t>(t)]) {
                    const int spid = static_cast<int>(number(r[SPID]));
                    if (number(r[Blocking]) != 0)
                        blockedSince.try_emplace(spid, t);
                    else
                        blockedSince.erase(spid);
                }
            int stillBlockedFromEarly = 0;
            for (const auto& r : last)
                if (number(r[Blocking]) != 0 &&
                    blockedSince[static_cast<int>(number(r[SPID]))] < kSeconds - 90)
                    ++stillBlockedFromEarly;
            QCOMPARE(stillBlockedFromEarly, 0);
        } else if (fact == "lock waits name a key, a table or a page of their database") {
            // Keys and tables are the database's own, so the catalog names them.
            const auto found = [this](const QString& database, const QString& where) {
                const auto db = run->rows("select name from sys.databases where database_id = " +
                                          database.toStdString());
                if (db.empty())
                    return false;
                const std::string name = text(db[0][0]).toStdString();
                return !run->rows("select o.name from [" + name + "].sys.objects o join [" + name +
                                  "].sys.partitions p on p.object_id = o.object_id " + "where " +
                                  where.toStdString())
                            .empty();
            };
            std::map<QString, int> kinds;
            for (const auto& s : snapshots)
                for (const auto& r : s)
                    if (text(r[WaitType]).startsWith("LCK_M_")) {
                        const QString resource = text(r[WaitResource]);
                        const QStringList parts = resource.section(' ', 1, 1).split(':');
                        const QString kind = resource.section(':', 0, 0);
                        ++kinds[kind];
                        QVERIFY(number(r[Blocking]) != 0);
                        if (kind == "KEY")
                            QVERIFY2(found(parts[0], "p.hobt_id = " + parts[1]),
                                     qPrintable(resource));
                        else if (kind == "OBJECT")
                            QVERIFY2(found(parts[0], "o.object_id = " + parts[1]),
                                     qPrintable(resource));
                        else
                            QVERIFY2(kind == "PAGE" && parts.size() == 3, qPrintable(resource));
                    }
            // Which kind a chain waits on is drawn at random: a run sees a few chains.
            QVERIFY(kinds["KEY"] + kinds["OBJECT"] > 0);
            QVERIFY(waits.count("LCK_M_X"));
        } else if (fact == "statuses") {
            for (const char* s : {"running", "runnable", "suspended", "sleeping", "background"})
                QVERIFY2(statuses.count(s), s);
        } else if (fact == "wait types") {
            for (const char* w :
                 {"LCK_M_X", "PAGEIOLATCH_SH", "CXPACKET", "ASYNC_NETWORK_IO", "WRITELOG"})
                QVERIFY2(waits.count(w), w);
        } else if (fact == "commands") {
            for (const char* c : {"SELECT", "INSERT", "UPDATE", "DELETE", "EXECUTE",
                                  "BACKUP DATABASE", "DBCC", "WAITFOR"})
                QVERIFY2(commands.count(c), c);
        } else if (fact == "counters never decrease") {
            // A session is its id and login time; CPU and I/O add the request's to the session's.
            std::map<QString, std::array<std::int64_t, 4>> seen;
            int grew = 0;
            for (const auto& s : snapshots)
                for (const auto& r : s) {
                    const QString key = text(r[SPID]) + "@" + text(r[LoginTime]);
                    const std::array<std::int64_t, 4> now{number(r[CPU]), number(r[IO]),
                                                          number(r[Reads]), number(r[Writes])};
                    const auto it = seen.find(key);
                    if (it != seen.end()) {
                        for (int k = 0; k < 4; ++k)
                            QVERIFY2(now[k] >= it->second[k], qPrintable(key));
                        grew += now[0] > it->second[0];
                    }
                    seen[key] = now;
                }
            QVERIFY(grew > 100);
        } else if (fact == "statement offsets stay on statement bounds") {
            int checked = 0;
            for (const auto& list : statements)
                for (const auto& st : list) {
                    // Byte offsets into UTF-16: statements are CR LF apart in the demo's batches.
                    QVERIFY(st.begin % 2 == 0 && (st.end == -1 || st.end % 2 == 0));
                    QVERIFY(st.begin == 0 || st.text.mid(st.begin / 2 - 2, 2) == "\r\n");
                    QVERIFY(st.end == -1 ||
                            (st.end > st.begin && st.text.mid(st.end / 2, 2) == "\r\n"));
                    QVERIFY(st.end != -1 || !st.text.mid(st.begin / 2).contains("\r\n"));
                    ++checked;
                }
            QVERIFY(checked > 1000);
        } else if (fact == "statement offsets advance") {
            std::map<QString, int> lastBegin;
            int advanced = 0;
            for (const auto& list : statements)
                for (const auto& st : list) {
                    const QString key = QString::number(st.spid) + "@" + st.start;
                    const auto it = lastBegin.find(key);
                    if (it != lastBegin.end()) {
                        QVERIFY2(st.begin >= it->second, qPrintable(key));
                        advanced += st.begin > it->second;
                    }
                    lastBegin[key] = st.begin;
                }
            QVERIFY2(advanced >= 20, qPrintable(QString::number(advanced)));
        } else if (fact == "idle sessions have input buffers") {
            int checked = 0;
            for (const auto& r : last) {
                if (text(r[Status]) != "sleeping" || number(r[IsUser]) != 1 || checked >= 20)
                    continue;
                const auto ib = run->rows("DBCC INPUTBUFFER(" + text(r[SPID]).toStdString() + ")");
                QCOMPARE(ib.size(), std::size_t(1));
                QCOMPARE(text(ib[0][0]), QString("Language Event"));
                QVERIFY(!text(ib[0][2]).isEmpty());
                ++checked;
            }
            QCOMPARE(checked, 20);
        } else {
            QFAIL("no such fact");
        }
    }

    void sameSeedSameSequence() {
        DemoRun a(7, 150), b(7, 150), c(8, 150);
        for (int t = 0; t < 90; ++t) {
            a.step(0.5);
            b.step(0.5);
            c.step(0.5);
        }
        const Snapshot sa = a.snapshot(), sb = b.snapshot(), sc = c.snapshot();
        QCOMPARE(sa.size(), sb.size());
        for (std::size_t i = 0; i < sa.size(); ++i)
            for (std::size_t k = 0; k < sa[i].size(); ++k)
                QVERIFY2(text(sa[i][k]) == text(sb[i][k]),
                         qPrintable(QString("row %1 column %2").arg(i).arg(k)));
        QCOMPARE(a.statements().size(), b.statements().size());
        bool differs = sa.size() != sc.size();
        for (std::size_t i = 0; !differs && i < sa.size(); ++i)
            for (std::size_t k = 0; k < sa[i].size(); ++k)
                differs = differs || text(sa[i][k]) != text(sc[i][k]);
        QVERIFY(differs); // the seed matters
    }

    void killedSessionsStayGone() {
        DemoRun r(3, 120);
        // One busy, one idle, and a chain's head with everything behind it.
        Snapshot s;
        std::vector<int> victims;
        int head = 0;
        for (int t = 0; t < 120 && !head; ++t) {
            r.step(1.0);
            s = r.snapshot();
            if (!chainDepths(s).empty())
                head = chainDepths(s).begin()->first;
        }
        for (const auto& row : s) {
            const int spid = static_cast<int>(number(row[SPID]));
            if (number(row[IsUser]) != 1 || number(row[Blocking]) != 0 ||
                number(row[Blocked]) != 0 || victims.size() == 2)
                continue;
            const bool busy = text(row[Status]) != "sleeping";
            if (busy == victims.empty())
                victims.push_back(spid);
        }
        QVERIFY2(head, "no chain in two minutes");
        QCOMPARE(victims.size(), std::size_t(2));
        victims.push_back(head);
        for (int v : victims) {
            const auto out = r.instance.execute(r.observer, "kill " + std::to_string(v));
            QVERIFY(out.statements.at(0).messages.empty());
        }
        for (int t = 0; t < 200; ++t) {
            r.step(1.0);
            s = r.snapshot();
            for (int v : victims)
                QVERIFY2(!rowOf(s, v), qPrintable(QString("%1 is back after %2 s").arg(v).arg(t)));
            // Killing the head rolled its transaction back: nobody waits for it any more.
            for (const auto& row : s)
                QVERIFY(number(row[Blocking]) != head);
        }
    }

    // An estate's server in trouble: its chain forms at once and is still there, waiting
    // longer and longer, ten minutes on; without the hold chains come and go.
    void heldChains() {
        DemoRun held(5, 150, 900);
        held.step(1.0);
        QVERIFY(!chainDepths(held.snapshot()).empty());
        const std::string longestWait =
            "select max(wait_time) from sys.dm_exec_requests where blocking_session_id > 0";
        for (int t = 0; t < 600; ++t)
            held.step(1.0);
        QVERIFY(!chainDepths(held.snapshot()).empty());
        const auto waited = held.rows(longestWait);
        QVERIFY(!waited.empty());
        QVERIFY2(number(waited[0][0]) > 300000, qPrintable(text(waited[0][0])));
    }

    void scales_data() {
        QTest::addColumn<int>("sessions");
        QTest::newRow("a handful") << 12;
        QTest::newRow("benchmark size") << 1000;
    }

    void scales() {
        QFETCH(int, sessions);
        DemoRun r(1, sessions);
        for (int t = 0; t < 30; ++t)
            r.step(1.0);
        const Snapshot s = r.snapshot();
        const auto users = std::count_if(s.begin(), s.end(),
                                         [](const Row& row) { return number(row[IsUser]) == 1; });
        // Every application keeps at least one session, so a small demo has a few more.
        QVERIFY2(users >= sessions * 0.9 && users <= std::max(sessions * 1.1, sessions + 10.0),
                 qPrintable(QString::number(users)));
        QCOMPARE(r.demo->sessionCount(), static_cast<int>(users));
    }
};

QTEST_GUILESS_MAIN(TstDemo)
#include "tst_demo.moc"
