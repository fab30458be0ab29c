// dervel-record's /metrics read by a real Prometheus: a recorder of a test server with a
// scripted blocking chain, scraped every second by a Prometheus of the test's own, whose
// HTTP query API must tell the chain's blocked sessions; a recorder of two servers, one
// of which hangs, goes on with the other; and the example rules pass promtool.

#include "recorder/recordcommandline.h"
#include "recorder/recordingreader.h"
#include "recorderprocesses.h"
#include "registry/registry.h"
#include "scripting.h"
#include "tds_server.h"

#include "loopbackhttp.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using testserver::Instance;
using testserver::TdsServer;

namespace {

quint16 freePort() {
    return FreeLoopbackPort();
}

QByteArray get(quint16 APort, const QByteArray& APath) {
    return LoopbackGet(APort, APath);
}

// The value Prometheus's query API gives for an instant query of one series; empty when
// it has none (yet).
QString queried(quint16 APort, const QString& AQuery) {
    const QByteArray json = get(APort, "/api/v1/query?query=" + QUrl::toPercentEncoding(AQuery));
    const QJsonArray result =
        QJsonDocument::fromJson(json).object()[u"data"_s].toObject()[u"result"_s].toArray();
    if (result.size() != 1)
        return {};
    return result[0].toObject()[u"value"_s].toArray()[1].toString();
}

testserver::ScriptedSession session(int spid, const char* login) {
    testserver::ScriptedSession s;
    s.sessionId = spid;
    s.loginName = login;
    return s;
}

} // namespace

class TestPrometheus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void prometheusReadsTheBlockedSessions();
    void aServerThatHangsDelaysNobody();
    void theExampleRulesPass();

private:
    QTemporaryDir dir;
    TRecorderProcesses processes{dir.path()};
};

void TestPrometheus::initTestCase() {
    QVERIFY(dir.isValid());
    TRegistry::SetDefaultLocation(dir.filePath(u"dervel"_s));
}

void TestPrometheus::prometheusReadsTheBlockedSessions() {
    auto instance = std::make_shared<Instance>();
    for (int spid : {60, 61, 62, 63})
        instance->addSession(session(spid, spid == 60 ? "head" : "waiter"));
    // A chain: 61 and 62 wait for 60, 63 for 62.
    for (auto [spid, blocker, wait] :
         {std::tuple{61, 60, 12000}, {62, 60, 45000}, {63, 62, 3000}}) {
        testserver::ScriptedRequest r;
        r.sessionId = spid;
        r.status = "suspended";
        r.command = "UPDATE";
        r.waitType = "LCK_M_X";
        r.waitTime = wait;
        r.blockingSessionId = blocker;
        instance->addRequest(r);
    }
    TdsServer server(instance);
    const quint16 port = server.start(0);
    const quint16 metrics = freePort();
    QProcess* recorder =
        processes.start({u"--connection"_s, TRecorderProcesses::connection(port), u"--out"_s,
                         dir.filePath(u"chain.dervelrec"_s), u"--period"_s, u"200ms"_s,
                         u"--metrics"_s, u"127.0.0.1:%1"_s.arg(metrics)});
    QTRY_VERIFY_WITH_TIMEOUT(get(metrics, "/metrics").contains("dervel_up{"), 20000);
    QVERIFY(get(metrics, "/elsewhere").startsWith("not found"));

    const quint16 web = freePort();
    QFile config(dir.filePath(u"prometheus.yml"_s));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                "scrape_configs:\n  - job_name: dervel\n    static_configs:\n"
                                "      - targets: ['127.0.0.1:%1']\n")
                     .arg(metrics)
                     .toUtf8());
    config.close();
    QProcess prometheus;
    prometheus.setProcessChannelMode(QProcess::MergedChannels);
    prometheus.start(u"prometheus"_s, {u"--config.file="_s + config.fileName(),
                                       u"--storage.tsdb.path="_s + dir.filePath(u"tsdb"_s),
                                       u"--web.listen-address=127.0.0.1:%1"_s.arg(web)});
    QVERIFY2(prometheus.waitForStarted(10000),
             "prometheus does not start; scripts/deps.sh installs prometheus");
    const QString server_ = u"127.0.0.1,%1"_s.arg(port);
    QTRY_COMPARE_WITH_TIMEOUT(
        queried(web, u"dervel_blocked_sessions{server=\"%1\"}"_s.arg(server_)), u"3"_s, 30000);
    QCOMPARE(queried(web, u"dervel_head_blockers"_s), u"1"_s);
    QCOMPARE(queried(web, u"dervel_blocking_wait_seconds_max"_s), u"45"_s);
    QCOMPARE(queried(web, u"dervel_up"_s), u"1"_s);
    prometheus.terminate();
    QVERIFY(prometheus.waitForFinished(10000));
    recorder->terminate();
    QVERIFY(recorder->waitForFinished(10000));
    QCOMPARE(recorder->exitCode(), kRecordExitOk);
}

