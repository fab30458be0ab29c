// A recording made by dervel-record from the test server with a scripted blocking chain,
// a session that grows, one that ends, one that comes and the server away in between:
// the two ends compared give the scripted growth and sessions; a span exported with
// dervel-record --export replays snapshot by snapshot as the same span of the original,
// keeps no text when asked, and its HTML summary opens in a real browser with a hostile
// program name shown as text.

#include "compare/momentcompare.h"
#include "episodes/episodefinder.h"
#include "incident/spanexport.h"
#include "pgstore/pgrecordingwriter.h"
#include "postgresserver.h"
#include "recorder/recordcommandline.h"
#include "recorder/recordingreader.h"
#include "recorderprocesses.h"
#include "registry/registry.h"
#include "scripting.h"
#include "sentsnapshots.h"
#include "tds_server.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::Literals::StringLiterals;
using testserver::Instance;
using testserver::TdsServer;

namespace {

constexpr char kSecret[] = "UPDATE dbo.Cards SET pin = 4242";
constexpr char kHostile[] = "<script>document.title='owned'</script>";

testserver::ScriptedSession session(int spid, const char* login) {
    testserver::ScriptedSession s;
    s.sessionId = spid;
    s.loginName = login;
    return s;
}

QString iso(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString(Qt::ISODateWithMs);
}

// The sessions of the script with the change; the recorder's own session, which is new
// after its reconnect, is not the script's.
QSet<int> spidsOf(const std::vector<TComparedRow>& rows, TRowChange change) {
    QSet<int> spids;
    for (const TComparedRow& r : rows)
        if (r.Change == change && !r.Row->Rec.SelfID)
            spids << r.Key.SPID;
    return spids;
}

// Every byte of the file and of its -wal, and every snapshot's rows inflated: a text the
// file holds is in one of them.
bool holds(const QString& path, const QByteArray& text) {
    for (const QString& name : {path, path + u"-wal"_s}) {
        QFile f(name);
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(text))
            return true;
    }
    TRecordingReader reader(path);
    for (int i = 0; i < reader.count(); ++i)
        for (const auto& [key, row] : reader.rowsAt(i))
            if (row.Text.toUtf8().contains(text))
                return true;
    return false;
}

} // namespace

class TestIncident : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void twoMomentsCompared();
    void anExportReplaysAsTheSpan();
    void aSpanOfADatabaseRecording();
    void withoutTextNoTextIsLeft_data();
    void withoutTextNoTextIsLeft();
    void theSummaryOpensInABrowser();
    void exportFailures_data();
    void exportFailures();

private:
    int exportSpan(const QStringList& arguments, QByteArray* said = nullptr);

    QTemporaryDir dir;
    TRecorderProcesses processes{dir.path()};
    QString recording;
    qint64 spanFrom = 0, spanTo = 0; // of snapshots inside the recording
};

void TestIncident::initTestCase() {
    QVERIFY(dir.isValid());
    TRegistry::SetDefaultLocation(dir.filePath(u"dervel"_s));
    auto instance = std::make_shared<Instance>();
    TSentSnapshots sent(*instance);
    testserver::ScriptedSession worker = session(51, "worker");
    worker.cpuTime = 100;
    worker.reads = 10;
    worker.writes = 1;
    worker.logicalReads = 1000;
    worker.programName = kHostile; // the busiest session: at the top of the summary
    instance->addSession(worker);
    instance->addSession(session(52, "leaver"));
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
    wait.sqlText = kSecret;
    instance->addRequest(wait);

    auto server = std::make_unique<TdsServer>(instance);
    const quint16 port = server->start(0);
    recording = dir.filePath(u"night.dervelrec"_s);
    QProcess* recorder =
        processes.start({u"--connection"_s, TRecorderProcesses::connection(port), u"--out"_s,
                         recording, u"--period"_s, u"150ms"_s, u"--with-text"_s});
    const auto after = [&sent](int more) {
        const int target = sent.count() + more;
        QTRY_VERIFY_WITH_TIMEOUT(sent.count() >= target, 20000);
    };
    after(4);
    instance->updateSession(51, {{"cpu_time", std::int64_t{600}},
                                 {"reads", std::int64_t{110}},
                                 {"writes", std::int64_t{6}},
                                 {"logical_reads", std::int64_t{3500}}});
    QVERIFY(instance->endSession(52));
    after(3);
    // The server away for a while: a gap between the two ends.
    server->stop();
    server.reset();
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += recorder->readAllStandardError()).contains("Нет соединения"),
                              said.constData(), 20000);
    instance->addSession(session(53, "newcomer"));
    instance->updateRequest(61, 0, {{"wait_time", std::int64_t{5000}}});
    server = std::make_unique<TdsServer>(instance);
    QCOMPARE(server->start(port), port);
    after(4);
    recorder->terminate();
    QVERIFY(recorder->waitForFinished(10000));
    QCOMPARE(recorder->exitCode(), kRecordExitOk);

    TRecordingReader reader(recording);
    QVERIFY(reader.count() >= 10);
    QCOMPARE(reader.gaps().size(), 1);
    spanFrom = reader.timeAt(1);
    spanTo = reader.timeAt(reader.count() - 2);
}

