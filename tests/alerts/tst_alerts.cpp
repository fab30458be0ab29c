// The alert rules without a window: episodes raised once and cleared when they end, keyed
// by what they are about; exclusions and servers; silence; the chains read off a
// snapshot's rows; the rules in the settings store; the user's command and its variables.

#include "alerts/alertcommand.h"
#include "alerts/alertrulesstore.h"
#include "alerts/alerttracker.h"
#include "registry/registry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

namespace {

constexpr double kLogin = 46000.5; // a login time, days since 1899-12-30

TSummarySession session(int spid, const QString& program = QStringLiteral("App"),
                        double loginTime = kLogin) {
    return {spid,
            loginTime,
            QStringLiteral("sa"),
            QStringLiteral("WS-01"),
            program,
            QStringLiteral("Sales"),
            QStringLiteral("SELECT")};
}

TServerSummary chains(qint64 at, const QList<TSummaryChain>& list) {
    TServerSummary s;
    s.Valid = true;
    s.TakenAtMs = at;
    s.Chains = list;
    return s;
}

TServerSummary failed(qint64 at) {
    TServerSummary s;
    s.TakenAtMs = at;
    s.Error = QStringLiteral("Communication link failure");
    return s;
}

// The changes as "+rule/spid" and "-rule/spid", in order.
QStringList said(const QList<TAlertChange>& changes) {
    QStringList out;
    for (const TAlertChange& c : changes)
        out << QStringLiteral("%1%2/%3")
                   .arg(c.Change == TAlertChangeKind::Raised ? QStringLiteral("+")
                                                             : QStringLiteral("-"))
                   .arg(AlertRuleKey(c.Alert.Kind))
                   .arg(c.Alert.Subject.Spid);
    return out;
}

TMonitorRec* rec(int spid, int blocking, int waitMs, const QString& status = {}) {
    auto* r = new TMonitorRec;
    r->SPID = spid;
    r->Blocking = blocking;
    r->WaitTime = waitMs;
    r->Status = status.isEmpty()
                    ? (blocking ? QStringLiteral("suspended") : QStringLiteral("sleeping"))
                    : status;
    r->IsUser = true;
    r->Login = QStringLiteral("user%1").arg(spid);
    r->LoginTime = kLogin;
    return r;
}

} // namespace

class TestAlerts : public QObject {
    Q_OBJECT
private slots:
    void blockingIsOneEpisode();
    void manyChainsAtOnce();
    void exclusions_data();
    void exclusions();
    void longRequests();
    void blockedCountAndServers();
    void silence();
    void chainsOfRows();
    void rulesInTheSettings();
    void commandVariables();
    void commandRunsAndIsKilledAtItsTimeout();
};

// Raised once when the wait passes the threshold, not again while it lasts, cleared with
// its duration when the chain goes; the same SPID with another login time is another
// session, so another episode.
void TestAlerts::blockingIsOneEpisode() {
    TAlertTracker t;
    const auto look = [&](qint64 at, qint64 wait, double login = kLogin) {
        return t.observe(QStringLiteral("k"), QStringLiteral("SQL01"),
                         chains(at, {{session(53, QStringLiteral("App"), login), wait, 2}}), 1000,
                         at);
    };
    QCOMPARE(said(look(1000, 29000)), QStringList());
    const QList<TAlertChange> raised = look(2000, 31000);
    QCOMPARE(said(raised), QStringList{QStringLiteral("+blocking/53")});
    QCOMPARE(raised[0].Alert.Server, QStringLiteral("SQL01"));
    QCOMPARE(raised[0].Alert.Waiting, 2);
    QCOMPARE(raised[0].Alert.SnapshotTime, 2000);
    QCOMPARE(said(look(3000, 32000)), QStringList());
    QCOMPARE(t.openCount(QStringLiteral("k")), 1);
    const QList<TAlertChange> cleared = look(9000, 0);
    QCOMPARE(said(cleared), QStringList{QStringLiteral("-blocking/53")});
    QCOMPARE(cleared[0].Alert.EndMs - cleared[0].Alert.StartMs, 7000);
    QCOMPARE(cleared[0].Alert.WaitMs, 32000); // the peak
    QCOMPARE(cleared[0].Alert.Key, raised[0].Alert.Key);
    QCOMPARE(t.openCount(QStringLiteral("k")), 0);

    look(10000, 40000);
    QCOMPARE(said(look(11000, 40000, kLogin + 0.01)),
             (QStringList{QStringLiteral("+blocking/53"), QStringLiteral("-blocking/53")}));
    // A head whose login time the grid's filters hid is the same session.
    QCOMPARE(said(look(12000, 41000, 0)), QStringList());
}

