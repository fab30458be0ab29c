#pragma once
// Appends snapshots to a recording file (see recordingfile.h for the format).

#include "recorder/recordingfile.h"
#include "recorder/recordingstore.h"
#include "recorder/snapshotencoder.h"
#include "recorder/writerlock.h"

class TRecordingWriter : public TRecordingStore {
public:
    // Takes the file's writer lock (or the one given, taken before), then creates the file
    // or opens a recording of the same server to go on with it. Throws ERecordingError
    // when another writer holds it, or the file is no recording, is of a newer format, is
    // damaged, or records another server.
    TRecordingWriter(const QString& APath, const TRecordingInfo& AInfo,
                     std::unique_ptr<TWriterLock> ALock = nullptr);
    ~TRecordingWriter() override;

    const QString& path() const { return FPath; }
    QString where() const override { return FPath; }
    // The time of the last snapshot in the file, -1 when there is none.
    qint64 lastTime() const override { return FLastTime; }
    // The mode an existing file had before it was made private; 0 when it was private.
    unsigned narrowedFrom() const { return FLock->narrowedFrom(); }
    // One snapshot in one transaction: every FullEvery-th snapshot, and the first one this
    // writer writes, holds every row; the others hold the changes. Throws ERecordingError,
    // also for a snapshot larger than a reader would take.
    void append(qint64 ATimeMs, const TRecordedRows& ARows) override;
    void addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) override;
    void addEvent(const TRecordingEvent& AEvent) override;
    // Drops what is older than the time, keeping every snapshot from the last full one at
    // or before it, so that what is left can still be read.
    void dropBefore(qint64 ATimeMs) override;
    int snapshotsWritten() const override { return FWritten; }
    bool keepsEpisodes() const override { return true; }
    qint64 episodesThrough() const override { return FEpisodesThrough; }
    void addEpisodes(const std::vector<TRecordedEpisode>& AEpisodes, qint64 AThroughMs) override;

    static constexpr int DefaultFullEvery = TSnapshotEncoder::DefaultFullEvery;
    int FullEvery = DefaultFullEvery;

private:
    QString FPath;
    std::unique_ptr<TWriterLock> FLock; // first in, last out: held while the file is open
    std::unique_ptr<TSqliteFile> FFile;
    std::unique_ptr<TSqliteStatement> FInsert;
    TSnapshotEncoder FEncoder;
    qint64 FLastTime = -1;
    qint64 FEpisodesThrough = -1;
    int FWritten = 0;
};
