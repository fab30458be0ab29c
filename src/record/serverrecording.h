#pragma once
// One server's recording in dervel-record: its own connection, its own store (a file, or
// its recording in a PostgreSQL database), its own backoff, and, with several servers, a
// thread of its own, so that a server that hangs holds up nobody else.

#include "alerts/alertrule.h"
#include "metrics/serverfigures.h"
#include "recorder/recorder.h"
#include "recorder/recordlogin.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TAlertCommand;
class TMetricsState;
class TWriterLock;

struct TServerJob {
    QString Name;             // the entry's name, or the connection's Data Source
    QString ConnectionString; // as the driver gets it, with the login's password apart
    TRecordLogin Login;
    QString Out;                       // the file, or the database's postgresql:// address
    std::unique_ptr<TWriterLock> Lock; // a file's, taken before anything else
};

class TServerRecording {
public:
    using TReport = std::function<void(const QString&)>;

    // AAlone: the only server of the run, whose first connect decides at once (exit
    // status 3 or 4) instead of being tried again; with others, a server that cannot be
    // reached at the start is tried again like one lost later. AMetrics may be null.
    TServerRecording(TServerJob AJob, const TRecorderOptions& AOptions, bool AAlone,
                     TMetricsState* AMetrics, TReport AReport);
    ~TServerRecording(); // waits for the thread
    TServerRecording(const TServerRecording&) = delete;
    TServerRecording& operator=(const TServerRecording&) = delete;

    // Records until AStop is set, the stop time comes, or the recording cannot go on;
    // returns dervel-record's exit status for it.
    int run(const std::atomic<bool>& AStop);
    // The same on a thread of its own; finished() tells when it is over, status() how.
    void start(const std::atomic<bool>& AStop);
    bool finished() const { return FFinished; }
    int status() const { return FStatus; }
    void join();

    const QString& name() const { return FJob.Name; }

    // The alert rules applied to every snapshot, and the user's command (may be null; it
    // outlives this). Set before run() or start().
    TAlertRules AlertRules;
    TAlertCommand* AlertCommand = nullptr;

private:
    void openConnection(TDbConnection& AConnection);
    // Waits for the first connection, tried again with backoff; false when stopped first.
    bool firstConnect(const std::atomic<bool>& AStop, TDbConnection& AConnection);
    void observe(const TRecorder::TRound& ARound);

    TServerJob FJob;
    TRecorderOptions FOptions;
    bool FAlone;
    TMetricsState* FMetrics;
    TReport FReport;
    TSessionCpu FCpu; // the last snapshot's counters, for CPU/s
    qint64 FCpuAt = -1;
    std::thread FThread;
    std::atomic<bool> FFinished{false};
    std::atomic<int> FStatus{0};
};

// The store --out names for a server: its recording in a PostgreSQL database, or the
// file (the lock taken before). Throws ERecordingError. ANarrowed gets a file's mode
// before it was made private (0 when it was, and for a database).
std::unique_ptr<TRecordingStore> OpenRecordingStore(const QString& AOut,
                                                    const TRecordingInfo& AInfo,
                                                    std::unique_ptr<TWriterLock> ALock,
                                                    unsigned& ANarrowed);
// The file of a server recorded among several: "<folder>/<name>.dervelrec", the name
// made safe for a file's.
QString RecordingFileInFolder(const QString& AFolder, const QString& AName);
