// Recording files: every snapshot reads back whatever the order of reading, a recording
// goes on after a restart, gaps and retention, and files that are no recording (or a
// newer one, or a damaged one) are refused with a message that names them.

#include "recorder/recordingfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

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

} // namespace

class TestRecordingFile : public QObject {
    Q_OBJECT
private slots:
    void everySnapshotReadsBackInAnyOrder();
    void aRestartGoesOnInTheSameFile();
    void anotherServerIsRefused();
    void gapsAndRetention();
    void badFilesAreRefused_data();
    void badFilesAreRefused();

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
    QTest::newRow("missing") << dir.filePath(u"nothing.dervelrec"_s) << u"не найден"_s;
    QTest::newRow("a text file") << text << u"не является записью Dervel"_s;
    QTest::newRow("another database") << other << u"не является записью Dervel"_s;
    QTest::newRow("a newer format") << newer << u"более новой версией Dervel (формат 2)"_s;
    QTest::newRow("cut short") << cut << u"повреждён"_s;
}

void TestRecordingFile::badFilesAreRefused() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    try {
        TRecordingReader r(file);
        for (int i = 0; i < r.count(); ++i)
            r.rowsAt(i);
        QFAIL("read without a complaint");
    } catch (const ERecordingError& e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        QVERIFY2(e.message().contains(file), qPrintable(e.message()));
    }
    if (QFile::exists(file) && !file.endsWith(u".dervelrec"_s)) {
        // Nor may the recorder take it for a recording and write into it.
        QVERIFY_THROWS_EXCEPTION(ERecordingError, TRecordingWriter(file, info()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

QTEST_GUILESS_MAIN(TestRecordingFile)
#include "tst_recordingfile.moc"