// A server that connects with three chains past the threshold: one alert for each head,
// and nothing more at the next look.
void TestAlerts::manyChainsAtOnce() {
    TAlertTracker t;
    const TServerSummary s =
        chains(1000, {{session(51), 90000, 1}, {session(52), 60000, 3}, {session(53), 5000, 1}});
    QCOMPARE(said(t.observe(QStringLiteral("k"), QStringLiteral("S"), s, 1000, 1000)),
             (QStringList{QStringLiteral("+blocking/51"), QStringLiteral("+blocking/52")}));
    QCOMPARE(said(t.observe(QStringLiteral("k"), QStringLiteral("S"), s, 1000, 2000)),
             QStringList());
}

void TestAlerts::exclusions_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("excluded");
    QTest::newRow("a login, whatever its case") << "login"
                                                << "SA"
                                                << "sa" << true;
    QTest::newRow("the whole login, not a part") << "login"
                                                 << "sa"
                                                 << "sam" << false;
    QTest::newRow("a domain login by its domain") << "login"
                                                  << "CORP\\*"
                                                  << "CORP\\bob" << true;
    QTest::newRow("a program by its beginning") << "program"
                                                << "Nightly*"
                                                << "Nightly backup" << true;
    QTest::newRow("one character") << "program"
                                   << "Job?"
                                   << "Job7" << true;
    QTest::newRow("brackets are themselves") << "program"
                                             << "[x]"
                                             << "x" << false;
    QTest::newRow("one of several") << "database"
                                    << "tempdb; Sales"
                                    << "sales" << true;
    QTest::newRow("a command") << "command"
                               << "BACKUP*"
                               << "BACKUP DATABASE" << true;
    QTest::newRow("another command") << "command"
                                     << "BACKUP*"
                                     << "SELECT" << false;
}

void TestAlerts::exclusions() {
    QFETCH(QString, field);
    QFETCH(QString, pattern);
    QFETCH(QString, value);
    QFETCH(bool, excluded);
    TAlertRules rules;
    TAlertRule& rule = rules.rule(TAlertKind::Blocking);
    TSummarySession head = session(60);
    const QStringList patterns = SplitAlertList(pattern);
    if (field == QLatin1String("login")) {
        rule.ExcludeLogins = patterns;
        head.Login = value;
    } else if (field == QLatin1String("program")) {
        rule.ExcludePrograms = patterns;
        head.Program = value;
    } else if (field == QLatin1String("database")) {
        rule.ExcludeDatabases = patterns;
        head.Database = value;
    } else {
        rule.ExcludeCommands = patterns;
        head.Command = value;
    }
    QCOMPARE(AlertExcludes(rule, head), excluded);
    TAlertTracker t(rules);
    QCOMPARE(
        t.observe(QStringLiteral("k"), QStringLiteral("S"), chains(0, {{head, 60000, 1}}), 1000, 0)
            .isEmpty(),
        excluded);
}

// A request past the threshold is raised once while it runs; the session's next long
// request is another episode.
void TestAlerts::longRequests() {
    TAlertTracker t;
    const auto look = [&](qint64 at, qint64 elapsed) {
        TServerSummary s = chains(at, {});
        s.UserRequests = {{session(70), elapsed}, {session(71), 1000}};
        return t.observe(QStringLiteral("k"), QStringLiteral("S"), s, 5000, at);
    };
    const qint64 minute = 60000;
    QCOMPARE(said(look(0, 9 * minute)), QStringList());
    const QList<TAlertChange> raised = look(2 * minute, 11 * minute);
    QCOMPARE(said(raised), QStringList{QStringLiteral("+long-request/70")});
    QCOMPARE(raised[0].Alert.SinceMs, 2 * minute - 11 * minute);
    // The answer came a little later than the clock says: still the same request.
    QCOMPARE(said(look(3 * minute, 12 * minute - 800)), QStringList());
    QCOMPARE(said(look(4 * minute, 2000)), QStringList{QStringLiteral("-long-request/70")});
    QCOMPARE(said(look(15 * minute, 11 * minute)), QStringList{QStringLiteral("+long-request/70")});
}