void TestPrometheus::aServerThatHangsDelaysNobody() {
    // One answers; the other accepts the connection and then says nothing at all.
    TdsServer answering;
    const quint16 port = answering.start(0);
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    {
        TRegistry reg;
        int order = 0;
        for (auto [id, name, p] : {std::tuple{u"A1"_s, u"Отвечает"_s, port},
                                   std::tuple{u"A2"_s, u"Молчит"_s, silent.serverPort()}}) {
            QVERIFY(reg.OpenKey(
                u"Software\\Dervel\\Servers\\{00000000-0000-0000-0000-0000000000%1}"_s.arg(id),
                true));
            reg.WriteString(u"Name"_s, name);
            reg.WriteString(u"ConnectionString"_s,
                            TRecorderProcesses::connection(p).replace(u"Connect Timeout=3"_s,
                                                                      u"Connect Timeout=6"_s));
            reg.WriteInteger(u"Order"_s, order++);
            reg.CloseKey();
        }
    }
    const QString folder = dir.filePath(u"estate"_s);
    const quint16 metrics = freePort();
    QProcess* p = processes.start({u"--all"_s, u"--out"_s, folder, u"--period"_s, u"100ms"_s,
                                   u"--metrics"_s, u"127.0.0.1:%1"_s.arg(metrics)});
    const QString answered = folder + u"/Отвечает.dervelrec"_s;
    // Ten snapshots of the one that answers, while the other's first login still hangs
    // (it gives up after its 6 s and says so).
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(TRecorderProcesses::snapshotsIn(answered) >= 10, 15000);
    said += p->readAllStandardError();
    QVERIFY2(!said.contains("[Молчит]"), said.constData());
    const QByteArray text = get(metrics, "/metrics");
    QVERIFY2(text.contains("dervel_up{server=\"Отвечает\"} 1"), text.constData());
    QVERIFY2(text.contains("dervel_up{server=\"Молчит\"} 0"), text.constData());
    QVERIFY(!QFileInfo::exists(folder + u"/Молчит.dervelrec"_s));
    // The end waits for the silent one's login to time out, and no longer.
    p->terminate();
    QVERIFY(p->waitForFinished(20000));
    QCOMPARE(p->exitCode(), kRecordExitOk);
    QCOMPARE(TRecordingReader(answered).info().Server, u"Отвечает"_s);
}

void TestPrometheus::theExampleRulesPass() {
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start(u"promtool"_s,
                   {u"check"_s, u"rules"_s,
                    QStringLiteral(DERVEL_SOURCE_DIR "/packaging/dervel-record.rules.yml")});
    QVERIFY2(promtool.waitForStarted(10000),
             "promtool missing; scripts/deps.sh installs prometheus");
    QVERIFY(promtool.waitForFinished(30000));
    const QByteArray said = promtool.readAll();
    QVERIFY2(promtool.exitCode() == 0, said.constData());
    QVERIFY2(said.contains("SUCCESS: 3 rules found"), said.constData());
}

QTEST_GUILESS_MAIN(TestPrometheus)
#include "tst_prometheus.moc"
