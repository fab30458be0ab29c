#pragma once
// The user's command for alerts (dervel-record --on-alert): run once for each alert raised
// and each cleared, with what the alert is about in DERVEL_ALERT_* variables. The command
// line is the user's own, split into the program and its arguments as a shell would but
// without one; nothing the server sends is ever parsed as a command, it only travels in
// the variables. Commands run one after another on a thread of their own, so the recording
// never waits for them; each runs in a process group of its own and is killed with all
// its children when it outlives its timeout.

#include "alerts/alert.h"

#include <QProcessEnvironment>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TAlertCommand {
public:
    using TReport = std::function<void(const QString&)>;
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr std::size_t kMaxQueued = 100;

    // ACommandLine must split into at least a program (see valid()).
    TAlertCommand(const QString& ACommandLine, int ATimeoutMs, TReport AReport);
    // Lets what is queued run for one more timeout, then returns.
    ~TAlertCommand();

    static bool valid(const QString& ACommandLine);
    // Never blocks. When kMaxQueued are waiting already, the change is dropped and said so.
    void enqueue(const TAlertChange& AChange);

    // The variables a change is told with (and nothing else of the environment).
    static QProcessEnvironment Variables(const TAlertChange& AChange);

private:
    void work();
    void run(const TAlertChange& AChange);

    QString FProgram;
    QStringList FArguments;
    int FTimeoutMs;
    TReport FReport;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TAlertChange> FQueue;
    bool FStopping = false;
    std::chrono::steady_clock::time_point FStoppedAt;
    std::thread FThread;
};
