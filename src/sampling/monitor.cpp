#include "sampling/monitor.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "sampling/monitorrecreader.h"
#include "sampling/querycomposition.h"

#include <QCoreApplication>
#include <chrono>
#include <ctime>

namespace {

qint64 threadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TDervel::TDervel(QObject* receiver, std::mutex& cs) : FReceiver(receiver), FCS(cs) {
    BuildQueryTemplate();
    FThread = std::thread([this] {
        Execute();
        std::lock_guard wake(FWakeLock);
        FFinished = true;
        FWake.notify_all();
    });
}

TDervel::~TDervel() {
    Terminate();
    WaitFor();
    ClearRecList(Buffer);
    ClearRecList(FNext);
}

bool TDervel::TakeSnapshot(THandOver AHandOver, TRecList& ARecords, qint64& ATime,
                           TSampleStats& AStats) {
    std::lock_guard lock(FCS);
    // The buffer may already hold a cut sample of a newer hand-over.
    if (BufferHandOver != AHandOver)
        return false;
    ATime = BufferTime;
    AStats = BufferStats;
    const qsizetype n = Buffer.size();
    for (qsizetype i = n; i < ARecords.size(); ++i)
        delete ARecords[i];
    const qsizetype old = ARecords.size();
    ARecords.resize(n);
    for (qsizetype i = 0; i < n; ++i) {
        if (i >= old)
            ARecords[i] = new TMonitorRec;
        *ARecords[i] = *Buffer[i];
    }
    // The buffer's records are the sampler's again, to read the next sample into.
    TakeArrival();
    return true;
}

void TDervel::WaitFor() {
    if (FThread.joinable())
        FThread.join();
}

bool TDervel::WaitFor(int ATimeoutMs) {
    {
        std::unique_lock wake(FWakeLock);
        if (!FWake.wait_for(wake, std::chrono::milliseconds(ATimeoutMs),
                            [this] { return FFinished; }))
            return false;
    }
    WaitFor();
    return true;
}

TDbConnection* TDervel::HandedConnection() {
    std::lock_guard lock(FHandOverLock);
    return FConnection;
}

void TDervel::BuildQueryTemplate() {
    QueryTemplate = QueryTemplateLines();
}

THandOver TDervel::StartMonitoring(const QString& ASQLText, TDbConnection* AConnection) {
    THandOver handOver;
    {
        std::lock_guard lock(FHandOverLock);
        FConnection = AConnection;
        FSQLText = ASQLText;
        handOver = ++FHandOver;
        FReconnect = true;
    }
    std::lock_guard wake(FWakeLock);
    FWake.notify_all();
    return handOver;
}

void TDervel::Terminate() {
    FTerminated = true;
    std::lock_guard wake(FWakeLock);
    FWake.notify_all();
}

void TDervel::Execute() {
    using namespace std::chrono_literals;
    while (!FTerminated) {
        // While paused, a hand-over still gets its one sample: a refresh or a filter
        // change shows a fresh snapshot.
        if (!Pause || FReconnect)
            Sample();
        // Period is read again at every 10 ms step, so a shorter one takes effect at once.
        for (int step = 0; step < Period; ++step) {
            std::unique_lock wake(FWakeLock);
            if (FWake.wait_for(wake, 10ms, [this] { return FTerminated || FReconnect; }))
                break;
        }
    }
    Query.close();
}

void TDervel::Sample() {
    if (FReconnect) {
        std::lock_guard lock(FHandOverLock);
        Query.setConnection(FConnection);
        Query.setSQL(FSQLText);
        FAdoptedHandOver = FHandOver;
        FReconnect = false;
        FLastAnswered = 0;
    }
    if (!Query.connection())
        return;

    std::unique_lock<std::mutex> cs(FCS, std::defer_lock);
    try {
        const qint64 began = steadyMs();
        const qint64 cpuBefore = threadCpuUs();
        const qint64 readBefore = Query.connection()->bytesReceived();
        Query.open();
        const qint64 answered = steadyMs();
        // The rows are read without the lock, into records of an earlier snapshot, so
        // that the window is never kept waiting for a fetch: those of the snapshot the
        // window took last, else (it has not taken it yet) a spare set.
        TRecList spare;
        {
            std::lock_guard lock(FCS);
            if (FBufferTaken) {
                spare.swap(FNext);
                FNext.swap(Buffer);
                FBufferTaken = false;
            }
        }
        ClearRecList(spare); // kept while the window fell behind
        TMonitorRecReader reader(Query);
        qsizetype n = 0;
        while (!Query.eof()) {
            if (FReconnect || FTerminated)
                break;
            if (n == FNext.size())
                FNext.append(new TMonitorRec);
            reader.fill(*FNext[n++]);
            FRowsRead.store(static_cast<int>(n), std::memory_order_relaxed);
            Query.next();
        }
        FRowsRead.store(-1, std::memory_order_relaxed);
        const bool cut = FReconnect || FTerminated;
        Query.close();
        if (cut)
            return; // a cut snapshot posts nothing
        for (qsizetype i = n; i < FNext.size(); ++i)
            delete FNext[i];
        FNext.resize(n);
        const qint64 readAfter = Query.connection()->bytesReceived();
        TSampleStats stats;
        stats.DurationMs = steadyMs() - began;
        stats.CpuUs = threadCpuUs() - cpuBefore;
        stats.Rows = static_cast<int>(n);
        stats.Bytes = readBefore >= 0 && readAfter >= 0 ? readAfter - readBefore : -1;
        stats.IntervalMs = FLastAnswered ? answered - FLastAnswered : 0;
        FLastAnswered = answered;
        cs.lock();
        Buffer.swap(FNext);
        BufferHandOver = FAdoptedHandOver;
        BufferTime = answered;
        BufferStats = stats;
        cs.unlock();
        // One notice of this hand-over waiting is enough: it will find the newest buffer.
        if (FPending->load() != FPosted || FPostedHandOver != FAdoptedHandOver || !FPosted) {
            FPending->store(++FPosted);
            FPostedHandOver = FAdoptedHandOver;
            QCoreApplication::postEvent(FReceiver,
                                        new TDataArriveEvent(FAdoptedHandOver, FPending, FPosted));
        }
    } catch (const EDbError& e) {
        Fail(cs, e.message());
    } catch (const std::exception& e) {
        // Anything else (memory, a fault of ours) is a failed sample too: an exception
        // leaving the thread would end the program.
        Fail(cs, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Fail(cs, QCoreApplication::translate("Sampler", "Неизвестная ошибка."));
    }
}

void TDervel::Fail(std::unique_lock<std::mutex>& cs, const QString& message) {
    FRowsRead.store(-1, std::memory_order_relaxed);
    if (cs.owns_lock())
        cs.unlock();
    try {
        Query.close();
    } catch (...) {
        // The query is given up in any case; the first failure is the one to report.
    }
    ErrorMsg = message;
    TDbConnection* failed = Query.connection();
    // Idle until the next hand-over: the query no longer has a connection.
    Query.setConnection(nullptr);
    QCoreApplication::postEvent(FReceiver, new TDataErrorEvent(ErrorMsg, failed, FAdoptedHandOver));
}
