#pragma once
// Watches every connected server but the one the grid shows, lightly: one summary query per
// server each period, on the server's own connection, run by a small pool of threads shared
// by the whole estate. A server that hangs holds one thread until its query's timeout
// (shorter than the period when the period allows it) and delays nobody else; a
// connection busy with another statement is skipped for a turn, never waited for.

#include "estate/serversummary.h"

#include <QObject>
#include <QUuid>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDbConnection;

class TEstateSampler : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultPeriodMs = 5000;
    static constexpr int kWorkers = 4;

    explicit TEstateSampler(QObject* parent = nullptr);
    ~TEstateSampler() override; // stop()

    // The time between two summaries of a server; the next round keeps to it.
    void setPeriod(int AMilliseconds);
    int period() const;
    // The query's timeout for the period: a second shorter, one second at the least (the
    // driver counts whole seconds).
    static int TimeoutSecFor(int APeriodMs);

    // Starts watching a server on its connection at once; a second watch of the same id
    // starts afresh (the CPU rate needs two summaries again).
    void watch(const QUuid& AId, std::shared_ptr<TDbConnection> AConnection);
    // Stops watching. A summary running on it finishes on its own (the connection goes on
    // to serve the grid) and is not reported.
    void unwatch(const QUuid& AId);
    bool watching(const QUuid& AId) const;

    // Breaks off the summaries that are running (their connections are going away) and
    // ends the threads; returns within moments.
    void stop();

signals:
    // From a worker thread: connect with a queued connection (the default across
    // threads). A summary with an Error failed; the server is no longer watched.
    void summaryArrived(const QUuid& AId, const TServerSummary& ASummary);

private:
    struct TWatch {
        std::shared_ptr<TDbConnection> Connection;
        qint64 DueAt = 0; // steady clock, ms
        bool Busy = false;
        unsigned Generation = 0;
        bool HasPrevious = false;
        TSummaryRead Previous;
        qint64 PreviousAt = 0; // wall clock, ms
        TSessionNames Names;   // taken by the worker that queries the server
    };
    void work();
    // Runs one summary outside the lock; false when the connection was busy.
    static bool runSummary(TDbConnection& AConnection, int ATimeoutSec, TSummaryRead& ARead,
                           TSessionNames& ANames, QString& AError);

    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::map<QUuid, TWatch> FWatches;
    unsigned FNextGeneration = 0;
    int FPeriodMs = kDefaultPeriodMs;
    bool FStopping = false;
    std::vector<std::thread> FThreads;
};
