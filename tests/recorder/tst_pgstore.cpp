// Recordings in a real PostgreSQL 15: two dervel-record processes of two test servers
// write into one database, one of them killed with SIGKILL and started again, and every
// snapshot read back is what its server sent; a day's partition dropped by retention
// takes nothing later with it; a second writer of a server is refused; a schema newer
// than the program is refused by the writer, the reader and dervel-record.

#include "pgstore/pgrecordingreader.h"
#include "pgstore/pgrecordingwriter.h"
#include "pgstore/pgschema.h"
#include "postgresserver.h"
#include "recorder/recordcommandline.h"
#include "recorderprocesses.h"
#include "registry/registry.h"
#include "sentsnapshots.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using testserver::Instance;
using testserver::TdsServer;

namespace {

testserver::ScriptedSession session(int spid, const char* login) {
    testserver::ScriptedSession s;
    s.sessionId = spid;
    s.loginName = login;
    return s;
}

// A server with a few sessions and a blocking pair, and what it sends.
struct TScriptedServer {
    std::shared_ptr<Instance> Inst = std::make_shared<Instance>();
    TSentSnapshots Sent{*Inst};
    TdsServer Server{Inst};
    quint16 Port = 0;

    explicit TScriptedServer(int AFirstSpid) {
        for (int spid = AFirstSpid; spid < AFirstSpid + 3; ++spid)
            Inst->addSession(session(spid, "worker"));
        Inst->addSession(session(AFirstSpid + 10, "head"));
        Inst->addSession(session(AFirstSpid + 11, "waiter"));
        testserver::ScriptedRequest wait;
        wait.sessionId = AFirstSpid + 11;
        wait.status = "suspended";
        wait.command = "UPDATE";
        wait.waitType = "LCK_M_X";
        wait.waitTime = 2000;
        wait.blockingSessionId = AFirstSpid + 10;
        Inst->addRequest(wait);
        Port = Server.start(0);
    }
};

// The rows of a snapshot with a session of each SPID given.
TRecordedRows rowsOf(std::initializer_list<int> ASpids, int ACpu = 0) {
    TRecordedRows rows;
    for (int spid : ASpids) {
        TRecordedRow r;
        r.Rec.SPID = spid;
        r.Rec.Login = u"вход %1"_s.arg(spid);
        r.Rec.Status = u"sleeping"_s;
        r.Rec.CPU = ACpu;
        r.Rec.LoginTime = 46000.5;
        rows.push_back(r);
    }
    return rows;
}

TRecordingInfo infoOf(const QString& AName) {
    TRecordingInfo info;
    info.Server = AName;
    info.ConnectDescr = AName + u" (sa)"_s;
    info.Recorder = u"tst_pgstore"_s;
    return info;
}

constexpr qint64 kDay = 86400000;

} // namespace

class TestPgStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void twoRecordersIntoOneDatabase();
    void retentionDropsWholeDays();
    void oneWriterAServer();
    void aNewerSchemaIsRefused();

private:
    QTemporaryDir dir;
    TPostgresServer pg;
    TRecorderProcesses processes{dir.path()};
};

void TestPgStore::initTestCase() {
    QVERIFY(dir.isValid());
    QVERIFY2(pg.error().isEmpty(), qPrintable(pg.error()));
    TRegistry::SetDefaultLocation(dir.filePath(u"dervel"_s));
}

