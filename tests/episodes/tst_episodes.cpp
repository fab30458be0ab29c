// Blocking episodes: the finder over scripted snapshots, the index a recorder keeps in the
// file against a full reading of it (whole and in spans), a file written before the index
// indexed when a writer opens it, the CSV, and the search the window runs on a thread.

#include "episodes/episodecsv.h"
#include "episodes/episodefinder.h"
#include "episodes/episodeindexer.h"
#include "episodes/episodesearch.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// A snapshot in words: "60>50:1500 61>60:200" is session 60 waiting 1.5 s for 50 and 61
// waiting 0.2 s for 60; a blocker written "50*" is session 50 logged in anew. "gap" is a
// gap in the recording. Every session named has a row; 1 and 2 are idle beside them.
TRecordedRows rowsOf(const QString& AWords) {
    std::map<int, TRecordedRow> rows;
    const auto session = [&rows](int spid, bool relogged) -> TRecordedRow& {
        TRecordedRow& r = rows[spid];
        r.Rec.SPID = spid;
        r.Rec.LoginTime = 46000 + spid + (relogged ? 0.5 : 0);
        r.Rec.Login = u"login%1"_s.arg(spid);
        r.Rec.Host = u"host%1"_s.arg(spid);
        r.Rec.ProgName = u"app%1"_s.arg(spid);
        r.Rec.Status = u"sleeping"_s;
        return r;
    };
    session(1, false);
    session(2, false);
    for (const QString& edge : AWords.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = edge.split(u':');
        const QStringList pair = parts[0].split(u'>');
        QString blocker = pair[1];
        const bool relogged = blocker.endsWith(u'*');
        blocker.remove(u'*');
        TRecordedRow& b = rows.count(blocker.toInt()) ? rows[blocker.toInt()]
                                                      : session(blocker.toInt(), relogged);
        Q_UNUSED(b);
        TRecordedRow& w =
            rows.count(pair[0].toInt()) ? rows[pair[0].toInt()] : session(pair[0].toInt(), false);
        w.Rec.Blocking = blocker.toInt();
        w.Rec.WaitTime = parts.value(1, u"100"_s).toInt();
        w.Rec.WaitResource = u"KEY: 5:%1"_s.arg(blocker);
        w.Rec.Status = u"suspended"_s;
    }
    TRecordedRows out;
    for (auto& [spid, r] : rows)
        out.push_back(r);
    return out;
}

// "50 1000-3000 most 2 all 2 longest 1500", with "open" or "cut" after it where so.
QString describe(const TBlockingEpisode& e) {
    QString s = u"%1 %2-%3 most %4 all %5 longest %6"_s.arg(e.HeadSPID)
                    .arg(e.Start)
                    .arg(e.End)
                    .arg(e.MostWaiting)
                    .arg(e.Waiters.size())
                    .arg(e.LongestWait);
    if (e.Open)
        s += u" open"_s;
    if (e.CutByGap)
        s += u" cut"_s;
    return s;
}

QStringList describe(const std::vector<TBlockingEpisode>& AEpisodes) {
    QStringList out;
    for (const TBlockingEpisode& e : AEpisodes)
        out << describe(e);
    return out;
}

// A reader that never uses the stored index: the full reading to compare it with.
class TScanningReader : public TRecordingReader {
public:
    using TRecordingReader::TRecordingReader;
    bool readEpisodes(std::vector<TRecordedEpisode>&, qint64&) override { return false; }
};

TRecordingInfo info() {
    TRecordingInfo i;
    i.Server = u"SQL01"_s;
    return i;
}