// More than N blocked at once, the excluded heads' waiters not counted; a rule limited to
// other servers says nothing of this one.
void TestAlerts::blockedCountAndServers() {
    TAlertRules rules;
    rules.rule(TAlertKind::Blocking).Enabled = false;
    rules.rule(TAlertKind::BlockedCount).Threshold = 3;
    rules.rule(TAlertKind::BlockedCount).ExcludePrograms = {QStringLiteral("Backup")};
    TAlertTracker t(rules);
    const TServerSummary four = chains(0, {{session(51), 100, 2},
                                           {session(52), 100, 2},
                                           {session(53, QStringLiteral("Backup")), 100, 5}});
    const QList<TAlertChange> raised =
        t.observe(QStringLiteral("k"), QStringLiteral("SQL01"), four, 1000, 0);
    QCOMPARE(said(raised), QStringList{QStringLiteral("+blocked-count/0")});
    QCOMPARE(raised[0].Alert.Waiting, 4);
    QCOMPARE(said(t.observe(QStringLiteral("k"), QStringLiteral("SQL01"),
                            chains(1000, {{session(51), 100, 3}}), 1000, 1000)),
             QStringList{QStringLiteral("-blocked-count/0")});

    rules.rule(TAlertKind::BlockedCount).Servers = {QStringLiteral("SQL02")};
    t.setRules(rules);
    QCOMPARE(said(t.observe(QStringLiteral("k"), QStringLiteral("SQL01"), four, 1000, 2000)),
             QStringList());
    QCOMPARE(said(t.observe(QStringLiteral("k2"), QStringLiteral("sql02"), four, 1000, 2000)),
             QStringList{QStringLiteral("+blocked-count/0")});
}

// A server silent for three of its periods: raised by the clock alone; a failed summary
// does not end the blocking it cannot see; the next answer ends the silence; a server the
// user lets go ends all of its alerts.
void TestAlerts::silence() {
    TAlertTracker t;
    const QString k = QStringLiteral("k");
    t.observe(k, QStringLiteral("S"), chains(0, {{session(53), 40000, 1}}), 5000, 0);
    QCOMPARE(said(t.observe(k, QStringLiteral("S"), failed(5000), 5000, 5000)), QStringList());
    QCOMPARE(said(t.tick(14999)), QStringList());
    const QList<TAlertChange> silent = t.tick(15000);
    QCOMPARE(said(silent), QStringList{QStringLiteral("+unanswered/0")});
    QCOMPARE(silent[0].Alert.SinceMs, 0);
    QCOMPARE(said(t.tick(20000)), QStringList());
    QCOMPARE(t.openCount(k), 2);
    QCOMPARE(said(t.observe(k, QStringLiteral("S"), chains(21000, {{session(53), 61000, 1}}), 5000,
                            21000)),
             QStringList{QStringLiteral("-unanswered/0")});
    QCOMPARE(said(t.forget(k, 22000)), QStringList{QStringLiteral("-blocking/53")});
    QCOMPARE(t.openCount(k), 0);
    QCOMPARE(said(t.tick(100000)), QStringList());
}

// The chains of a snapshot's rows: each waiting session under the head at the top of its
// chain, a head without a request named from its own row, a circle of waits left out.
void TestAlerts::chainsOfRows() {
    TRecList rows{rec(51, 0, 0),
                  rec(52, 51, 40000),
                  rec(53, 52, 5000),
                  rec(54, 51, 1000),
                  rec(60, 61, 700),
                  rec(61, 60, 800),
                  rec(70, 0, 0, QStringLiteral("running"))};
    rows[6]->ElapsedTime = 700000;
    TServerSummary s;
    FindChains(s, rows);
    QCOMPARE(s.Chains.size(), 1);
    QCOMPARE(s.Chains[0].Head.Spid, 51);
    QCOMPARE(s.Chains[0].Head.Login, QStringLiteral("user51"));
    QCOMPARE(s.Chains[0].Waiting, 3);
    QCOMPARE(s.Chains[0].LongestWaitMs, 40000);
    QCOMPARE(s.UserRequests.first().Session.Spid, 70);
    QCOMPARE(s.UserRequests.first().ElapsedMs, 700000);
    ClearRecList(rows);
}

