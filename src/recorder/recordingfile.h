#pragma once
// A recording: snapshots of one server's sessions in an SQLite file, written by
// dervel-record or the main window (TRecordingWriter) and replayed in the grid
// (TRecordingReader).
//
// Schema (format 1):
//   meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)
//     format = "dervel-recording", format_version, recorder ("Dervel 0.3.0"), server (the
//     name it was recorded as), connect_descr ("SERVER (login)"), server_version
//     (@@VERSION), with_text ("1" when batch texts were kept), created (ISO 8601, UTC)
//   snapshots(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, full INTEGER NOT NULL,
//             row_count INTEGER NOT NULL, data BLOB NOT NULL)
//     time: when the server answered, in milliseconds since 1970-01-01 UTC, on the
//     recording's own clock (see recordingclock.h); full: 1 when data holds every row, 0
//     when it holds the changes since the snapshot before (see rowcodec.h); data is
//     zlib-compressed as qCompress writes it.
//   gaps(start INTEGER NOT NULL, end INTEGER NOT NULL, reason TEXT NOT NULL)
//     a time without snapshots and why: a lost connection, or the recorder not running.
//   events(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, kind TEXT NOT NULL,
//          rule TEXT NOT NULL, key TEXT NOT NULL, subject TEXT NOT NULL,
//          snapshot_time INTEGER, details TEXT NOT NULL)
//     alerts raised and cleared (see recordingevent.h). An addition: a file without the
//     table is read as one without events, and a reader that knows nothing of it passes
//     it over, so its coming did not change format_version. The version goes up only for
//     a change that an older reader would misread.
//   episodes(id INTEGER PRIMARY KEY, start INTEGER NOT NULL, end INTEGER NOT NULL,
//            head_spid INTEGER NOT NULL, details TEXT NOT NULL)
//     the blocking episodes found while the file was written (see episodes/): the first
//     and last snapshot the head blocked in, its SPID, and the rest (login time, login,
//     host, program, the sessions that waited...) as a JSON object. The table holds
//     exactly the episodes that start at or before meta's "episodes_through", the time
//     of a snapshot after which no episode was open: a reader takes them and reads only
//     the snapshots after it. An addition like events: a file without the table, or
//     without the key, is read as one not indexed yet (its episodes are found from its
//     snapshots), a writer adds the table and indexes what the file holds when it opens
//     it, and an older reader passes the table over; format_version stays 1.
// The file is in WAL mode and every snapshot is one transaction, so a recorder killed in
// the middle of one leaves every snapshot before it intact. The file, its -wal and -shm
// are readable by their owner only, and one writer at a time holds it (writerlock.h).
//
// A recording may come from anyone, so reading one is bounded: the three names must be
// plain tables (a view is a query, and a recursive one never ends), SQLite's defences
// and limits are on, and what is read is capped (TRecordingLimits). Every read is then
// one pass over a bounded part of the file.

#include "recorder/recordingevent.h"
#include "recorder/rowcodec.h"
#include "recorder/sqlitefile.h"

#include <QDateTime>
#include <QList>
#include <memory>

inline constexpr int RecordingFormatVersion = 1;
inline constexpr char RecordingFormatName[] = "dervel-recording"; // meta's "format"

struct TRecordingInfo {
    QString Server;        // the name the server was recorded as
    QString ConnectDescr;  // "SERVER (login)"
    QString ServerVersion; // @@VERSION
    bool WithText = false;
    QString Recorder; // the program and version that started the file
    int FormatVersion = RecordingFormatVersion;
    QDateTime Created;
};

struct TRecordingGap {
    qint64 Start = 0; // ms since the epoch, UTC
    qint64 End = 0;
    QString Reason;
    bool operator==(const TRecordingGap&) const = default;
};

// What reading a recording may take. A week at one snapshot a second of a server with
// 50,000 sessions is well inside each; the bounds are for files that are not what they
// claim.
struct TRecordingLimits {
    qsizetype SnapshotBytes = qsizetype(128) << 20; // one snapshot's data, inflated
    qint64 RowBytes = qint64(512) << 20;            // the rows of the snapshot on show
    qsizetype Snapshots = 20'000'000;               // snapshots listed
    qsizetype Gaps = 1'000'000;                     // gaps listed
    qsizetype Events = 1'000'000;                   // events listed
    qsizetype Episodes = 1'000'000;                 // blocking episodes listed
};

// Opens a file as a recording, with SQLite's defences on; the messages name the file.
std::unique_ptr<TSqliteFile> OpenRecordingFile(const QString& APath, bool AWritable,
                                               const TRecordingLimits& ALimits = {});
// Checks that meta, snapshots, gaps and events (where there is one) are plain tables and
// reads the header. Throws ERecordingError.
TRecordingInfo ReadRecordingInfo(TSqliteFile& AFile, const QString& APath);
// Whether the file has the events table (files written before it came have none).
bool RecordingHasEvents(TSqliteFile& AFile);
// Whether the file has the episodes table (files written before it came have none).
bool RecordingHasEpisodes(TSqliteFile& AFile);
// meta's key for the time the episodes table reaches.
inline constexpr char RecordingEpisodesThroughKey[] = "episodes_through";
// A SQLite failure in the words of the recording it happened in.
ERecordingError RecordingError(const QString& APath, const ESqliteError& AError);
// A snapshot that does not read: damaged, or more than a recording may hold.
ERecordingError SnapshotError(const QString& APath, qint64 AId, const ERecordingFormat& AError);