// A recording of chains that come and go at random over ASnapshots snapshots a second
// apart, with a gap now and then: written through the indexer, as the recorder writes.
void writeRandom(TRecordingStore& AStore, int ASnapshots, quint32 ASeed) {
    QRandomGenerator random(ASeed);
    QString words;
    for (int i = 0; i < ASnapshots; ++i) {
        const qint64 at = 1'700'000'000'000 + i * 1000 + (i > ASnapshots / 2 ? 60'000 : 0);
        if (i == ASnapshots / 2 + 1)
            AStore.addGap(AStore.lastTime(), at, u"test"_s);
        if (random.bounded(6) == 0) { // the chains change now and then
            words.clear();
            const int chains = random.bounded(3);
            for (int c = 0; c < chains; ++c) {
                const int head = 50 + c * 10;
                for (int w = 1; w <= 1 + int(random.bounded(3)); ++w)
                    words += u"%1>%2%3:%4 "_s.arg(head + w)
                                 .arg(head)
                                 .arg(random.bounded(4) == 0 ? u"*"_s : QString())
                                 .arg(random.bounded(100000));
            }
        }
        AStore.append(at, rowsOf(words));
    }
}

} // namespace

class TestEpisodes : public QObject {
    Q_OBJECT
private slots:
    void finder_data();
    void finder();
    void indexEqualsFullReading();
    void olderFileIndexedWhenWritten();
    void csv();
    void searchOnAThreadOfItsOwn();

private:
    QTemporaryDir dir;
};

void TestEpisodes::finder_data() {
    QTest::addColumn<QStringList>("snapshots"); // a second apart, from 1000
    QTest::addColumn<QStringList>("episodes");
    QTest::newRow("a chain grows and goes")
        << QStringList{u""_s, u"60>50:1500"_s, u"60>50:2500 61>60:200"_s, u"61>50:300"_s, u""_s}
        << QStringList{u"50 2000-4000 most 2 all 2 longest 2500"_s};
    QTest::newRow("still going at the end")
        << QStringList{u"60>50:100"_s, u"60>50:1100"_s}
        << QStringList{u"50 1000-2000 most 1 all 1 longest 1100 open"_s};
    QTest::newRow("a gap ends it") << QStringList{u"60>50:100"_s, u"gap"_s, u"60>50:1100"_s}
                                   << QStringList{u"50 1000-1000 most 1 all 1 longest 100 cut"_s,
                                                  u"50 3000-3000 most 1 all 1 longest 1100 open"_s};
    QTest::newRow("two heads, one ends first")
        << QStringList{u"60>50:100 70>51:200"_s, u"70>51:1200"_s, u""_s}
        << QStringList{u"50 1000-1000 most 1 all 1 longest 100"_s,
                       u"51 1000-2000 most 1 all 1 longest 1200"_s};
    QTest::newRow("the head's SPID taken by a new login")
        << QStringList{u"60>50:100"_s, u"60>50*:50"_s}
        << QStringList{u"50 1000-1000 most 1 all 1 longest 100"_s,
                       u"50 2000-2000 most 1 all 1 longest 50 open"_s};
    QTest::newRow("the head starts to wait: a new head")
        << QStringList{u"60>50:100"_s, u"60>50:1100 50>40:300"_s}
        << QStringList{u"50 1000-1000 most 1 all 1 longest 100"_s,
                       u"40 2000-2000 most 2 all 2 longest 1100 open"_s};
    QTest::newRow("a circle: its lowest SPID heads it")
        << QStringList{u"60>70:100 70>60:200"_s, u""_s}
        << QStringList{u"60 1000-1000 most 1 all 1 longest 200"_s};
}

void TestEpisodes::finder() {
    QFETCH(QStringList, snapshots);
    QFETCH(QStringList, episodes);
    TEpisodeFinder finder;
    std::vector<TBlockingEpisode> found;
    qint64 at = 1000;
    for (const QString& s : snapshots) {
        const auto ended = s == u"gap"_s ? finder.gap() : finder.snapshot(at, rowsOf(s));
        found.insert(found.end(), ended.begin(), ended.end());
        at += 1000;
    }
    const auto open = finder.openEpisodes();
    found.insert(found.end(), open.begin(), open.end());
    QCOMPARE(describe(found), episodes);
    // The head is the tree's, named as its row names it.
    for (const TBlockingEpisode& e : found) {
        QCOMPARE(e.HeadLogin, u"login%1"_s.arg(e.HeadSPID));
        QCOMPARE(e.HeadProgram, u"app%1"_s.arg(e.HeadSPID));
        QVERIFY(!e.Resources.isEmpty());
    }
}

