#include "sampling/monitor.h"

#include "platform/dberror.h"
#include "sampling/monitorrecreader.h"
#include "sampling/querycomposition.h"

#include <QCoreApplication>
#include <chrono>

TDervel::TDervel(QObject* receiver, std::mutex& cs) : FReceiver(receiver), FCS(cs) {
    BuildQueryTemplate();
    FThread = std::thread([this] { Execute(); });
}

TDervel::~TDervel() {
    Terminate();
    WaitFor();
    ClearRecList(Buffer);
}

void TDervel::WaitFor() {
    if (FThread.joinable())
        FThread.join();
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
    }
    if (!Query.connection())
        return;

    std::unique_lock<std::mutex> cs(FCS, std::defer_lock);
    try {
        Query.open();
        const qint64 answered = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count();
        cs.lock();
        ClearRecList(Buffer);
        BufferHandOver = FAdoptedHandOver;
        BufferTime = answered;
        TMonitorRecReader reader(Query);
        while (!Query.eof()) {
            if (FReconnect || FTerminated)
                break;
            auto* rec = new TMonitorRec;
            Buffer.append(rec);
            reader.fill(*rec);
            Query.next();
        }
        if (!FReconnect && !FTerminated)
            QCoreApplication::postEvent(FReceiver, new TDataArriveEvent(FAdoptedHandOver));
        cs.unlock();
        Query.close();
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
