#include "episodes/episodeindexer.h"

#include "episodes/episodecodec.h"
#include "recorder/recordingsource.h"

TEpisodeIndexer::TEpisodeIndexer(TRecordingStore& AStore, const TOpenSource& AOpenSource)
    : FStore(AStore) {
    if (!FStore.keepsEpisodes())
        return;
    const qint64 through = FStore.episodesThrough();
    if (FStore.lastTime() <= through)
        return;
    // The snapshots past the index, read into the finder as if they were being written:
    // what is still open at their end goes on with the next snapshot (or the gap the
    // recorder writes before it).
    const std::unique_ptr<TRecordingSource> source = AOpenSource();
    int from = through < 0 ? 0 : source->indexAt(through);
    if (from >= 0 && through >= 0 && source->timeAt(from) <= through)
        ++from;
    for (int i = std::max(from, 0); i < source->count(); ++i) {
        if (i > from && source->gapBefore(i)) {
            ended(FFinder.gap());
            quietAt(source->timeAt(i - 1), false);
        }
        ended(FFinder.snapshot(source->timeAt(i), source->rowsAt(i)));
        if (FFinder.quiet())
            quietAt(source->timeAt(i), false);
    }
    if (FQuietAt >= 0)
        quietAt(FQuietAt, true);
}

TEpisodeIndexer::~TEpisodeIndexer() {
    if (FQuietAt > FStore.episodesThrough()) {
        try {
            quietAt(FQuietAt, true);
        } catch (const ERecordingError&) {
            // The next writer indexes what this one could not.
        }
    }
}

void TEpisodeIndexer::ended(std::vector<TBlockingEpisode>&& AEpisodes) {
    FEnded.insert(FEnded.end(), std::make_move_iterator(AEpisodes.begin()),
                  std::make_move_iterator(AEpisodes.end()));
}

void TEpisodeIndexer::quietAt(qint64 ATimeMs, bool AForce) {
    FQuietAt = ATimeMs;
    if (!FStore.keepsEpisodes())
        return;
    if (!AForce && FEnded.empty() && ATimeMs - FStore.episodesThrough() < kThroughEveryMs)
        return;
    std::vector<TRecordedEpisode> recorded;
    recorded.reserve(FEnded.size());
    for (const TBlockingEpisode& e : FEnded)
        recorded.push_back(RecordedEpisodeOf(e));
    FStore.addEpisodes(recorded, ATimeMs);
    FEnded.clear();
}

void TEpisodeIndexer::append(qint64 ATimeMs, const TRecordedRows& ARows) {
    FStore.append(ATimeMs, ARows);
    ended(FFinder.snapshot(ATimeMs, ARows));
    if (FFinder.quiet())
        quietAt(ATimeMs, false);
}

void TEpisodeIndexer::addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) {
    FStore.addGap(AStartMs, AEndMs, AReason);
    ended(FFinder.gap());
    if (FStore.lastTime() >= 0)
        quietAt(FStore.lastTime(), false);
}
