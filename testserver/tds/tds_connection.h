#pragma once
// One client connection: pre-login, login, then SQL batches, RPCs and attentions until the
// client leaves, the session is killed or the server stops. Runs on its own thread.

#include "instance.h"
#include "rpc_planner.h"
#include "tds_channel.h"
#include "tds_faults.h"
#include "tds_security.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace testserver {

class TdsReplyWriter;

struct Endpoints {
    std::string clientAddress;
    int clientPort = 0;
    std::string serverAddress;
    int serverPort = 0;
};

class TdsConnection {
public:
    TdsConnection(int fd, Instance& instance, Faults& faults, const ServerSecurity& security,
                  Endpoints endpoints);
    ~TdsConnection(); // closes the socket
    TdsConnection(const TdsConnection&) = delete;
    TdsConnection& operator=(const TdsConnection&) = delete;

    // The thread body: serves until the connection ends.
    void run();
    // From any thread: ends the connection (its blocking reads return at once).
    void shutdown();
    // Its session was ended by `kill` or a test: the rows are gone already.
    void markKilled() { killed_ = true; }
    int spid() const { return spid_; }

private:
    void serve();
    void drainSilently();
    bool handleLogin(const std::string& payload);
    bool handlePrelogin(const std::string& payload);
    bool handleBatch(const std::string& payload);
    bool handleRpc(const std::string& payload);
    bool sendOutcome(const BatchOutcome& outcome);
    // Appends the tokens of a batch's statements; false when the connection must drop.
    // Inside a procedure each statement ends with DONEINPROC, and all have more to follow.
    bool appendOutcome(TdsReplyWriter& w, const BatchOutcome& outcome, bool inProcedure);
    bool sendDone(std::uint16_t status);

    int fd_;
    Instance& instance_;
    Faults& faults_;
    const ServerSecurity& security_;
    Endpoints endpoints_;
    bool encrypted_ = false; // the whole connection runs in TLS
    bool strict_ = false;    // TDS 8.0: TLS from the first byte
    TdsChannel channel_;
    RpcPlanner rpc_;
    std::string database_; // for the old value of a database ENVCHANGE
    std::atomic<int> spid_{0};
    std::atomic<bool> killed_{false};
    std::atomic<bool> shutdown_{false};
};

} // namespace testserver
