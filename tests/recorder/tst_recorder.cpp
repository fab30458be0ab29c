// dervel-record as a process against the test server: a scripted run with a blocking
// chain, a session that comes and goes, the server stopped and started again and the
// recorder killed with SIGKILL and started again; every recorded snapshot is then what
// the server sent the recorder, the lost times are gaps, and SIGTERM ends it cleanly.
// Then the failures and their exit statuses, a login refused at a reconnect, and a wall
// clock that steps while retention is on.

#include "database/dbconnection.h"
#include "recorder/recordcommandline.h"
#include "recorder/recorder.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"
#include "recorderprocesses.h"
#include "registry/registry.h"
#include "scripting.h"
#include "sentsnapshots.h"
#include "tds_server.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using testserver::BatchOutcome;
using testserver::Instance;
using testserver::ResultSet;
using testserver::TdsServer;

namespace {

testserver::ScriptedSession session(int spid, const char* login) {
    testserver::ScriptedSession s;
    s.sessionId = spid;
    s.loginName = login;
    return s;
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyRecordedSnapshotIsWhatWasSent();
    void failuresHaveTheirExitStatus_data();
    void failuresHaveTheirExitStatus();
    void aLoginRefusedLaterEndsTheRecording();
    void aSavedServerByName();
    void aClockThatStepsKeepsTheHistory_data();
    void aClockThatStepsKeepsTheHistory();

private:
    QProcess* recorder(const QStringList& arguments) { return processes.start(arguments); }
    QString connection(quint16 port, const QString& password = u"Dervel-2026"_s) const {
        return TRecorderProcesses::connection(port, password);
    }

    QTemporaryDir dir;
    TRecorderProcesses processes{dir.path()};
};

void TestRecorder::initTestCase() {
    QVERIFY(dir.isValid());
    TRegistry::SetDefaultLocation(dir.filePath(u"dervel"_s));
}

void TestRecorder::everyRecordedSnapshotIsWhatWasSent() {
    auto instance = std::make_shared<Instance>();
    TSentSnapshots sent(*instance);
    for (int spid : {51, 52, 53})
        instance->addSession(session(spid, "worker"));
    testserver::ScriptedSession head = session(60, "head");
    head.openTransactionCount = 1;
    instance->addSession(head);
    instance->addSession(session(61, "waiter"));
    testserver::ScriptedRequest wait;
    wait.sessionId = 61;
    wait.status = "suspended";
    wait.command = "UPDATE";
    wait.waitType = "LCK_M_X";
    wait.waitTime = 2000;
    wait.blockingSessionId = 60;
    instance->addRequest(wait);

    auto server = std::make_unique<TdsServer>(instance);
    const quint16 port = server->start(0);
    const QString out = dir.filePath(u"night.dervelrec"_s);
    const QStringList arguments{u"--connection"_s, connection(port), u"--out"_s, out,
                                u"--period"_s,     u"150ms"_s};
    QProcess* first = recorder(arguments);
    const auto after = [&sent](int more) {
        const int target = sent.count() + more;
        QTRY_VERIFY_WITH_TIMEOUT(sent.count() >= target, 20000);
    };
    after(3);
    instance->addSession(session(90, "newcomer")); // comes
    after(3);
    instance->updateRequest(61, 0, {{"wait_time", std::int64_t{5000}}});
    QVERIFY(instance->endSession(90)); // and goes
    after(3);

    // The server stops; the recorder waits for it and goes on.
    server->stop();
    server.reset();
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += first->readAllStandardError()).contains("Нет соединения"),
                              said.constData(), 20000);
    server = std::make_unique<TdsServer>(instance);
    QCOMPARE(server->start(port), port);
    after(3);

    // Killed outright just as a snapshot has come in, and started again.
    const int before = sent.count();
    QTRY_VERIFY_WITH_TIMEOUT(sent.count() > before, 20000);
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QProcess* second = recorder(arguments);
    after(4);
    second->terminate(); // SIGTERM
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), kRecordExitOk);
    QVERIFY(second->readAllStandardError().contains("Запись остановлена"));

    TRecordingReader reader(out);
    const std::vector<ResultSet> all = sent.all();
    // A snapshot in flight when the server stopped or the recorder was killed may be
    // missing; none may differ and none may be out of order.
    int skipped = 0;
    std::size_t next = 0;
    for (int i = 0; i < reader.count(); ++i) {
        const QString why = next < all.size() ? difference(reader.rowsAt(i), all[next]) : QString();
        while (next < all.size() && !difference(reader.rowsAt(i), all[next]).isEmpty()) {
            ++next;
            ++skipped;
        }
        QVERIFY2(next < all.size(),
                 qPrintable(u"snapshot %1 was never sent: %2"_s.arg(i).arg(why)));
        ++next;
    }
    QVERIFY2(skipped <= 2, qPrintable(QString::number(skipped)));
    QVERIFY(reader.count() >= 16);

    // The newcomer is in some snapshots and not in the last one.
    const auto has = [](const TRowState& rows, int spid) {
        return std::any_of(rows.begin(), rows.end(),
                           [spid](const auto& r) { return r.first.SPID == spid; });
    };
    bool seen = false;
    for (int i = 0; i < reader.count(); ++i)
        seen = seen || has(reader.rowsAt(i), 90);
    QVERIFY(seen);
    QVERIFY(!has(reader.rowsAt(reader.count() - 1), 90));

    // Two gaps: the server away, with the driver's words, and the recorder not running.
    QCOMPARE(reader.gaps().size(), 2);
    QVERIFY(!reader.gaps()[0].Reason.isEmpty());
    QVERIFY(reader.gaps()[0].Reason != u"запись не велась"_s);
    QCOMPARE(reader.gaps()[1].Reason, u"запись не велась"_s);
    for (const TRecordingGap& g : reader.gaps()) {
        QVERIFY(g.End > g.Start);
        const int at = reader.indexAt(g.End);
        QCOMPARE(reader.gapBefore(at), std::optional<TRecordingGap>(g));
    }
}

