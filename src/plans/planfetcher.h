#pragma once
// Reads a request's plan on a thread of its own, so that the window never waits for the
// server; the connection's command lock keeps the read off a running sample. One read at
// a time: a plan of thousands of operators costs the server, and asking again before
// the answer has come would only pile such reads up.

#include "plans/planreader.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

class TPlanFetcher : public QObject {
    Q_OBJECT
public:
    explicit TPlanFetcher(QObject* parent = nullptr);
    // Waits for a read under way, which answers to this object.
    ~TPlanFetcher() override;

    // Starts reading; false, and nothing starts, while a read is under way. The read
    // shares the connection, so that the server entry may go meanwhile.
    bool Read(std::shared_ptr<TDbConnection> AConnection, int ASPID, int ARequestID);
    bool Busy() const { return FBusy.load(); }

signals:
    // On the fetcher's thread, once per read.
    void Done(const TPlanRead& ARead);

private:
    std::atomic<bool> FBusy{false};
    std::thread FThread;
};
