// Recording files: every snapshot reads back whatever the order of reading, a recording
// goes on after a restart, gaps and retention, a recording that shrinks while it is read,
// files only their owner can read, one writer at a time, and files that are no recording
// (or a newer one, a damaged one, a hostile one) are refused with a message that names
// them, without taking much memory or hanging.

#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sqlite3.h>
#include <sys/stat.h>
#include <zlib.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStart = 1765400000000; // 2025-12-10, ms since the epoch

TRecordingInfo info(const QString& server = u"Прод"_s) {
    TRecordingInfo i;
    i.Server = server;
    i.ConnectDescr = server + u" (sa)"_s;
    i.Recorder = u"test"_s;
    return i;
}

// Snapshot n of a made-up server: sessions come and go, counters grow, SPID 70 is taken
// by another login half way.
TRecordedRows snapshot(int n) {
    TRecordedRows rows;
    for (int spid = 51; spid < 51 + 20 + n % 5; ++spid) {
        TRecordedRow r;
        r.Rec.SPID = spid;
        r.Rec.LoginTime = 45000.5 + (spid == 70 && n > 5 ? 0.25 : 0);
        r.Rec.Login = spid == 70 && n > 5 ? u"other"_s : u"user%1"_s.arg(spid);
        r.Rec.CPU = spid * n;
        r.Rec.Status = (spid + n) % 3 ? u"sleeping"_s : u"running"_s;
        if (spid == 55 && n % 2)
            r.Text = u"update t set a = %1"_s.arg(n);
        rows.push_back(r);
    }
    return rows;
}

void write(const QString& path, int from, int to, int fullEvery = 4) {
    TRecordingWriter w(path, info());
    w.FullEvery = fullEvery;
    for (int n = from; n < to; ++n)
        w.append(kStart + n * 1000, snapshot(n));
}

