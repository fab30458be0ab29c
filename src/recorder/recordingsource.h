#pragma once
// A recording read back, whichever store holds it: the list of its snapshots, gaps and
// events, and the rows of any snapshot, worked out from the whole snapshot before it and
// the changes since. A store says only how to list and how to fetch one snapshot's data;
// the file (TRecordingReader) and a PostgreSQL database (TPgRecordingReader) are two.

#include "recorder/recordedepisode.h"
#include "recorder/recordingfile.h"

#include <optional>
#include <vector>

class TRecordingSource {
public:
    virtual ~TRecordingSource();

    // The file's path, or the database's address and the server's name, for messages.
    const QString& path() const { return FPath; }
    const TRecordingInfo& info() const { return FInfo; }
    // Reads the list of snapshots and gaps again: the recording may have grown, or lost
    // its oldest snapshots. Indexes may then name other snapshots; ids do not.
    void reload();

    int count() const { return int(FIndex.size()); }
    qint64 timeAt(int AIndex) const { return FIndex[std::size_t(AIndex)].Time; }
    // A snapshot's id: it stays the same while the recording grows and shrinks.
    qint64 idAt(int AIndex) const { return FIndex[std::size_t(AIndex)].Id; }
    // The snapshot with the id; -1 when the recording has it no more.
    int indexOfId(qint64 AId) const;
    // The last snapshot at or before the time; the first when the time is before it; -1
    // when there is none.
    int indexAt(qint64 ATimeMs) const;
    const QList<TRecordingGap>& gaps() const { return FGaps; }
    // The alerts raised and cleared, in time order; none in a file written before events.
    const QList<TRecordingEvent>& events() const { return FEvents; }
    // The gap between a snapshot and the one before it, if the recording has one there.
    std::optional<TRecordingGap> gapBefore(int AIndex) const;

    // The rows of a snapshot, in key order. Reading on from the snapshot before costs
    // only the changes; a jump reads from the full snapshot before the target. Throws
    // ERecordingError for data that does not read, for more than the limits allow, and
    // for an index that is not in the list.
    const TRowState& rowsAt(int AIndex);

    // The blocking episodes the store keeps (see recordingstore.h) and the time their
    // index reaches; false when it keeps none. Read anew at each call. Throws
    // ERecordingError.
    virtual bool readEpisodes(std::vector<TRecordedEpisode>& AEpisodes, qint64& AThroughMs) {
        Q_UNUSED(AEpisodes);
        Q_UNUSED(AThroughMs);
        return false;
    }

protected:
    // A snapshot as the store lists it, in the order it was written.
    struct TListed {
        qint64 Id;
        qint64 Time;
        bool Full;
    };
    TRecordingSource(const QString& APath, const TRecordingLimits& ALimits);
    // The store's lists, each capped by the limits. Throws ERecordingError.
    virtual void readLists(std::vector<TListed>& ASnapshots, QList<TRecordingGap>& AGaps,
                           QList<TRecordingEvent>& AEvents) = 0;
    // A snapshot's stored (compressed) data. Throws ERecordingError.
    virtual QByteArray readData(qint64 AId, qint64 ATime) = 0;
    ERecordingError tooMany(qsizetype ALimit) const;

    QString FPath;
    TRecordingLimits FLimits;
    TRecordingInfo FInfo;

private:
    struct TEntry {
        qint64 Id;
        qint64 Time;
        int Full; // index of the full snapshot this one builds on
    };
    void applyEntry(int AIndex);
    void forgetState();

    std::vector<TEntry> FIndex;
    QList<TRecordingGap> FGaps;
    QList<TRecordingEvent> FEvents;
    TRowState FState;
    TRowBudget FBudget;
    int FStateAt = -1;
};