void TestRecorder::failuresHaveTheirExitStatus_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString text = dir.filePath(u"notes.txt"_s);
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a recording\n");
    f.close();
    QTest::newRow("no arguments") << QStringList{} << kRecordExitUsage << u"--help"_s;
    QTest::newRow("an unknown saved server")
        << QStringList{u"--server"_s, u"Нет такого"_s, u"--out"_s, dir.filePath(u"x"_s)}
        << kRecordExitUsage << u"Нет сохранённого подключения «Нет такого»"_s;
    QTest::newRow("a server that does not answer")
        << QStringList{u"--connection"_s, connection(1), u"--out"_s, dir.filePath(u"y"_s)}
        << kRecordExitNoConnection << u"Не удалось подключиться"_s;
    QTest::newRow("a login the server refuses")
        << QStringList{u"--connection"_s, u"@wrong-password@"_s, u"--out"_s, dir.filePath(u"z"_s)}
        << kRecordExitLoginRefused << u"отклонил вход"_s;
    QTest::newRow("a file that is no recording")
        << QStringList{u"--connection"_s, u"@server@"_s, u"--out"_s, text} << kRecordExitFailed
        << u"не является записью Dervel"_s;
}

void TestRecorder::failuresHaveTheirExitStatus() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    TdsServer server;
    const quint16 port = server.start(0);
    arguments.replaceInStrings(u"@server@"_s, connection(port));
    arguments.replaceInStrings(u"@wrong-password@"_s, connection(port, u"wrong"_s));
    QProcess* p = recorder(arguments);
    QVERIFY(p->waitForFinished(20000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), status);
    const QString errors = QString::fromUtf8(p->readAllStandardError());
    QVERIFY2(errors.contains(message), qPrintable(errors));
    QFile f(dir.filePath(u"notes.txt"_s));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("not a recording\n"));
}

