#pragma once
// The sampling thread: runs the session query on one server once per period and hands
// every snapshot to the main window.

#include "database/dbquery.h"
#include "sampling/monitorrec.h"

#include <QEvent>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QObject;
class TDbConnection;

// The two notices, posted to the receiver and delivered in order on its thread.
inline constexpr QEvent::Type WM_DATAARRIVE =
    static_cast<QEvent::Type>(1025); // a snapshot is in Buffer
inline constexpr QEvent::Type WM_DATAERROR = static_cast<QEvent::Type>(1026); // a sample failed

// Every hand-over has a number, and every notice carries the number of the hand-over it
// belongs to: a notice posted just before the main window handed over another server is
// still in its queue afterwards, and must not be taken for the new server's.
using THandOver = quint64;

// The number of the arrival notice still waiting in the receiver's queue (0: none). The
// sampler posts a notice only when none of its hand-over is waiting, so when snapshots
// come faster than the window takes them, the window takes the latest and the queue never
// grows. A notice gives its place up when the window takes the buffer (TakeArrival) or,
// for any other receiver, when it is delivered or discarded.
using TPendingArrival = std::shared_ptr<std::atomic<quint64>>;

class TDataArriveEvent : public QEvent {
public:
    explicit TDataArriveEvent(THandOver handOver, TPendingArrival pending = {}, quint64 number = 0)
        : QEvent(WM_DATAARRIVE), HandOver(handOver), FPending(std::move(pending)), FNumber(number) {
    }
    ~TDataArriveEvent() override {
        if (FPending) {
            quint64 mine = FNumber;
            FPending->compare_exchange_strong(mine, 0);
        }
    }
    const THandOver HandOver;

private:
    TPendingArrival FPending;
    quint64 FNumber;
};

// What the sample in the buffer cost, for the user to see beside the snapshot.
struct TSampleStats {
    qint64 DurationMs = 0; // from sending the query to its last row
    int Rows = 0;
    qint64 Bytes = -1;     // received from the server over the connection; -1 unknown
    qint64 IntervalMs = 0; // since the previous sample of the same hand-over; 0 for a first
    qint64 CpuUs = 0;      // the sampling thread's own CPU time for it
};

// The failure travels by value, so the main window reads exactly the text of the sample
// that failed whatever the sampler does meanwhile.
class TDataErrorEvent : public QEvent {
public:
    TDataErrorEvent(QString message, TDbConnection* connection, THandOver handOver)
        : QEvent(WM_DATAERROR), Message(std::move(message)), Connection(connection),
          HandOver(handOver) {}
    const QString Message;
    TDbConnection* const Connection; // identity only: the connection of the failed sample
    const THandOver HandOver;
};

class TDervel {
public:
    // Starts the thread at once; with no connection it idles. cs guards Buffer and is
    // owned by the caller, created before the sampler and freed after it.
    TDervel(QObject* receiver, std::mutex& cs);
    // Requests termination and waits if the owner has not done so already.
    ~TDervel();
    TDervel(const TDervel&) = delete;
    TDervel& operator=(const TDervel&) = delete;

    // Main thread: the query text and connection to sample from now on. An empty text and
    // no connection stop sampling. Adopted before the next sample (within ~10 ms while
    // the thread waits). Returns the hand-over's number; numbers only grow.
    THandOver StartMonitoring(const QString& ASQLText, TDbConnection* AConnection);

    // Rows the running sample has read so far; -1 while it reads none (waiting, or between
    // samples).
    int RowsRead() const { return FRowsRead.load(std::memory_order_relaxed); }

    // Main thread, under cs, having copied Buffer into its own records: Buffer's records
    // are the sampler's again to read the next sample into, and the next sample posts a
    // notice again.
    void TakeArrival() {
        FPending->store(0);
        BufferHandOver = 0; // what Buffer holds now is no snapshot
        FBufferTaken = true;
    }

    // Main thread: the snapshot in Buffer into ARecords (the records there are reused,
    // new ones made, the rest freed), and Buffer's records given back (TakeArrival). False,
    // and nothing taken, when Buffer holds no snapshot of AHandOver. Takes cs itself.
    bool TakeSnapshot(THandOver AHandOver, TRecList& ARecords, qint64& ATime, TSampleStats& AStats);

    void Terminate();
    bool Terminated() const { return FTerminated; }
    void WaitFor();
    // Waits at most ATimeoutMs for the thread to end; true when it has.
    bool WaitFor(int ATimeoutMs);
    // The connection of the last hand-over; nullptr when sampling nothing.
    TDbConnection* HandedConnection();

    std::atomic<bool> Pause{false};
    std::atomic<int> Period{1}; // pause between samples in 10 ms steps, read at every step

    TRecList Buffer;            // guarded by cs
    THandOver BufferHandOver{}; // guarded by cs: the hand-over whose sample fills Buffer
    // Guarded by cs: when the server answered the sample in Buffer, in milliseconds of a
    // steady clock. Rates divide by the time between two of these, not between arrivals.
    qint64 BufferTime = 0;
    TSampleStats BufferStats; // guarded by cs
    TDbQuery Query;           // the sampler thread's own between hand-overs
    QStringList QueryTemplate;
    QString ErrorMsg; // the sampler thread's copy; the notice carries its own

private:
    void Execute();
    void Sample();
    void Fail(std::unique_lock<std::mutex>& cs, const QString& message);
    void BuildQueryTemplate();

    QObject* const FReceiver;
    std::mutex& FCS;

    std::mutex FHandOverLock; // the pair and the flag change together
    std::atomic<bool> FReconnect{false};
    TDbConnection* FConnection = nullptr;
    QString FSQLText;
    THandOver FHandOver{};        // the last hand-over made
    THandOver FAdoptedHandOver{}; // the sampler thread's: the hand-over it samples for

    // The sampler thread's: the records the next sample is read into, those of the last
    // snapshot the window took, so that a steady server costs no allocation per row and
    // the window's records and these are all there are while the window keeps up.
    TRecList FNext;
    bool FBufferTaken = false; // guarded by cs
    qint64 FLastAnswered = 0;  // of the adopted hand-over's previous sample; 0 for none
    const TPendingArrival FPending = std::make_shared<std::atomic<quint64>>(0);
    std::atomic<int> FRowsRead{-1};
    quint64 FPosted = 0; // the number of the last notice posted
    THandOver FPostedHandOver{};

    std::atomic<bool> FTerminated{false};
    // Wakes a wait at once for a hand-over or a stop, instead of at the end of its step.
    std::mutex FWakeLock;
    std::condition_variable FWake;
    bool FFinished = false; // under FWakeLock: Execute has returned
    std::thread FThread;    // last: starts once everything above exists
};
