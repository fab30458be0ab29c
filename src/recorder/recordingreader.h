#pragma once
// Reads a recording back (see recordingfile.h for the format), also one that is still
// being written, or shrunk by retention, while it is read.

#include "recorder/recordingfile.h"

class TRecordingReader {
public:
    // Opens read-only and reads the list of snapshots. Throws ERecordingError.
    explicit TRecordingReader(const QString& APath, const TRecordingLimits& ALimits = {});
    ~TRecordingReader();

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

private:
    struct TEntry {
        qint64 Id;
        qint64 Time;
        int Full; // index of the full snapshot this one builds on
    };
    void applyEntry(int AIndex);
    void forgetState();

    QString FPath;
    TRecordingLimits FLimits;
    std::unique_ptr<TSqliteFile> FFile;
    std::unique_ptr<TSqliteStatement> FData;
    TRecordingInfo FInfo;
    std::vector<TEntry> FIndex;
    QList<TRecordingGap> FGaps;
    QList<TRecordingEvent> FEvents;
    bool FHasEvents = false;
    TRowState FState;
    TRowBudget FBudget;
    int FStateAt = -1;
};
