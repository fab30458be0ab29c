#pragma once
// The impersonated SQL Server instance: its logins, databases and session views,
// kept in SQLite, and the evaluation of T-SQL batches against them.
//
// Contract with the wire protocol (tds_server.*): the protocol layer calls only the
// members in the first block below; everything else is for tests and the demo.
// Every member is thread-safe: each TDS connection runs on its own thread.

#include "values.h"

#include <functional>
#include <memory>
#include <string>

namespace testserver {

// What LOGIN7 and the socket tell about a new connection.
struct LoginInfo {
    std::string user;
    std::string password;
    std::string host;        // HostName of LOGIN7
    std::string program;     // AppName of LOGIN7
    std::string database;    // Database of LOGIN7; empty means the login's default ("master")
    std::string clientInterface = "ODBC";
    std::string clientAddress = "127.0.0.1";
    int clientPort = 0;
    std::string serverAddress = "127.0.0.1";
    int serverPort = 0;
};

struct LoginResult {
    bool ok = false;
    int spid = 0;            // the new session's id when ok
    std::string database;    // the session's database when ok
    Message error;           // 18456 / class 14 "Login failed for user '<name>'." when not ok
};

class Instance {
public:
    Instance();
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // --- used by the wire protocol -------------------------------------------------------
    // Checks the login and, on success, creates the session (a user session with a
    // connection row) and returns its id.
    LoginResult login(const LoginInfo& info);
    // The connection of this session has closed: its session, requests and connection rows go.
    void logout(int spid);
    // Runs one SQL batch for the session. While it runs, the session is "running" with a
    // request of its own; afterwards "sleeping" with its last request times updated.
    BatchOutcome execute(int spid, const std::string& batchUtf8);
    // Called (from any thread) when a session is ended by `kill` or by a test, so the
    // protocol layer can close that session's connection.
    void setKillHandler(std::function<void(int spid)> handler);
    // @@SERVERNAME and the text that LOGINACK and @@VERSION report.
    std::string serverName() const;

    // --- logins ----------------------------------------------------------------------------
    // "sa" with the password "Dervel-2026" exists from the start.
    void addLogin(const std::string& name, const std::string& password);

    // Tests and the demo add their own members below (sessions, requests, input buffers,
    // databases, ending sessions, a NULL @@SERVERNAME, ...).

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
