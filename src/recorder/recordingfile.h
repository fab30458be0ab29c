#pragma once
// A recording: snapshots of one server's sessions in an SQLite file, written by
// dervel-record or the main window and replayed in the grid.
//
// Schema (format 1):
//   meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)
//     format = "dervel-recording", format_version, recorder ("Dervel 0.3.0"), server (the
//     name it was recorded as), connect_descr ("SERVER (login)"), server_version
//     (@@VERSION), with_text ("1" when batch texts were kept), created (ISO 8601, UTC)
//   snapshots(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, full INTEGER NOT NULL,
//             row_count INTEGER NOT NULL, data BLOB NOT NULL)
//     time: when the server answered, in milliseconds since 1970-01-01 UTC; full: 1 when
//     data holds every row, 0 when it holds the changes since the snapshot before (see
//     rowcodec.h); data is zlib-compressed as qCompress writes it.
//   gaps(start INTEGER NOT NULL, end INTEGER NOT NULL, reason TEXT NOT NULL)
//     a time without snapshots and why: a lost connection, or the recorder not running.
// The file is in WAL mode and every snapshot is one transaction, so a recorder killed in
// the middle of one leaves every snapshot before it intact.

#include "recorder/rowcodec.h"
#include "recorder/sqlitefile.h"

#include <QDateTime>
#include <QList>
#include <memory>

inline constexpr int RecordingFormatVersion = 1;

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

// Opens a file as a recording and checks it; the messages name the file.
std::unique_ptr<TSqliteFile> OpenRecordingFile(const QString& APath, bool AWritable);
TRecordingInfo ReadRecordingInfo(TSqliteFile& AFile, const QString& APath);
// A SQLite failure in the words of the recording it happened in.
ERecordingError RecordingError(const QString& APath, const ESqliteError& AError);

class TRecordingWriter {
public:
    // Creates the file, or opens a recording of the same server to go on with it. Throws
    // ERecordingError when the file is no recording, is of a newer format, is damaged, or
    // records another server.
    TRecordingWriter(const QString& APath, const TRecordingInfo& AInfo);
    ~TRecordingWriter();

    const QString& path() const { return FPath; }
    // The time of the last snapshot in the file, -1 when there is none.
    qint64 lastTime() const { return FLastTime; }
    // One snapshot in one transaction: every FullEvery-th snapshot, and the first one this
    // writer writes, holds every row; the others hold the changes.
    void append(qint64 ATimeMs, const TRecordedRows& ARows);
    void addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason);
    // Drops what is older than the time, keeping every snapshot from the last full one at
    // or before it, so that what is left can still be read.
    void dropBefore(qint64 ATimeMs);
    int snapshotsWritten() const { return FWritten; }

    static constexpr int DefaultFullEvery = 60;
    int FullEvery = DefaultFullEvery;

private:
    QString FPath;
    std::unique_ptr<TSqliteFile> FFile;
    std::unique_ptr<TSqliteStatement> FInsert;
    TRowState FPrevious;
    bool FHavePrevious = false;
    int FSinceFull = 0;
    qint64 FLastTime = -1;
    int FWritten = 0;
};

class TRecordingReader {
public:
    // Opens read-only and reads the list of snapshots. Throws ERecordingError.
    explicit TRecordingReader(const QString& APath);
    ~TRecordingReader();

    const QString& path() const { return FPath; }
    const TRecordingInfo& info() const { return FInfo; }
    // Reads the list of snapshots and gaps again: the recording may still be growing.
    void reload();

    int count() const { return int(FIndex.size()); }
    qint64 timeAt(int AIndex) const { return FIndex[std::size_t(AIndex)].Time; }
    // The last snapshot at or before the time; the first when the time is before it; -1
    // when there is none.
    int indexAt(qint64 ATimeMs) const;
    const QList<TRecordingGap>& gaps() const { return FGaps; }
    // The gap between a snapshot and the one before it, if the recording has one there.
    std::optional<TRecordingGap> gapBefore(int AIndex) const;

    // The rows of a snapshot, in key order. Reading on from the snapshot before costs
    // only the changes; a jump reads from the full snapshot before the target. Throws
    // ERecordingError for data that does not read.
    const TRowState& rowsAt(int AIndex);

private:
    struct TEntry {
        qint64 Id;
        qint64 Time;
        int Full; // index of the full snapshot this one builds on
    };
    void applyEntry(int AIndex);

    QString FPath;
    std::unique_ptr<TSqliteFile> FFile;
    std::unique_ptr<TSqliteStatement> FData;
    TRecordingInfo FInfo;
    std::vector<TEntry> FIndex;
    QList<TRecordingGap> FGaps;
    TRowState FState;
    int FStateAt = -1;
};
