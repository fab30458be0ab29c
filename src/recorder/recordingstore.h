#pragma once
// Where the recorder's loop puts what it samples: a recording file (TRecordingWriter) or
// a recording in a PostgreSQL database shared by a team (TPgRecordingWriter). The loop
// knows only this, so either takes any server's snapshots the same way.

#include "recorder/recordedepisode.h"
#include "recorder/recordedrow.h"
#include "recorder/recordingevent.h"

#include <QString>
#include <vector>

class TRecordingStore {
public:
    virtual ~TRecordingStore() = default;

    // The file's path or the database's address, for messages.
    virtual QString where() const = 0;
    // The time of the last snapshot of this server's recording, -1 when there is none.
    virtual qint64 lastTime() const = 0;
    // One snapshot, in one transaction: a writer killed in the middle of one loses that
    // one and nothing before it. Throws ERecordingError.
    virtual void append(qint64 ATimeMs, const TRecordedRows& ARows) = 0;
    virtual void addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) = 0;
    virtual void addEvent(const TRecordingEvent& AEvent) = 0;
    // Drops what is older than the time, keeping what is needed to read what is left.
    virtual void dropBefore(qint64 ATimeMs) = 0;
    virtual int snapshotsWritten() const = 0;

    // The blocking episodes found while writing (episodes/ finds them; the store keeps
    // them). A store that keeps them holds exactly the episodes that start at or before
    // the time the index reaches, a snapshot after which nothing was open, so that a
    // reader takes those and reads only the snapshots after it.
    virtual bool keepsEpisodes() const { return false; }
    // The time the index reaches; -1 when nothing is indexed yet.
    virtual qint64 episodesThrough() const { return -1; }
    // Ended episodes, and the index's new reach, in one transaction. Throws ERecordingError.
    virtual void addEpisodes(const std::vector<TRecordedEpisode>& AEpisodes, qint64 AThroughMs) {
        Q_UNUSED(AEpisodes);
        Q_UNUSED(AThroughMs);
    }
};