void sql(const QString& path, const char* statement) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Puts other bytes in place of a snapshot's data.
void replaceData(const QString& path, int id, const QByteArray& data) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    QCOMPARE(
        sqlite3_prepare_v2(db, "UPDATE snapshots SET data = ?1 WHERE id = ?2", -1, &st, nullptr),
        SQLITE_OK);
    sqlite3_bind_blob(st, 1, data.constData(), int(data.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 2, id);
    QCOMPARE(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// What qCompress would write for AInflated zero bytes, but saying ADeclared: a few hundred
// kilobytes that inflate to hundreds of megabytes. Made a megabyte at a time.
QByteArray bomb(qint64 AInflated, quint32 ADeclared) {
    QByteArray out(4, '\0');
    qToBigEndian(ADeclared, out.data());
    z_stream z{};
    deflateInit(&z, Z_BEST_SPEED);
    const QByteArray zeros(1 << 20, '\0');
    char buffer[1 << 16];
    for (qint64 left = AInflated; left >= 0; left -= zeros.size()) {
        const bool last = left <= zeros.size();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
        z.avail_in = uInt(last ? left : zeros.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&z);
    return out;
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The process's peak of resident memory, from its last reset, in megabytes.
void resetPeakMemory() {
    QFile clear(u"/proc/self/clear_refs"_s);
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}
qint64 peakMegabytes() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() / 1024;
    return 0;
}

} // namespace

class TestRecordingFile : public QObject {
    Q_OBJECT
private slots:
    void everySnapshotReadsBackInAnyOrder();
    void aRestartGoesOnInTheSameFile();
    void anotherServerIsRefused();
    void gapsAndRetention();
    void aShrinkingRecordingKeepsItsPlace();
    void filesArePrivate_data();
    void filesArePrivate();
    void oneWriterAtATime();
    void badFilesAreRefused_data();
    void badFilesAreRefused();
    void rowsBeyondTheMemoryAllowed();

private:
    QTemporaryDir dir;
};

void TestRecordingFile::everySnapshotReadsBackInAnyOrder() {
    const QString path = dir.filePath(u"any-order.dervelrec"_s);
    write(path, 0, 11);
    TRecordingReader r(path);
    QCOMPARE(r.count(), 11);
    QCOMPARE(r.info().Server, u"Прод"_s);
    QCOMPARE(r.info().FormatVersion, RecordingFormatVersion);
    for (int i : {10, 0, 5, 6, 7, 3, 9, 1, 1, 2, 8, 4}) {
        QVERIFY2(SameRowStates(r.rowsAt(i), KeyRows(snapshot(i))), qPrintable(QString::number(i)));
        QCOMPARE(r.timeAt(i), kStart + i * 1000);
    }
    QCOMPARE(r.indexAt(kStart - 5), 0);
    QCOMPARE(r.indexAt(kStart + 4500), 4);
    QCOMPARE(r.indexAt(kStart + 99999), 10);
}

void TestRecordingFile::aRestartGoesOnInTheSameFile() {
    const QString path = dir.filePath(u"restart.dervelrec"_s);
    write(path, 0, 3);
    {
        TRecordingWriter w(path, info());
        QCOMPARE(w.lastTime(), kStart + 2000);
        for (int n = 3; n < 6; ++n)
            w.append(kStart + n * 1000, snapshot(n));
    }
    TRecordingReader r(path);
    QCOMPARE(r.count(), 6);
    for (int i = 5; i >= 0; --i)
        QVERIFY(SameRowStates(r.rowsAt(i), KeyRows(snapshot(i))));
}

void TestRecordingFile::anotherServerIsRefused() {
    const QString path = dir.filePath(u"one-server.dervelrec"_s);
    write(path, 0, 1);
    try {
        TRecordingWriter w(path, info(u"Тест"_s));
        QFAIL("a recording of another server was taken up");
    } catch (const ERecordingError& e) {
        QVERIFY2(e.message().contains(u"другого сервера («Прод»)"_s), qPrintable(e.message()));
    }
    TRecordingReader r(path);
    QCOMPARE(r.count(), 1);
}

void TestRecordingFile::gapsAndRetention() {
    const QString path = dir.filePath(u"gaps.dervelrec"_s);
    {
        TRecordingWriter w(path, info());
        w.FullEvery = 4;
        for (int n = 0; n < 12; ++n) {
            if (n == 6)
                w.addGap(kStart + 5000, kStart + 6000, u"Adaptive Server connection failed"_s);
            w.append(kStart + n * 1000, snapshot(n));
        }
        // Snapshots 0-3, 4-7, 8-11 each start with a full one: what is older than 6.5 s
        // goes, except the block of 4-7 that 6 and 7 need.
        w.dropBefore(kStart + 6500);
    }
    TRecordingReader r(path);
    QCOMPARE(r.count(), 8);
    QCOMPARE(r.timeAt(0), kStart + 4000);
    for (int i = 7; i >= 0; --i)
        QVERIFY(SameRowStates(r.rowsAt(i), KeyRows(snapshot(i + 4))));
    QCOMPARE(r.gaps().size(), 1);
    QVERIFY(!r.gapBefore(1));
    const std::optional<TRecordingGap> gap = r.gapBefore(2); // between 5 and 6
    QVERIFY(gap);
    QCOMPARE(gap->Reason, u"Adaptive Server connection failed"_s);
}

void TestRecordingFile::aShrinkingRecordingKeepsItsPlace() {
    const QString path = dir.filePath(u"shrinking.dervelrec"_s);
    write(path, 0, 12); // full snapshots at 0, 4 and 8
    TRecordingReader r(path);
    QVERIFY(SameRowStates(r.rowsAt(9), KeyRows(snapshot(9))));
    const qint64 id = r.idAt(9);
    {
        TRecordingWriter w(path, info());
        w.dropBefore(kStart + 9500); // keeps 8 to 11
        w.append(kStart + 12000, snapshot(12));
    }
    r.reload();
    QCOMPARE(r.count(), 5);
    QCOMPARE(r.indexOfId(id), 1);
    QCOMPARE(r.timeAt(1), kStart + 9000);
    QVERIFY(SameRowStates(r.rowsAt(1), KeyRows(snapshot(9))));
    QVERIFY(SameRowStates(r.rowsAt(4), KeyRows(snapshot(12))));
    QCOMPARE(r.indexOfId(r.idAt(0) - 1), -1); // dropped
    // An index from before the shrink is no snapshot now: said so, not a crash.
    QVERIFY_THROWS_EXCEPTION(ERecordingError, r.rowsAt(9));
}

void TestRecordingFile::filesArePrivate_data() {
    QTest::addColumn<uint>("before");    // the mode of what is there; 0: nothing
    QTest::addColumn<bool>("leftovers"); // a -wal and -shm of an earlier run, readable by all
    QTest::newRow("a new file") << 0u << false;
    QTest::newRow("a recording readable by all") << 0644u << false;
    QTest::newRow("an empty file anyone may write") << 0666u << false;
    QTest::newRow("a recording with its -wal and -shm left readable") << 0640u << true;
}

void TestRecordingFile::filesArePrivate() {
    QFETCH(uint, before);
    QFETCH(bool, leftovers);
    const QString path = dir.filePath(u"private-%1.dervelrec"_s.arg(QTest::currentDataTag()));
    if (before == 0666u) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (before) {
        write(path, 0, 2);
    }
    if (before)
        QVERIFY(::chmod(path.toLocal8Bit().constData(), before) == 0);
    if (leftovers)
        for (const QString& suffix : {u"-wal"_s, u"-shm"_s}) {
            QFile f(path + suffix);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            QVERIFY(::chmod((path + suffix).toLocal8Bit().constData(), 0666) == 0);
        }
    // Whatever the umask allows.
    const mode_t umaskBefore = ::umask(0);
    const auto restore = qScopeGuard([umaskBefore] { ::umask(umaskBefore); });
    TRecordingWriter w(path, info());
    QCOMPARE(w.narrowedFrom(), before);
    w.append(kStart + 10000, snapshot(10));
    // While the writer has the file open, its -wal and -shm are there.
    for (const QString& file : {path, path + u"-wal"_s, path + u"-shm"_s})
        QCOMPARE(QString::number(modeOf(file), 8), u"600"_s);
    TRecordingReader r(path);
    QVERIFY(SameRowStates(r.rowsAt(r.count() - 1), KeyRows(snapshot(10))));
}

void TestRecordingFile::oneWriterAtATime() {
    const QString path = dir.filePath(u"one-writer.dervelrec"_s);
    auto first = std::make_unique<TRecordingWriter>(path, info());
    first->append(kStart, snapshot(0));
    try {
        TRecordingWriter second(path, info());
        QFAIL("a second writer was let in");
    } catch (const ERecordingError& e) {
        QVERIFY2(e.message().contains(u"уже пишет другой процесс"_s), qPrintable(e.message()));
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    // The first goes on as if nothing had happened.
    first->append(kStart + 1000, snapshot(1));
    first.reset();
    QVERIFY(!QFile::exists(path + u"-lock"_s));
    TRecordingWriter next(path, info());
    QCOMPARE(next.lastTime(), kStart + 1000);
    TRecordingReader r(path);
    QCOMPARE(r.count(), 2);
    for (int i : {1, 0})
        QVERIFY(SameRowStates(r.rowsAt(i), KeyRows(snapshot(i))));
}

void TestRecordingFile::badFilesAreRefused_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    const QString text = dir.filePath(u"notes.txt"_s);
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("SELECT * FROM people;\n").repeated(500));
    f.close();
    const QString other = dir.filePath(u"other.sqlite"_s);
    sql(other, "CREATE TABLE people(name TEXT); INSERT INTO people VALUES ('x');");
    const QString newer = dir.filePath(u"newer.dervelrec"_s);
    write(newer, 0, 2);
    sql(newer, "UPDATE meta SET value = '2' WHERE key = 'format_version'");
    const QString cut = dir.filePath(u"cut.dervelrec"_s);
    write(cut, 0, 300, 1000);
    QFile c(cut);
    QVERIFY(c.open(QIODevice::ReadWrite));
    QVERIFY(c.resize(c.size() / 2));
    c.close();
    // Files made to do harm, each a recording but for one thing. Named so that the writer
    // is tried on them too.
    const auto hostile = [this](const char* name, const char* statement) {
        const QString path = dir.filePath(QString::fromLatin1(name) + u".rec"_s);
        write(path, 0, 3, 2);
        sql(path, statement);
        return path;
    };
    const QString metaView = hostile("meta-view", "ALTER TABLE meta RENAME TO m0; "
                                                  "CREATE VIEW meta AS SELECT * FROM m0;");
    const QString recursiveSnapshots = hostile(
        "recursive-snapshots", "ALTER TABLE snapshots RENAME TO s0; "
                               "CREATE VIEW snapshots(id, time, full, row_count, data) AS "
                               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                               "SELECT i, i, 1, 0, x'00' FROM n;");
    const QString recursiveGaps =
        hostile("recursive-gaps", "DROP TABLE gaps; CREATE VIEW gaps(start, end, reason) AS "
                                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                                  "SELECT i, i + 1, 'x' FROM n;");
    const QString generated =
        hostile("generated-data",
                "DROP TABLE snapshots; CREATE TABLE snapshots(id INTEGER PRIMARY KEY, "
                "time INTEGER NOT NULL, full INTEGER NOT NULL, row_count INTEGER NOT NULL, "
                "data BLOB GENERATED ALWAYS AS (zeroblob(100000000)));"
                "INSERT INTO snapshots(time, full, row_count) VALUES (1, 1, 0);");
    const QString pastItsLength = dir.filePath(u"past-its-length.rec"_s);
    write(pastItsLength, 0, 3, 2);
    replaceData(pastItsLength, 2, bomb(qint64(256) << 20, 100));
    const QString hugeLength = dir.filePath(u"huge-length.rec"_s);
    write(hugeLength, 0, 3, 2);
    replaceData(hugeLength, 2, bomb(1000, 0xFFFFFFFFu));

    QTest::newRow("missing") << dir.filePath(u"nothing.dervelrec"_s) << u"не найден"_s;
    QTest::newRow("a text file") << text << u"не является записью Dervel"_s;
    QTest::newRow("another database") << other << u"не является записью Dervel"_s;
    QTest::newRow("a newer format") << newer << u"более новой версией Dervel (формат 2)"_s;
    QTest::newRow("cut short") << cut << u"повреждён"_s;
    QTest::newRow("meta is a view") << metaView << u"не является записью Dervel"_s;
    QTest::newRow("snapshots is a view that never ends")
        << recursiveSnapshots << u"не является записью Dervel"_s;
    QTest::newRow("gaps is a view that never ends")
        << recursiveGaps << u"не является записью Dervel"_s;
    QTest::newRow("data made by the file on reading")
        << generated << u"не является записью Dervel"_s;
    QTest::newRow("a snapshot that inflates far past its length")
        << pastItsLength << u"снимок 2 не читается"_s;
    QTest::newRow("a snapshot that says it is 4 GB") << hugeLength << u"снимок 2 занял бы"_s;
}

void TestRecordingFile::badFilesAreRefused() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    resetPeakMemory();
    const qint64 peakBefore = peakMegabytes();
    try {
        TRecordingReader r(file);
        for (int i = 0; i < r.count(); ++i)
            r.rowsAt(i);
        QFAIL("read without a complaint");
    } catch (const ERecordingError& e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        QVERIFY2(e.message().contains(file), qPrintable(e.message()));
    }
    // Refused on reading, not after taking what the file asked for.
    QVERIFY2(peakMegabytes() - peakBefore < 64,
             qPrintable(u"%1 MB more at the peak"_s.arg(peakMegabytes() - peakBefore)));
    if (QFile::exists(file) && !file.endsWith(u".dervelrec"_s) && !message.contains(u"снимок"_s)) {
        // Nor may the recorder take it for a recording and write into it.
        QVERIFY_THROWS_EXCEPTION(ERecordingError, TRecordingWriter(file, info()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestRecordingFile::rowsBeyondTheMemoryAllowed() {
    // A full snapshot, then deltas that each bring 20,000 sessions of nothing but a key:
    // a quarter of a megabyte to write, fifty times that to hold.
    const QString path = dir.filePath(u"swelling.rec"_s);
    TRecordingWriter w(path, info());
    w.FullEvery = 1000;
    w.append(kStart, snapshot(0));
    TRecordedRows rows = snapshot(1);
    for (int n = 1; n <= 3; ++n) {
        for (int spid = 0; spid < 20000; ++spid) {
            TRecordedRow r;
            r.Rec.SPID = 100000 * n + spid;
            rows.push_back(r);
        }
        w.append(kStart + n * 1000, rows);
    }
    // Room for 50,000 rows: the second delta fits, the third does not.
    TRecordingLimits limits;
    limits.RowBytes = 50000 * TRowBudget::kRowCost;
    TRecordingReader r(path, limits);
    QCOMPARE(r.rowsAt(2).size(), snapshot(1).size() + 40000);
    try {
        r.rowsAt(3);
        QFAIL("rows beyond the limit were read");
    } catch (const ERecordingError& e) {
        QVERIFY2(e.message().contains(u"снимок 4 занял бы"_s), qPrintable(e.message()));
    }
    // What fits reads again after the refusal.
    QVERIFY(SameRowStates(r.rowsAt(0), KeyRows(snapshot(0))));
}

QTEST_GUILESS_MAIN(TestRecordingFile)
#include "tst_recordingfile.moc"
