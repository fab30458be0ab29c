#pragma once
// A recording store that also keeps the recording's blocking episodes: it hands every
// snapshot on to the store it wraps and to an episode finder, and writes the episodes
// into the store as they end, with how far its index reaches (see recordingstore.h).
// The recorder's loop writes through it like through any store.
//
// A store that holds snapshots beyond its index (a file written before episodes were
// kept, or by a recorder killed before it wrote its index) is indexed up to its end when
// this opens, from a reader of the same recording.

#include "episodes/episodefinder.h"
#include "recorder/recordingstore.h"

#include <functional>
#include <memory>

class TEpisodeIndexer : public TRecordingStore {
public:
    // Opens a reader of the recording the store writes; called only when there is
    // something to index.
    using TOpenSource = std::function<std::unique_ptr<TRecordingSource>()>;

    // The reach is written at least this often while nothing is open, so that a reader
    // opening the recording reads at most this much of it.
    static constexpr qint64 kThroughEveryMs = 60'000;

    // AStore outlives this. Throws ERecordingError when what is there does not read.
    TEpisodeIndexer(TRecordingStore& AStore, const TOpenSource& AOpenSource);
    // Writes how far the index reaches, when it moved; a failure is left to the next open.
    ~TEpisodeIndexer() override;

    QString where() const override { return FStore.where(); }
    qint64 lastTime() const override { return FStore.lastTime(); }
    void append(qint64 ATimeMs, const TRecordedRows& ARows) override;
    void addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) override;
    void addEvent(const TRecordingEvent& AEvent) override { FStore.addEvent(AEvent); }
    void dropBefore(qint64 ATimeMs) override { FStore.dropBefore(ATimeMs); }
    int snapshotsWritten() const override { return FStore.snapshotsWritten(); }
    bool keepsEpisodes() const override { return FStore.keepsEpisodes(); }
    qint64 episodesThrough() const override { return FStore.episodesThrough(); }
    void addEpisodes(const std::vector<TRecordedEpisode>& AEpisodes, qint64 AThroughMs) override {
        FStore.addEpisodes(AEpisodes, AThroughMs);
    }

    // The episodes still going, as the finder has them.
    std::vector<TBlockingEpisode> openEpisodes() const { return FFinder.openEpisodes(); }

private:
    void ended(std::vector<TBlockingEpisode>&& AEpisodes);
    // At a time nothing is open: writes what ended, and the reach when it is due.
    void quietAt(qint64 ATimeMs, bool AForce);

    TRecordingStore& FStore;
    TEpisodeFinder FFinder;
    std::vector<TBlockingEpisode> FEnded; // since the last quiet time written
    qint64 FQuietAt = -1;                 // the last time nothing was open
};