void TestPgStore::twoRecordersIntoOneDatabase() {
    QVERIFY(pg.createDatabase(u"team"_s));
    const QString db = pg.uri(u"team"_s);
    TScriptedServer a(51), b(151);
    const auto arguments = [&db](const TScriptedServer& s) {
        return QStringList{u"--connection"_s, TRecorderProcesses::connection(s.Port),
                           u"--out"_s,        db,
                           u"--period"_s,     u"150ms"_s};
    };
    QProcess* first = processes.start(arguments(a));
    QProcess* other = processes.start(arguments(b));
    const auto after = [](TScriptedServer& s, int more) {
        const int target = s.Sent.count() + more;
        QTRY_VERIFY_WITH_TIMEOUT(s.Sent.count() >= target, 20000);
    };
    after(a, 3);
    a.Inst->addSession(session(90, "newcomer"));
    after(a, 3);
    // Killed outright just as a snapshot has come in, and started again.
    const int before = a.Sent.count();
    QTRY_VERIFY_WITH_TIMEOUT(a.Sent.count() > before, 20000);
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QProcess* second = processes.start(arguments(a));
    after(a, 4);
    after(b, 3);
    for (QProcess* p : {second, other}) {
        p->terminate();
        QVERIFY(p->waitForFinished(10000));
        QCOMPARE(p->exitCode(), kRecordExitOk);
        const QByteArray said = p->readAllStandardError();
        QVERIFY2(said.contains("Запись остановлена"), said.constData());
    }

    const QList<TPgRecordedServer> listed = ListPgRecordings(db);
    QCOMPARE(listed.size(), 2);
    for (TScriptedServer* s : {&a, &b}) {
        const QString name = u"127.0.0.1,%1"_s.arg(s->Port);
        TPgRecordingReader reader(db, name);
        QCOMPARE(reader.info().Server, name);
        QVERIFY(reader.info().ConnectDescr.endsWith(u"(sa)"_s));
        int skipped = 0;
        const QString wrong = CompareWithSent(reader, s->Sent.all(), skipped);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // At most the one in flight when it was killed, and one sent as SIGTERM came.
        QVERIFY2(skipped <= (s == &a ? 3 : 1), qPrintable(QString::number(skipped)));
        QVERIFY(reader.count() >= (s == &a ? 10 : 3));
        const auto it = std::find_if(listed.begin(), listed.end(),
                                     [&](const TPgRecordedServer& l) { return l.Name == name; });
        QVERIFY(it != listed.end());
        QCOMPARE(it->First, reader.timeAt(0));
        QCOMPARE(it->Last, reader.timeAt(reader.count() - 1));
        QCOMPARE(it->Snapshots, qint64(reader.count()));
    }
    // The killed recorder's time away is a gap of its server's only.
    TPgRecordingReader ra(db, u"127.0.0.1,%1"_s.arg(a.Port));
    QCOMPARE(ra.gaps().size(), 1);
    QCOMPARE(ra.gaps()[0].Reason, u"запись не велась"_s);
    QVERIFY(TPgRecordingReader(db, u"127.0.0.1,%1"_s.arg(b.Port)).gaps().isEmpty());
}

void TestPgStore::retentionDropsWholeDays() {
    QVERIFY(pg.createDatabase(u"retention"_s));
    const QString db = pg.uri(u"retention"_s);
    const qint64 day0 = PgDayStartMs(20500); // some day in 2026
    std::vector<std::pair<qint64, TRecordedRows>> written;
    {
        TPgRecordingWriter w(db, infoOf(u"Склад"_s));
        w.FullEvery = 1000; // only the days' first snapshots are full
        // Three days, a snapshot every six hours, the sessions changing as they go.
        for (int i = 0; i < 12; ++i) {
            const qint64 t = day0 + i * (kDay / 4) + 1000;
            written.emplace_back(t, rowsOf({51, 52 + i % 3}, i * 10));
            w.append(t, written.back().second);
        }
        w.addGap(day0 + 2000, day0 + 3000, u"до"_s);
        w.addGap(day0 + 2 * kDay + 2000, day0 + 2 * kDay + 3000, u"после"_s);
        TRecordingEvent early{day0 + 5000,  u"raised"_s, u"blocking"_s, u"60@1"_s,
                              u"SPID 60"_s, day0 + 1000, u"{}"_s};
        TRecordingEvent late = early;
        late.Time = day0 + 2 * kDay + 5000;
        late.Kind = u"cleared"_s;
        w.addEvent(early);
        w.addEvent(late);
        QCOMPARE(TPgRecordingReader(db, u"Склад"_s).events(), (QList{early, late}));
        // Into the third day: the first two go, whole, and the third day stays whole too.
        w.dropBefore(day0 + 2 * kDay + kDay / 2);
        TPgRecordingReader reader(db, u"Склад"_s);
        QCOMPARE(reader.count(), 4);
        for (int i = 0; i < reader.count(); ++i) {
            QCOMPARE(reader.timeAt(i), written[std::size_t(8 + i)].first);
            QVERIFY(SameRowStates(reader.rowsAt(i), KeyRows(written[std::size_t(8 + i)].second)));
        }
        QCOMPARE(reader.gaps().size(), 1);
        QCOMPARE(reader.gaps()[0].Reason, u"после"_s);
        QCOMPARE(reader.events(), QList{late});
    }
    // The days went as tables, not as rows deleted from one.
    QString partitions;
    QVERIFY(pg.sql(u"retention"_s,
                   u"SELECT string_agg(c.relname, ',' ORDER BY c.relname) FROM pg_inherits i "
                   "JOIN pg_class c ON c.oid = i.inhrelid WHERE i.inhparent = "
                   "'dervel.snapshots_s1'::regclass"_s,
                   &partitions));
    QCOMPARE(partitions, PgDayPartition(1, 20502).section(u'.', 1));
}

