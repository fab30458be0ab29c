#include "episodes/episodesearch.h"

#include "episodes/episodefinder.h"
#include "recorder/recordingsource.h"

#include <QMetaObject>

TEpisodeSearch::TEpisodeSearch(QObject* parent) : QObject(parent) {}

TEpisodeSearch::~TEpisodeSearch() {
    if (FThread.joinable())
        FThread.join();
}

void TEpisodeSearch::Find(TOpen AOpen) {
    ++FGeneration;
    if (FRunning) {
        FPending = std::move(AOpen);
        return;
    }
    FOpen = std::move(AOpen);
    start();
}

void TEpisodeSearch::Cancel() {
    ++FGeneration;
    FPending = nullptr;
}

void TEpisodeSearch::start() {
    if (FThread.joinable())
        FThread.join(); // done already: only its answer was still on the way
    FRunning = true;
    const quint64 generation = FGeneration;
    FThread = std::thread([this, open = FOpen, generation] {
        std::vector<TBlockingEpisode> episodes;
        QString error;
        try {
            std::unique_ptr<TRecordingSource> source = open();
            episodes = FindEpisodes(*source);
        } catch (const ERecordingError& e) {
            error = e.message();
        }
        // The destructor joins this thread before the object goes, so the call is queued
        // to a living object.
        QMetaObject::invokeMethod(
            this,
            [this, generation, episodes = std::move(episodes), error]() mutable {
                finished(generation, std::move(episodes), error);
            },
            Qt::QueuedConnection);
    });
}

void TEpisodeSearch::finished(quint64 AGeneration, std::vector<TBlockingEpisode> AEpisodes,
                              QString AError) {
    FRunning = false;
    if (FPending) {
        FOpen = std::move(FPending);
        FPending = nullptr;
        start();
        return;
    }
    if (AGeneration != FGeneration)
        return;
    if (AError.isEmpty())
        emit found(AEpisodes);
    else
        emit failed(AError);
}
