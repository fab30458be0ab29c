#pragma once
// The recorder's loop: samples one server with the grid's full composition (all columns,
// no filters) once per period and appends every snapshot to a recording. A lost
// connection is tried again after a growing pause, and the time without snapshots is
// written as a gap once the next snapshot is in; a login the server refuses is not tried
// again, so that a wrong password does not lock the login out. Runs on whatever thread
// calls Run; the main window runs it on a thread of its own, dervel-record on its main
// thread.

#include "recorder/recordingclock.h"
#include "recorder/recordingwriter.h"

#include <atomic>
#include <functional>

class TDbConnection;

struct TRecorderOptions {
    int PeriodMs = 1000;
    bool WithText = false; // also keep the batch text of every running request
    qint64 RetainMs = 0;   // drop snapshots older than this; 0 keeps everything
    qint64 StopAtMs = 0;   // wall-clock time to stop at, ms since the epoch; 0: none
    int MaxBackoffMs = 60000;
};

// The statement that reads the running requests' batch texts, by session and request.
QString RecordedTextStatement();
// The sampling query of a recording: every column of the grid, nothing filtered out, in
// the query's own order; without VIEW SERVER STATE, without the connections.
QString RecordingQuery(bool AViewServerState);
// One snapshot: the query's rows, and with AWithText the batch texts of the running
// requests. Throws EDbError.
TRecordedRows SampleRecordedRows(TDbConnection& AConnection, const QString& AQuery, bool AWithText);

class TRecorder {
public:
    // Gives an open connection: opens one (dervel-record) or lends the watched server's
    // (the main window). Throws EDbError when there is none to be had.
    using TConnect = std::function<TDbConnection&()>;
    // Called after a failed sample, before the next try: dervel-record closes its own
    // connection here so that the next TConnect opens a fresh one.
    using TDisconnect = std::function<void(TDbConnection&)>;
    // One line of progress or trouble.
    using TReport = std::function<void(const QString&)>;
    // The wall clock, ms since the epoch; tests may set their own.
    using TClock = std::function<qint64()>;

    TRecorder(TRecordingStore& AWriter, TConnect AConnect, TDisconnect ADisconnect,
              TRecorderOptions AOptions, TReport AReport);

    // Samples until AStop is set or the stop time has come. A failure of the recording
    // file ends it by throwing ERecordingError; a login the server refuses (18456) by
    // throwing that EDbError; any other failure of the server never does.
    //
    // Every round of statements on the connection counts among the connection's data
    // sets (dataSetCount) while it runs, and no round begins once AStop is set: the
    // window, having set it, waits for the count to fall before it closes the
    // connection, as it waits for its sampler.
    void Run(const std::atomic<bool>& AStop);

    // What the last successful connect said of the server, for the recording's header.
    QString ConnectDescr;
    QString ServerVersion;

    // Before Run: a failure to connect at the very start throws EDbError instead of being
    // tried again (dervel-record's users learn of a wrong server or login at once).
    bool FailFirstConnect = false;

    // Told of each snapshot once it is written, and of each round that found no server
    // (with the time): the recording's alerts follow it through these.
    std::function<void(qint64 ATimeMs, const TRecordedRows&)> Sampled;
    std::function<void(qint64 ANowMs)> Silent;
    // Told of every round: the rows of a snapshot (null for a round that failed), when it
    // was answered, what the round took, and the driver's words when it failed. For the
    // metrics a scrape reads; called on the recorder's thread.
    struct TRound {
        const TRecordedRows* Rows = nullptr;
        qint64 TimeMs = 0;
        qint64 DurationMs = 0;
        QString Error;
    };
    std::function<void(const TRound&)> Observe;

    TClock Clock;
    // The boot clock, ms, which does not step with the wall clock; tests may set their own.
    TClock RealClock;

private:
    enum class TOutcome { Sampled, NoConnection, Lost, Stopped };
    TOutcome round(const std::atomic<bool>& AStop, TRecordedRows& ARows, QString& AError);
    void connect(TDbConnection& AConnection);
    bool wait(const std::atomic<bool>& AStop, qint64 AUntilSteadyMs);
    void noteClockStep();

    TRecordingStore& FWriter;
    TConnect FConnect;
    TDisconnect FDisconnect;
    TRecorderOptions FOptions;
    TReport FReport;
    TDbConnection* FConnection = nullptr;
    QString FQuery;
    bool FConnectedOnce = false;
    TRecordingClock FTimes;
};

// Opens the connection for the first time and says what the server is: for the header
// of a new recording. Throws EDbError.
struct TRecordedServer {
    QString ConnectDescr;
    QString ServerVersion;
};
TRecordedServer DescribeServer(TDbConnection& AConnection);
