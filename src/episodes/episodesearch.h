#pragma once
// Finds a recording's blocking episodes on a thread of its own, so that the window never
// waits: where the recording keeps no index of its episodes, every snapshot of a day is
// read, which takes seconds. The thread reads through a source of its own, opened by the
// caller's function, since a source is not shared between threads. One search at a time;
// asking again meanwhile searches once more when the first is done, so the answer is
// never older than the last question.

#include "episodes/blockingepisode.h"

#include <QObject>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class TRecordingSource;

class TEpisodeSearch : public QObject {
    Q_OBJECT
public:
    // Opens the recording anew for the thread; throws ERecordingError.
    using TOpen = std::function<std::unique_ptr<TRecordingSource>()>;

    explicit TEpisodeSearch(QObject* parent = nullptr);
    // Waits for a search under way; its answer is dropped.
    ~TEpisodeSearch() override;

    void Find(TOpen AOpen);
    // Forgets the recording: an answer still to come for it is dropped.
    void Cancel();
    bool busy() const { return FRunning; }

signals:
    // On the object's own thread, for the last question asked.
    void found(const std::vector<TBlockingEpisode>& AEpisodes);
    void failed(const QString& AMessage);

private:
    void start();
    void finished(quint64 AGeneration, std::vector<TBlockingEpisode> AEpisodes, QString AError);

    std::thread FThread;
    TOpen FOpen;
    TOpen FPending;
    bool FRunning = false;
    quint64 FGeneration = 0; // of the question the answer must be for
};