// Written by the dialog's save and read back; a key missing keeps the built-in rule, a
// threshold out of range keeps the built-in threshold and says so.
void TestAlerts::rulesInTheSettings() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.reg"));
    TAlertRules rules = TAlertRules::Defaults();
    rules.rule(TAlertKind::Blocking).Threshold = 45;
    rules.rule(TAlertKind::Blocking).ExcludePrograms = {QStringLiteral("Nightly*"),
                                                        QStringLiteral("SQLAgent - Job")};
    rules.rule(TAlertKind::LongRequest).Enabled = false;
    rules.rule(TAlertKind::Unanswered).Servers = {QStringLiteral("SQL01")};
    {
        TRegistry reg(file);
        WriteAlertRules(reg, rules);
    }
    {
        TRegistry reg(file);
        QString problem;
        QCOMPARE(ReadAlertRules(reg, &problem), rules);
        QVERIFY(problem.isEmpty());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Dervel\\Alerts\\blocking"), false));
        reg.WriteInteger(QStringLiteral("Threshold"), 0);
        reg.CloseKey();
        QVERIFY(reg.DeleteKey(QStringLiteral("Software\\Dervel\\Alerts\\long-request")));
    }
    TRegistry reg(file);
    QString problem;
    const TAlertRules read = ReadAlertRules(reg, &problem);
    QCOMPARE(read.rule(TAlertKind::Blocking).Threshold, 30);
    QCOMPARE(read.rule(TAlertKind::Blocking).ExcludePrograms,
             rules.rule(TAlertKind::Blocking).ExcludePrograms);
    QCOMPARE(read.rule(TAlertKind::LongRequest),
             TAlertRules::Defaults().rule(TAlertKind::LongRequest));
    QVERIFY(problem.contains(QLatin1String("Threshold")));
}

// What a command is told: the documented variables, server texts on one line.
void TestAlerts::commandVariables() {
    TAlert a;
    a.Kind = TAlertKind::Blocking;
    a.Server = QStringLiteral("SQL01");
    a.Subject = session(53, QStringLiteral("Evil\nprogram; rm -rf /"));
    a.Threshold = 30;
    a.StartMs = 1700000000000;
    a.EndMs = 1700000042000;
    a.WaitMs = 41000;
    a.Waiting = 3;
    const QProcessEnvironment v = TAlertCommand::Variables({TAlertChangeKind::Cleared, a});
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_EVENT")), QStringLiteral("cleared"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_RULE")), QStringLiteral("blocking"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_SERVER")), QStringLiteral("SQL01"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_SPID")), QStringLiteral("53"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_PROGRAM")),
             QStringLiteral("Evil program; rm -rf /"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_WAIT_S")), QStringLiteral("41"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_WAITING")), QStringLiteral("3"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_STARTED")),
             QStringLiteral("2023-11-14T22:13:20Z"));
    QCOMPARE(v.value(QStringLiteral("DERVEL_ALERT_DURATION_S")), QStringLiteral("42"));
    QVERIFY2(v.value(QStringLiteral("DERVEL_ALERT_TEXT")).contains(QStringLiteral("41 с")),
             qPrintable(v.value(QStringLiteral("DERVEL_ALERT_TEXT"))));
    QVERIFY(!v.value(QStringLiteral("DERVEL_ALERT_TEXT")).contains(u'\n'));
}

// The command runs for each change with its variables; one that hangs is killed with what
// it started at its timeout, and the next one runs.
void TestAlerts::commandRunsAndIsKilledAtItsTimeout() {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("tell.sh"));
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n"
                "echo \"$DERVEL_ALERT_EVENT $DERVEL_ALERT_SPID\" >> \"$1\"\n"
                "if [ \"$DERVEL_ALERT_SPID\" = 99 ]; then sleep 60 & echo $! > \"$1.child\"; "
                "wait; fi\n");
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    QStringList reports;
    std::mutex lock;
    TAlertCommand command(QStringLiteral("\"%1\" \"%2\"").arg(script, out), 1000,
                          [&](const QString& line) {
                              std::lock_guard guard(lock);
                              reports << line;
                          });
    TAlert a;
    a.Subject = session(99);
    command.enqueue({TAlertChangeKind::Raised, a});
    a.Subject = session(53);
    command.enqueue({TAlertChangeKind::Cleared, a});
    const auto lines = [&] {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(lines(), QStringLiteral("raised 99\ncleared 53\n"), 10000);
    {
        std::lock_guard guard(lock);
        QVERIFY2(reports.join(u'\n').contains(QStringLiteral("остановлена")),
                 qPrintable(reports.join(u'\n')));
    }
    // The hung command's child went with it.
    QFile child(out + QStringLiteral(".child"));
    QVERIFY(child.open(QIODevice::ReadOnly));
    const QString stat =
        QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(child.readAll().trimmed()));
    const auto gone = [&stat] {
        QFile f(stat);
        return !f.open(QIODevice::ReadOnly) || f.readAll().contains(") Z ");
    };
    QTRY_VERIFY(gone());
}

QTEST_GUILESS_MAIN(TestAlerts)
#include "tst_alerts.moc"