void TestPgStore::oneWriterAServer() {
    QVERIFY(pg.createDatabase(u"writers"_s));
    const QString db = pg.uri(u"writers"_s);
    auto first = std::make_unique<TPgRecordingWriter>(db, infoOf(u"Прод"_s));
    first->append(1000, rowsOf({51}));
    try {
        TPgRecordingWriter second(db, infoOf(u"Прод"_s));
        QFAIL("a second writer of the same server was let in");
    } catch (const ERecordingError& e) {
        QVERIFY2(e.message().contains(u"уже ведёт другой регистратор"_s), qPrintable(e.message()));
    }
    // Another server in the same database is no matter; the first writer going lets the
    // next one in, and it goes on after the last snapshot.
    TPgRecordingWriter other(db, infoOf(u"Тест"_s));
    first.reset();
    TPgRecordingWriter next(db, infoOf(u"Прод"_s));
    QCOMPARE(next.lastTime(), qint64(1000));
}

void TestPgStore::aNewerSchemaIsRefused() {
    QVERIFY(pg.createDatabase(u"newer"_s));
    const QString db = pg.uri(u"newer"_s);
    TPgRecordingWriter(db, infoOf(u"Прод"_s)).append(1000, rowsOf({51}));
    QVERIFY(pg.sql(u"newer"_s,
                   u"UPDATE dervel.schema_version SET version = %1"_s.arg(PgSchemaVersion + 1)));
    const QString expected = u"в схеме версии %1, более новой"_s.arg(PgSchemaVersion + 1);
    for (const auto& open : std::initializer_list<std::function<void()>>{
             [&] { TPgRecordingWriter(db, infoOf(u"Прод"_s)); },
             [&] { TPgRecordingReader(db, u"Прод"_s); }, [&] { ListPgRecordings(db); }}) {
        try {
            open();
            QFAIL("a newer schema was taken");
        } catch (const ERecordingError& e) {
            QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
        }
    }
    TdsServer server;
    QProcess* p = processes.start(
        {u"--connection"_s, TRecorderProcesses::connection(server.start(0)), u"--out"_s, db});
    QVERIFY(p->waitForFinished(20000));
    QCOMPARE(p->exitCode(), kRecordExitFailed);
    QVERIFY(QString::fromUtf8(p->readAllStandardError()).contains(expected));
    // Nothing was changed to make it fit.
    QString version;
    QVERIFY(pg.sql(u"newer"_s, u"SELECT version FROM dervel.schema_version"_s, &version));
    QCOMPARE(version, QString::number(PgSchemaVersion + 1));
}

QTEST_GUILESS_MAIN(TestPgStore)
#include "tst_pgstore.moc"
