// Finding every blocking episode of a day of the demo recorded at 1 s, from a cold open:
// with the episodes the recorder kept in the file, and in a file written before they were
// kept (every snapshot read). Target: at most 2 s with the kept episodes.
//
// Sampling a day live would take a day: the day is written by the real writer (through
// the episode indexer, as the recorder writes) from the demo's rows sampled once, varied
// every second: counters grow, and blocking chains come and go.

#include "benchserver.h"
#include "database/dbconnection.h"
#include "demo_workload.h"
#include "episodes/episodefinder.h"
#include "episodes/episodeindexer.h"
#include "instance.h"
#include "recorder/recorder.h"
#include "recorder/recordingreader.h"
#include "tds_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

namespace {

TRecordedRows demoRows() {
    auto instance = std::make_shared<testserver::Instance>();
    testserver::DemoWorkload demo(*instance, 7, 200);
    demo.step(1.0);
    testserver::TdsServer server(instance);
    const quint16 port = server.start(0);
    TDbConnection connection;
    connection.setConnectionString(
        QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                       "Password=Dervel-2026")
            .arg(port));
    connection.open();
    TRecordedRows rows = SampleRecordedRows(connection, RecordingQuery(true), false);
    // The demo's own chains are the benchmark's to script.
    for (TRecordedRow& r : rows)
        r.Rec.Blocking = 0;
    return rows;
}

// A day a second apart: in every five minutes, a chain of a head and a few waiters for a
// random part of it, now and then a second one beside it.
int writeDay(const QString& APath, const TRecordedRows& ABase) {
    TRecordingInfo info;
    info.Server = QStringLiteral("Demo");
    TRecordingWriter writer(APath, info);
    TEpisodeIndexer indexed(writer, [&] { return std::make_unique<TRecordingReader>(APath); });
    QRandomGenerator random(27);
    TRecordedRows rows = ABase;
    const qint64 start = 1765400000000;
    int chains = 0;
    qint64 until = -1, until2 = -1;
    for (int s = 0; s < 86400; ++s) {
        for (int k = 0; k < 10; ++k) {
            TRecordedRow& r = rows[random.bounded(int(rows.size()))];
            r.Rec.CPU += random.bounded(500);
            r.Rec.Reads += random.bounded(1000);
        }
        if (s % 300 == 0) {
            until = s + 5 + random.bounded(120);
            until2 = random.bounded(3) == 0 ? s + random.bounded(60) : -1;
            ++chains;
        }
        for (std::size_t i = 0; i < rows.size(); ++i) {
            TMonitorRec& r = rows[i].Rec;
            const bool first = s < until && i >= 20 && i < 24;
            const bool second = s < until2 && i >= 40 && i < 42;
            r.Blocking = first ? rows[19].Rec.SPID : second ? rows[39].Rec.SPID : 0;
            r.WaitTime = r.Blocking ? qint32((s % 300) * 1000) : 0;
            r.WaitResource =
                r.Blocking ? QStringLiteral("KEY: 5:72057594043236352 (a1)") : QString();
        }
        indexed.append(start + s * 1000LL, rows);
    }
    return chains;
}

double secondsToFind(const QString& APath, std::size_t& AFound) {
    QElapsedTimer t;
    t.start();
    TRecordingReader reader(APath);
    AFound = FindEpisodes(reader).size();
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("day.dervelrec"));
    const QString older = dir.filePath(QStringLiteral("older.dervelrec"));
    writeDay(kept, demoRows());
    QFile::copy(kept, older);
    {
        auto file = OpenRecordingFile(older, true);
        file->exec("DROP TABLE episodes; DELETE FROM meta WHERE key = 'episodes_through';");
    }
    std::size_t withIndex = 0, without = 0;
    const double indexed = secondsToFind(kept, withIndex);
    const double scanned = secondsToFind(older, without);
    if (withIndex != without)
        std::fprintf(stderr, "episodes differ: %zu kept, %zu read\n", withIndex, without);
    std::printf("episodes_index_day_1s_demo_s: %.3f s (target <= 2 s; %zu episodes)\n", indexed,
                withIndex);
    std::printf("episodes_scan_day_1s_demo_s: %.3f s (a first open of a file without the "
                "index; no target)\n",
                scanned);
    return withIndex == without ? 0 : 1;
}