void TestIncident::twoMomentsCompared() {
    TRecordingReader reader(recording);
    const TRowState first = reader.rowsAt(0);
    const TRowState last = reader.rowsAt(reader.count() - 1);
    QVERIFY(GapBetween(reader.gaps(), reader.timeAt(0), reader.timeAt(reader.count() - 1)));
    const std::vector<TComparedRow> rows = CompareMoments(first, last);
    QCOMPARE(spidsOf(rows, TRowChange::Appeared), QSet<int>{53});
    QCOMPARE(spidsOf(rows, TRowChange::Ended), QSet<int>{52});
    QCOMPARE(spidsOf(rows, TRowChange::Changed), (QSet<int>{51, 61}));
    const auto worker = std::find_if(rows.begin(), rows.end(),
                                     [](const TComparedRow& r) { return r.Key.SPID == 51; });
    QCOMPARE(worker->Growth, (TCounterGrowth{500, 100, 5, 2500}));
    const auto ended = std::find_if(rows.begin(), rows.end(),
                                    [](const TComparedRow& r) { return r.Key.SPID == 52; });
    QCOMPARE(ended->Row->Rec.Login, u"leaver"_s); // once, with its last values
}

// The exported file replays, snapshot by snapshot, as the span of the original.
static void sameAsTheSpan(TRecordingSource& original, TRecordingSource& exported, qint64 from,
                          qint64 to) {
    const auto [first, last] = SpanIndexes(original, from, to);
    QCOMPARE(exported.count(), last - first + 1);
    for (int i = 0; i < exported.count(); ++i) {
        QCOMPARE(exported.timeAt(i), original.timeAt(first + i));
        QVERIFY2(SameRowStates(exported.rowsAt(i), original.rowsAt(first + i)),
                 qPrintable(u"snapshot %1"_s.arg(i)));
        QCOMPARE(exported.gapBefore(i).has_value(), original.gapBefore(first + i).has_value());
    }
}

int TestIncident::exportSpan(const QStringList& arguments, QByteArray* said) {
    QProcess* p = processes.start(QStringList{u"--export"_s} + arguments);
    if (!p->waitForFinished(30000))
        return -1;
    if (said)
        *said = p->readAllStandardError();
    return p->exitCode();
}

void TestIncident::anExportReplaysAsTheSpan() {
    const QString out = dir.filePath(u"span.dervelrec"_s);
    QByteArray said;
    QCOMPARE(
        exportSpan({recording, u"--from"_s, iso(spanFrom), u"--to"_s, iso(spanTo), u"--out"_s, out},
                   &said),
        kRecordExitOk);
    TRecordingReader original(recording);
    TRecordingReader exported(out);
    QCOMPARE(SpanIndexes(original, spanFrom, spanTo).first, 1);
    sameAsTheSpan(original, exported, spanFrom, spanTo);
    QCOMPARE(exported.gaps(), original.gaps());
    // The span's episodes go with it, kept in the file: the head's chain cut by the gap,
    // and the one after it still going where the span ends.
    std::vector<TRecordedEpisode> kept;
    qint64 through = -1;
    QVERIFY(exported.readEpisodes(kept, through));
    QVERIFY(!kept.empty());
    const std::vector<TBlockingEpisode> episodes = FindEpisodes(exported);
    QCOMPARE(episodes, FindEpisodes(original, spanFrom, spanTo));
    QCOMPARE(episodes.size(), std::size_t(2));
    QCOMPARE(episodes[0].HeadSPID, 60);
    QVERIFY(episodes[0].CutByGap);
    QVERIFY(episodes[1].Open);
    QCOMPARE(exported.info().Server, original.info().Server);
    QVERIFY(exported.info().WithText);
    QVERIFY(said.contains(QByteArray::number(exported.count())));
}

// The same recording kept in a PostgreSQL database (copied there by the database's
// writer), exported from there by its address and server.
void TestIncident::aSpanOfADatabaseRecording() {
    TPostgresServer pg;
    QVERIFY2(pg.error().isEmpty(), qPrintable(pg.error()));
    QVERIFY(pg.createDatabase(u"team"_s));
    const QString db = pg.uri(u"team"_s);
    TRecordingReader original(recording);
    {
        TPgRecordingWriter w(db, original.info());
        int gap = 0;
        for (int i = 0; i < original.count(); ++i) {
            if (original.gapBefore(i)) {
                const TRecordingGap& g = original.gaps()[gap++];
                w.addGap(g.Start, g.End, g.Reason);
            }
            TRecordedRows rows;
            for (const auto& [key, row] : original.rowsAt(i))
                rows.push_back(row);
            w.append(original.timeAt(i), rows);
        }
    }
    const QString out = dir.filePath(u"fromdb.dervelrec"_s);
    QByteArray said;
    QCOMPARE(exportSpan({db, u"--server"_s, original.info().Server, u"--from"_s, iso(spanFrom),
                         u"--to"_s, iso(spanTo), u"--out"_s, out},
                        &said),
             kRecordExitOk);
    TRecordingReader exported(out);
    sameAsTheSpan(original, exported, spanFrom, spanTo);
    QCOMPARE(exported.gaps(), original.gaps());
    QCOMPARE(exported.info().Server, original.info().Server);
}