void TestRecorder::aLoginRefusedLaterEndsTheRecording() {
    auto server = std::make_unique<TdsServer>();
    const quint16 port = server->start(0);
    const QString out = dir.filePath(u"refused-later.dervelrec"_s);
    QProcess* p =
        recorder({u"--connection"_s, connection(port), u"--out"_s, out, u"--period"_s, u"100ms"_s});
    QTRY_VERIFY_WITH_TIMEOUT(TRecorderProcesses::snapshotsIn(out) >= 2, 20000);
    // The password was changed while the server was away: every try now counts towards
    // a lock-out, so there is one.
    server->stop();
    server = std::make_unique<TdsServer>();
    server->setRefuseLogins(true);
    QCOMPARE(server->start(port), port);
    QVERIFY(p->waitForFinished(20000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), kRecordExitLoginRefused);
    const QString errors = QString::fromUtf8(p->readAllStandardError());
    QVERIFY2(errors.contains(u"отклонил вход"_s), qPrintable(errors));
    QVERIFY2(errors.contains(u"Login failed for user"_s), qPrintable(errors));
    QVERIFY(TRecordingReader(out).count() >= 2); // what was recorded stays
}

void TestRecorder::aClockThatStepsKeepsTheHistory_data() {
    QTest::addColumn<qint64>("step");
    QTest::newRow("a year ahead") << 365LL * 86400000;
    QTest::newRow("an hour back") << -3600000LL;
}

void TestRecorder::aClockThatStepsKeepsTheHistory() {
    QFETCH(qint64, step);
    TdsServer server;
    const quint16 port = server.start(0);
    const QString out = dir.filePath(u"clock-%1.dervelrec"_s.arg(QTest::currentDataTag()));
    TRecordingInfo info;
    info.Server = u"Тест"_s;
    TRecordingWriter writer(out, info);
    writer.FullEvery = 2; // so that retention has something to drop
    TDbConnection db;
    db.setConnectionString(connection(port));
    TRecorderOptions options;
    options.PeriodMs = 100;
    options.RetainMs = 3600000; // an hour, kept rolling
    QStringList said;
    TRecorder recorder(
        writer,
        [&db]() -> TDbConnection& {
            if (!db.connected())
                db.open();
            return db;
        },
        [](TDbConnection& lost) { lost.close(); }, options,
        [&said](const QString& line) { said << line; });
    // The wall clock steps after the fifth snapshot; the recording stops after the tenth.
    std::atomic<bool> stop{false};
    int asked = 0;
    recorder.Clock = [&] {
        if (++asked >= 10)
            stop = true;
        return QDateTime::currentMSecsSinceEpoch() + (asked > 5 ? step : 0);
    };
    recorder.Run(stop);
    TRecordingReader reader(out);
    QCOMPARE(reader.count(), writer.snapshotsWritten());
    QVERIFY(reader.count() >= 9);
    for (int i = 1; i < reader.count(); ++i) {
        const qint64 apart = reader.timeAt(i) - reader.timeAt(i - 1);
        QVERIFY2(apart > 0 && apart < 5000, qPrintable(u"%1 ms apart at %2"_s.arg(apart).arg(i)));
    }
    QVERIFY2(said.filter(u"Часы компьютера ушли от времени записи"_s).size() == 1,
             qPrintable(said.join(u'\n')));
}

void TestRecorder::aSavedServerByName() {
    TdsServer server;
    const quint16 port = server.start(0);
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(u"Software\\Dervel\\Servers\\{00000000-0000-0000-0000-0000000000AA}"_s,
                            true));
        reg.WriteString(u"Name"_s, u"Склад"_s);
        reg.WriteString(u"ConnectionString"_s, connection(port));
        reg.WriteInteger(u"Order"_s, 0);
        reg.CloseKey();
    }
    const QString out = dir.filePath(u"saved.dervelrec"_s);
    QProcess* p = recorder({u"--server"_s, u"Склад"_s, u"--out"_s, out, u"--period"_s, u"100ms"_s,
                            u"--duration"_s, u"1s"_s, u"--with-text"_s});
    QVERIFY(p->waitForFinished(20000));
    QCOMPARE(p->exitCode(), kRecordExitOk);
    TRecordingReader reader(out);
    QCOMPARE(reader.info().Server, u"Склад"_s);
    QVERIFY(reader.info().WithText);
    QVERIFY2(reader.count() >= 3, qPrintable(QString::number(reader.count())));
    // The recorder's own session is running its text statement when that asks: its text
    // is there.
    bool ownText = false;
    for (const auto& [key, row] : reader.rowsAt(reader.count() - 1))
        ownText = ownText || (row.Rec.SelfID && row.Text.contains(u"dm_exec_sql_text"_s));
    QVERIFY(ownText);
}

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
