#include "estate/estatesampler.h"

#include "database/dbconnection.h"
#include "database/dberror.h"

#include <QDateTime>
#include <algorithm>
#include <chrono>

namespace {

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TEstateSampler::TEstateSampler(QObject* parent) : QObject(parent) {
    qRegisterMetaType<TServerSummary>("TServerSummary");
    for (int i = 0; i < kWorkers; ++i)
        FThreads.emplace_back([this] { work(); });
}

TEstateSampler::~TEstateSampler() {
    stop();
}

void TEstateSampler::setPeriod(int AMilliseconds) {
    std::lock_guard lock(FLock);
    const int old = FPeriodMs;
    FPeriodMs = std::max(100, AMilliseconds);
    // A shorter period takes effect at once, not after the longer one has run out.
    for (auto& [id, w] : FWatches)
        w.DueAt = std::min(w.DueAt, w.DueAt - old + FPeriodMs);
    FWake.notify_all();
}

int TEstateSampler::period() const {
    std::lock_guard lock(FLock);
    return FPeriodMs;
}

int TEstateSampler::TimeoutSecFor(int APeriodMs) {
    return std::max(1, APeriodMs / 1000 - 1);
}

void TEstateSampler::watch(const QUuid& AId, std::shared_ptr<TDbConnection> AConnection) {
    std::lock_guard lock(FLock);
    TWatch& w = FWatches[AId];
    w = TWatch{};
    w.Connection = std::move(AConnection);
    w.DueAt = steadyMs();
    w.Generation = ++FNextGeneration;
    FWake.notify_all();
}

void TEstateSampler::unwatch(const QUuid& AId) {
    std::lock_guard lock(FLock);
    FWatches.erase(AId);
}

bool TEstateSampler::watching(const QUuid& AId) const {
    std::lock_guard lock(FLock);
    return FWatches.count(AId) != 0;
}

void TEstateSampler::stop() {
    {
        std::lock_guard lock(FLock);
        if (FStopping && FThreads.empty())
            return;
        FStopping = true;
        for (auto& [id, w] : FWatches)
            if (w.Busy)
                w.Connection->abort();
        FWake.notify_all();
    }
    for (std::thread& t : FThreads)
        t.join();
    FThreads.clear();
}

bool TEstateSampler::runSummary(TDbConnection& AConnection, int ATimeoutSec, TSummaryRead& ARead,
                                TSessionNames& ANames, QString& AError) {
    // A disconnect waits for this as for any query on the connection.
    TDbConnection::TUse use(AConnection);
    try {
        std::optional<TSummaryRead> read = QuerySummary(AConnection, ATimeoutSec, ANames);
        if (!read)
            return false;
        ARead = std::move(*read);
    } catch (const EDbError& e) {
        AError = e.message();
    } catch (const std::exception& e) {
        AError = QString::fromLocal8Bit(e.what());
    }
    return true;
}

void TEstateSampler::work() {
    std::unique_lock lock(FLock);
    while (!FStopping) {
        // The most overdue server nobody is querying.
        auto next = FWatches.end();
        for (auto it = FWatches.begin(); it != FWatches.end(); ++it)
            if (!it->second.Busy &&
                (next == FWatches.end() || it->second.DueAt < next->second.DueAt))
                next = it;
        const qint64 now = steadyMs();
        if (next == FWatches.end() || next->second.DueAt > now) {
            if (next == FWatches.end())
                FWake.wait(lock);
            else
                FWake.wait_for(lock, std::chrono::milliseconds(next->second.DueAt - now));
            continue;
        }
        const QUuid id = next->first;
        TWatch& w = next->second;
        w.Busy = true;
        const unsigned generation = w.Generation;
        const std::shared_ptr<TDbConnection> connection = w.Connection;
        const int period = FPeriodMs;
        // The names go with the worker: the watch may be dropped while it queries.
        TSessionNames names = std::move(w.Names);
        lock.unlock();

        const qint64 started = steadyMs();
        TSummaryRead read;
        QString error;
        const bool ran = runSummary(*connection, TimeoutSecFor(period), read, names, error);
        const qint64 finished = steadyMs();
        const qint64 at = QDateTime::currentMSecsSinceEpoch();

        lock.lock();
        const auto it = FWatches.find(id);
        if (it == FWatches.end() || it->second.Generation != generation)
            continue; // unwatched (or watched afresh) meanwhile: nobody wants this one
        TWatch& done = it->second;
        done.Busy = false;
        done.Names = std::move(names);
        // The next one a period after this one began, and never at once after a slow one.
        done.DueAt = std::max(started + FPeriodMs, finished + FPeriodMs / 2);
        if (!ran)
            continue; // the connection served someone else: next turn
        TServerSummary summary;
        if (error.isEmpty()) {
            summary =
                Summarize(read, at, done.HasPrevious ? &done.Previous : nullptr, done.PreviousAt);
            done.Previous = std::move(read);
            done.PreviousAt = at;
            done.HasPrevious = true;
        } else {
            summary.Error = error;
            summary.TakenAtMs = at;
            FWatches.erase(it); // a failed server is left alone until it is connected again
        }
        summary.SampleMs = finished - started;
        lock.unlock();
        emit summaryArrived(id, summary);
        lock.lock();
    }
}