void TestIncident::withoutTextNoTextIsLeft_data() {
    QTest::addColumn<bool>("withoutText");
    // With the texts the same check finds them: it can fail.
    QTest::newRow("with texts") << false;
    QTest::newRow("without texts") << true;
}

void TestIncident::withoutTextNoTextIsLeft() {
    QFETCH(bool, withoutText);
    const QString out = dir.filePath(withoutText ? u"without.dervelrec"_s : u"with.dervelrec"_s);
    QStringList arguments{recording,  u"--from"_s, iso(spanFrom), u"--to"_s, iso(spanTo),
                          u"--out"_s, out};
    if (withoutText)
        arguments << u"--without-text"_s;
    QCOMPARE(exportSpan(arguments), kRecordExitOk);
    QVERIFY(!QFile::exists(out + u"-wal"_s)); // closed: everything is in the file
    QCOMPARE(holds(out, kSecret), !withoutText);
    QCOMPARE(TRecordingReader(out).info().WithText, !withoutText);
}

void TestIncident::theSummaryOpensInABrowser() {
    const QString chromium = QStandardPaths::findExecutable(u"chromium"_s);
    if (chromium.isEmpty())
        QSKIP("Debian's chromium is not installed (apt-get install chromium)");
    const QString out = dir.filePath(u"summary.dervelrec"_s);
    const QString html = dir.filePath(u"summary.html"_s);
    QCOMPARE(exportSpan({recording, u"--from"_s, iso(spanFrom), u"--to"_s, iso(spanTo), u"--out"_s,
                         out, u"--html"_s, html}),
             kRecordExitOk);
    // It names logins, hosts and programs: as private as the recording it comes from.
    QCOMPARE(QFile::permissions(html) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    QProcess browser;
    // As root Chromium runs only without its sandbox; a profile of the test's own keeps
    // it away from the user's.
    browser.start(chromium, {u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s,
                             u"--user-data-dir="_s + dir.filePath(u"chromium"_s), u"--dump-dom"_s,
                             QUrl::fromLocalFile(html).toString()});
    QVERIFY(browser.waitForFinished(60000));
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    QVERIFY2(dom.contains(u"Эпизоды блокировок"_s), qPrintable(dom.left(2000)));
    // The episode's row: its head, the one session waiting on it, and still going.
    QVERIFY2(dom.contains(u"<td>60</td><td>head</td><td>WORKSTATION</td>"_s), qPrintable(dom));
    QVERIFY(dom.contains(u"(продолжается)"_s));
    QVERIFY(dom.contains(u"Больше всего ЦП"_s));
    QVERIFY(dom.contains(u"Дольше всего ждали"_s));
    QVERIFY(dom.contains(u"waiter"_s)); // the waiting session among the top waits
    // The hostile program name is text: no script ran (the title is the summary's), and
    // the DOM holds the name escaped, no element of it.
    QVERIFY(dom.contains(u"&lt;script&gt;document.title='owned'&lt;/script&gt;"_s));
    QVERIFY(!dom.contains(u"<script"_s));
    QVERIFY(!dom.contains(u"<title>owned</title>"_s));
}

void TestIncident::exportFailures_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString from = u"--from=2020-01-01T00:00:00Z"_s, to = u"--to=2020-01-01T01:00:00Z"_s;
    QTest::newRow("no snapshot in the span")
        << QStringList{u"@recording@"_s, from, to, u"--out=@dir@/empty.dervelrec"_s}
        << kRecordExitFailed << u"нет снимков за этот период"_s;
    QTest::newRow("the output is there already")
        << QStringList{u"@recording@"_s, u"--from=@from@"_s, u"--to=@to@"_s, u"--out=@recording@"_s}
        << kRecordExitFailed << u"уже существует"_s;
    QTest::newRow("no recording") << QStringList{u"@dir@/none.dervelrec"_s, from, to,
                                                 u"--out=@dir@/x.dervelrec"_s}
                                  << kRecordExitFailed << u"none.dervelrec"_s;
    QTest::newRow("no end") << QStringList{u"@recording@"_s, from, u"--out=@dir@/y"_s}
                            << kRecordExitUsage << u"--to"_s;
}

void TestIncident::exportFailures() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    arguments.replaceInStrings(u"@recording@"_s, recording);
    arguments.replaceInStrings(u"@dir@"_s, dir.path());
    arguments.replaceInStrings(u"@from@"_s, iso(spanFrom));
    arguments.replaceInStrings(u"@to@"_s, iso(spanTo));
    QByteArray said;
    QCOMPARE(exportSpan(arguments, &said), status);
    QVERIFY2(QString::fromUtf8(said).contains(message), said.constData());
}

QTEST_GUILESS_MAIN(TestIncident)
#include "tst_incident.moc"
