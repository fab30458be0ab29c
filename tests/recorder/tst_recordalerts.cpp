// dervel-record's alerts against a scripted chain on the test server: the user's command
// run once when the episode starts and once when it ends, with the documented variables,
// while a command that hangs is killed at its timeout without holding up the recording;
// an excluded program raises nothing; the events are in the file.

#include "alerts/alertrulesstore.h"
#include "loopbackhttp.h"
#include "recorderprocesses.h"
#include "registry/registry.h"
#include "scripting.h"
#include "testserverfixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestRecordAlerts : public QObject {
    Q_OBJECT
private slots:
    void commandAndEvents();

private:
    QTemporaryDir dir;
    TRecorderProcesses processes{dir.path()};
};

void TestRecordAlerts::commandAndEvents() {
    TTestServer server;
    auto& instance = server.instance();
    testserver::ScriptedSession head;
    head.loginName = "report_user";
    head.hostName = "WS-07";
    head.programName = "Month-end report";
    head.openTransactionCount = 1;
    const int headId = instance.addSession(head);
    const int waiter = instance.addSession({});
    instance.addRequest({.sessionId = waiter,
                         .status = "suspended",
                         .waitType = "LCK_M_X",
                         .waitTime = 40000,
                         .blockingSessionId = headId});
    testserver::ScriptedSession backup;
    backup.programName = "Nightly backup";
    const int backupId = instance.addSession(backup);
    const int behindBackup = instance.addSession({});
    instance.addRequest({.sessionId = behindBackup,
                         .status = "suspended",
                         .waitTime = 50000,
                         .blockingSessionId = backupId});

    const QString rulesFile = dir.filePath(u"rules.reg"_s);
    {
        TAlertRules rules = TAlertRules::Defaults();
        rules.rule(TAlertKind::Blocking).ExcludePrograms = {u"Nightly*"_s};
        rules.rule(TAlertKind::LongRequest).Enabled = false;
        TRegistry reg(rulesFile);
        WriteAlertRules(reg, rules);
    }
    // The command: one line per call, then, for a raised alert, a hang.
    const QString told = dir.filePath(u"told.txt"_s);
    const QString script = dir.filePath(u"on-alert.sh"_s);
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n"
                "printf '%s|%s|%s|%s|%s|%s|%s\\n' \"$DERVEL_ALERT_EVENT\" \"$DERVEL_ALERT_RULE\" "
                "\"$DERVEL_ALERT_SPID\" \"$DERVEL_ALERT_LOGIN\" \"$DERVEL_ALERT_PROGRAM\" "
                "\"$DERVEL_ALERT_WAITING\" \"$DERVEL_ALERT_DURATION_S\" >> \"$1\"\n"
                "[ \"$DERVEL_ALERT_EVENT\" = raised ] && exec sleep 60\n"
                "exit 0\n");
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const QString out = dir.filePath(u"alerts.dervelrec"_s);
    const quint16 metrics = FreeLoopbackPort();
    QProcess* p =
        processes.start({u"--metrics"_s, u"127.0.0.1:%1"_s.arg(metrics), u"--connection"_s,
                         TRecorderProcesses::connection(server.port()), u"--out"_s, out,
                         u"--period"_s, u"100ms"_s, u"--rules"_s, rulesFile, u"--on-alert"_s,
                         u"\"%1\" \"%2\""_s.arg(script, told), u"--on-alert-timeout"_s, u"1s"_s});
    QVERIFY(p->waitForStarted());
    const auto lines = [&told] {
        QFile f(told);
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    };
    QTRY_COMPARE_WITH_TIMEOUT(lines().size(), 1, 10000);
    QCOMPARE(lines()[0], u"raised|blocking|%1|report_user|Month-end report|1|"_s.arg(headId));
    // The open alert counts for Prometheus too, by its rule.
    QTRY_VERIFY(LoopbackGet(metrics, "/metrics").contains("rule=\"blocking\"} 1"));
    // The command hangs for its second; the recording goes on meanwhile.
    const int during = TRecorderProcesses::snapshotsIn(out);
    QTRY_VERIFY_WITH_TIMEOUT(TRecorderProcesses::snapshotsIn(out) >= during + 5, 5000);
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += p->readAllStandardError()).contains("остановлена"), 10000);

    instance.removeRequest(waiter, 0);
    QTRY_COMPARE_WITH_TIMEOUT(lines().size(), 2, 10000);
    QVERIFY2(lines()[1].startsWith(u"cleared|blocking|%1|report_user|"_s.arg(headId)),
             qPrintable(lines()[1]));
    // Once each: a few snapshots later nothing more was told.
    const int after = TRecorderProcesses::snapshotsIn(out);
    QTRY_VERIFY(TRecorderProcesses::snapshotsIn(out) >= after + 5);
    QCOMPARE(lines().size(), 2);
    QVERIFY(!LoopbackGet(metrics, "/metrics").contains("rule=\"blocking\"} 1"));

    p->terminate();
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitCode(), 0);
    TRecordingReader reader(out);
    const QList<TRecordingEvent>& events = reader.events();
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].Kind, u"raised"_s);
    QCOMPARE(events[1].Kind, u"cleared"_s);
    QCOMPARE(events[0].Rule, u"blocking"_s);
    QCOMPARE(events[0].Key, events[1].Key);
    QVERIFY(events[1].Time > events[0].Time);
    QVERIFY(events[0].Subject.contains(u"Month-end report"_s));
    QVERIFY(reader.indexAt(events[0].SnapshotTime) >= 0);
    QCOMPARE(reader.timeAt(reader.indexAt(events[0].SnapshotTime)), events[0].SnapshotTime);
    const QJsonObject details = QJsonDocument::fromJson(events[0].Details.toUtf8()).object();
    QCOMPARE(details[u"spid"_s].toInt(), headId);
    QCOMPARE(details[u"wait_ms"_s].toInt(), 40000);
}

QTEST_GUILESS_MAIN(TestRecordAlerts)
#include "tst_recordalerts.moc"
