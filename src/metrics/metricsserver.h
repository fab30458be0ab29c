#pragma once
// /metrics over HTTP on the address given (dervel-record --metrics 127.0.0.1:9471), on a
// thread of its own: a scrape gets what TMetricsState holds, so it answers at once
// whatever the servers are doing. Nothing else is served, and nothing listens unless
// asked: the figures tell who works on which server.

#include <QString>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

class TMetricsState;

class TMetricsServer {
public:
    // Listens on "host:port" ("[::1]:9471" for IPv6; port 0 takes a free one). Throws
    // std::runtime_error with the reason in words when it cannot.
    TMetricsServer(const QString& AAddress, const TMetricsState& AState);
    ~TMetricsServer(); // stops listening and waits for the thread
    TMetricsServer(const TMetricsServer&) = delete;
    TMetricsServer& operator=(const TMetricsServer&) = delete;

    quint16 port() const { return FPort; }

private:
    void serve();
    void answer(int ASocket);

    const TMetricsState& FState;
    int FListen = -1;
    int FWake[2] = {-1, -1}; // a pipe: a byte in it ends the thread
    quint16 FPort = 0;
    std::thread FThread;
};

// "host:port" split; nothing when it is not of that form (the host may not be empty).
std::optional<std::pair<QString, QString>> SplitListenAddress(const QString& AAddress);