void TestEpisodes::indexEqualsFullReading() {
    const QString path = dir.filePath(u"random.dervelrec"_s);
    {
        TRecordingWriter writer(path, info());
        TEpisodeIndexer indexed(writer, [&] { return std::make_unique<TRecordingReader>(path); });
        writeRandom(indexed, 600, 27);
    }
    TRecordingReader reader(path);
    TScanningReader scanning(path);
    std::vector<TRecordedEpisode> stored;
    qint64 through = -1;
    QVERIFY(reader.readEpisodes(stored, through));
    QVERIFY(stored.size() > 20);
    // The last time nothing was open: the episodes after it are read from the snapshots.
    QVERIFY(through > reader.timeAt(reader.count() / 2));
    QVERIFY(through <= reader.timeAt(reader.count() - 1));
    QCOMPARE(describe(FindEpisodes(reader)), describe(FindEpisodes(scanning)));
    QCOMPARE(FindEpisodes(reader), FindEpisodes(scanning));
    // Spans: the index's episodes that cross an end of the span are read again for their
    // part inside it, as a reading of the span alone finds them.
    const qint64 first = reader.timeAt(0);
    for (const auto& [from, to] : std::vector<std::pair<qint64, qint64>>{
             {first + 100'500, first + 200'000},
             {first + 7'000, first + 7'000},
             {first + 250'000, first + 400'000}, // across the gap
             {first + 580'000, std::numeric_limits<qint64>::max()}})
        QCOMPARE(describe(FindEpisodes(reader, from, to)),
                 describe(FindEpisodes(scanning, from, to)));
}

void TestEpisodes::olderFileIndexedWhenWritten() {
    const QString path = dir.filePath(u"older.dervelrec"_s);
    {
        // Written without the index, then made to look as a file from before it.
        TRecordingWriter writer(path, info());
        writeRandom(writer, 300, 5);
    }
    {
        auto file = OpenRecordingFile(path, true);
        file->exec("DROP TABLE episodes; DELETE FROM meta WHERE key = 'episodes_through';");
    }
    const QStringList expected = describe(FindEpisodes(*std::make_unique<TScanningReader>(path)));
    QVERIFY(expected.size() > 10);
    {
        TRecordingReader reader(path);
        std::vector<TRecordedEpisode> stored;
        qint64 through = -1;
        QVERIFY(!reader.readEpisodes(stored, through));
        QCOMPARE(describe(FindEpisodes(reader)), expected);
    }
    // A writer going on with the file indexes what it holds before its first snapshot; the
    // episode open at the file's end is ended by the gap the recorder writes first.
    {
        TRecordingWriter writer(path, info());
        TEpisodeIndexer indexed(writer, [&] { return std::make_unique<TRecordingReader>(path); });
        QVERIFY(writer.episodesThrough() > 0);
        const qint64 end = writer.lastTime();
        indexed.addGap(end, end + 5000, u"запись не велась"_s);
        indexed.append(end + 5000, rowsOf(QString()));
    }
    TRecordingReader reader(path);
    std::vector<TRecordedEpisode> stored;
    qint64 through = -1;
    QVERIFY(reader.readEpisodes(stored, through));
    QCOMPARE(through, reader.timeAt(reader.count() - 1));
    QCOMPARE(describe(FindEpisodes(reader)),
             describe(FindEpisodes(*std::make_unique<TScanningReader>(path))));
    QCOMPARE(int(stored.size()), expected.size());
}

void TestEpisodes::csv() {
    TBlockingEpisode e;
    e.Start = 1'768'446'000'000; // 2026-01-15 03:00:00 UTC
    e.End = e.Start + 61'500;
    e.HeadSPID = 53;
    e.HeadLoginTime = 46037.125; // 2026-01-15 03:00
    e.HeadLogin = u"DOMAIN\\ivanov"_s;
    e.HeadHost = u"WS-07"_s;
    e.HeadProgram = u"Отчёт, \"месяц\""_s;
    e.HeadDatabase = u"Sales"_s;
    e.HeadOpenTran = 1;
    e.HeadText = u"UPDATE t\nSET x = 1"_s;
    e.MostWaiting = 2;
    e.Waiters = {60, 61, 62};
    e.LongestWait = 45000;
    e.Resources = {u"KEY: 5:1 (a)"_s, u"PAGE: 5:1:104"_s};
    TBlockingEpisode open = e;
    open.Open = true;
    open.HeadText.clear();
    const QString csv = EpisodesCsv({e, open});
    const QStringList lines = csv.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 4); // the header, two records, nothing after the last CRLF
    QCOMPARE(lines[0], u"start,end,open,cut_by_gap,duration_ms,head_spid,head_login_time,login,"
                       "host,program,database,open_tran,most_waiting,all_waiting,waiters,"
                       "longest_wait_ms,resources,text"_s);
    QCOMPARE(lines[1],
             u"2026-01-15T03:00:00.000Z,2026-01-15T03:01:01.500Z,0,0,61500,53,"
             "2026-01-15T03:00:00.000,DOMAIN\\ivanov,WS-07,\"Отчёт, \"\"месяц\"\"\",Sales,1,2,"
             "3,60 61 62,45000,KEY: 5:1 (a); PAGE: 5:1:104,\"UPDATE t\nSET x = 1\""_s);
    QVERIFY(lines[2].startsWith(u"2026-01-15T03:00:00.000Z,2026-01-15T03:01:01.500Z,1,0,"_s));
    QVERIFY(lines[2].endsWith(u",45000,KEY: 5:1 (a); PAGE: 5:1:104,"_s));
    QCOMPARE(lines[3], QString());
}

// The window's search: the answer of a thread reading through a source of its own, for
// the last question only when one is asked while another runs, and a recording that does
// not open said so.
void TestEpisodes::searchOnAThreadOfItsOwn() {
    const QString first = dir.filePath(u"search1.dervelrec"_s);
    const QString second = dir.filePath(u"search2.dervelrec"_s);
    for (const auto& [path, seed] : {std::pair(first, 3u), std::pair(second, 4u)}) {
        TRecordingWriter writer(path, info());
        writeRandom(writer, 300, seed);
    }
    TScanningReader reader(second);
    const std::vector<TBlockingEpisode> expected = FindEpisodes(reader);
    QVERIFY(!expected.empty());

    TEpisodeSearch search;
    QList<std::vector<TBlockingEpisode>> found;
    QStringList failed;
    connect(&search, &TEpisodeSearch::found, this, [&](const auto& e) { found << e; });
    connect(&search, &TEpisodeSearch::failed, this, [&](const QString& m) { failed << m; });
    const auto opening = [](const QString& path) {
        return [path] { return std::make_unique<TScanningReader>(path); };
    };
    search.Find(opening(first));
    QVERIFY(search.busy());
    search.Find(opening(second)); // the recording grew, say, while the first was read
    QTRY_VERIFY(!search.busy());
    QCOMPARE(found.size(), 1);
    QCOMPARE(describe(found.first()), describe(expected));
    QVERIFY(failed.isEmpty());

    // Another recording chosen meanwhile: the answer for the one left is dropped.
    found.clear();
    search.Find(opening(first));
    search.Cancel();
    QTRY_VERIFY(!search.busy());
    QCOMPARE(found.size(), 0);

    search.Find([]() -> std::unique_ptr<TRecordingSource> {
        throw ERecordingError(u"нет такого файла"_s);
    });
    QTRY_VERIFY(!search.busy());
    QCOMPARE(failed, QStringList{u"нет такого файла"_s});
    QCOMPARE(found.size(), 0);
}

QTEST_GUILESS_MAIN(TestEpisodes)
#include "tst_episodes.moc"
