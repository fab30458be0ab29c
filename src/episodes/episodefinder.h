#pragma once
// Finds the blocking episodes of a recording as its snapshots come: the recorder feeds it
// what it writes, a reader what it reads. Each snapshot's heads are found as the blocking
// tree finds them (BuildBlockingForest), so an episode's head is the one the tree shows.

#include "episodes/blockingepisode.h"
#include "recorder/recordedrow.h"
#include "recorder/rowcodec.h"

#include <limits>
#include <map>
#include <vector>

class TRecordingSource;

class TEpisodeFinder {
public:
    // One snapshot, in time order. Returns the episodes that ended with it: those whose
    // head blocks nobody in it (or is gone), each ending at the snapshot before.
    std::vector<TBlockingEpisode> snapshot(qint64 ATimeMs, const TRowState& ARows);
    std::vector<TBlockingEpisode> snapshot(qint64 ATimeMs, const TRecordedRows& ARows);
    // A gap in the recording: what was open ends at its last snapshot, marked CutByGap,
    // since nobody saw whether it went on. Returns those episodes.
    std::vector<TBlockingEpisode> gap();
    // The episodes still going, as they stand (Open set), by start.
    std::vector<TBlockingEpisode> openEpisodes() const;
    // Whether no episode is open: a point a later reading may start from afresh.
    bool quiet() const { return FOpen.empty(); }

private:
    struct THeadKey {
        int SPID;
        double LoginTime;
        auto operator<=>(const THeadKey&) const = default;
    };
    struct TRowRef {
        const TMonitorRec* Rec;
        const QString* Text;
    };
    std::vector<TBlockingEpisode> observe(qint64 ATimeMs, const std::vector<TRowRef>& ARows);

    std::map<THeadKey, TBlockingEpisode> FOpen;
};

// The episodes of the recording's snapshots from AFromMs to AToMs, as if it held only
// those: one still going at AToMs (or at the end) is Open, one going at AFromMs starts at
// the first snapshot of the span. Uses the episodes stored with the recording as far as
// they reach, and reads the snapshots only for the rest. Throws ERecordingError.
std::vector<TBlockingEpisode> FindEpisodes(TRecordingSource& ASource,
                                           qint64 AFromMs = std::numeric_limits<qint64>::min(),
                                           qint64 AToMs = std::numeric_limits<qint64>::max());
