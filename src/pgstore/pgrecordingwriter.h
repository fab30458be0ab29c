#pragma once
// Appends a server's snapshots to its recording in a PostgreSQL database (pgschema.h):
// the same rows, changes and full snapshots as a recording file, one transaction each.

#include "pgstore/pgconnection.h"
#include "recorder/recordingfile.h"
#include "recorder/recordingstore.h"
#include "recorder/snapshotencoder.h"

#include <QSet>

class TPgRecordingWriter : public TRecordingStore {
public:
    // Connects, brings the schema up to date, registers the server (or finds its
    // recording to go on with) and takes its writer's lock. Throws ERecordingError when the
    // database cannot be reached, its schema is newer, or another recorder writes the
    // same server.
    TPgRecordingWriter(const QString& AAddress, const TRecordingInfo& AInfo);
    ~TPgRecordingWriter() override;

    QString where() const override;
    qint64 lastTime() const override { return FLastTime; }
    void append(qint64 ATimeMs, const TRecordedRows& ARows) override;
    void addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) override;
    void addEvent(const TRecordingEvent& AEvent) override;
    // Drops the days (partitions) that end before the last full snapshot at or before the
    // time: what is left begins with a day's first snapshot, a full one.
    void dropBefore(qint64 ATimeMs) override;
    int snapshotsWritten() const override { return FWritten; }
    int serverId() const { return FServerId; }

    int FullEvery = TSnapshotEncoder::DefaultFullEvery;

private:
    void ensureDay(qint64 ADay);
    // Runs a step again once on a fresh connection when the database went away between
    // two snapshots (a restart, a failover); the lock is taken again first.
    template <class F> void retrying(F AStep);
    void takeLock();

    std::unique_ptr<TPgConnection> FDb;
    QString FName;
    int FServerId = 0;
    TSnapshotEncoder FEncoder;
    QSet<qint64> FDays; // partitions known to be there
    qint64 FLastDay = -1;
    qint64 FLastTime = -1;
    int FWritten = 0;
};
