#pragma once
// The impersonated SQL Server instance: its logins, databases and session views,
// kept in SQLite, and the evaluation of T-SQL batches against them.
//
// Contract with the wire protocol (tds_server.*): the protocol layer calls only the
// members in the first block below; everything else is for tests and the demo.
// Every member is thread-safe: each TDS connection runs on its own thread. This class
// is that lock and the glue: sessions and requests (Sessions), databases and their
// tables (Databases), logins and permissions (Logins), a session's own batches
// (SessionActivity, BatchRunner) and scripted rounds (applyChanges) live apart.

#include "logins.h"
#include "scripting.h"
#include "values.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testserver {

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
    // Tests may run batches as scripted sessions too; that batch takes request 0 of the
    // session while it runs (a scripted request 0 of that session goes).
    BatchOutcome execute(int spid, const std::string& batchUtf8);
    // Runs the statement of an RPC (sp_executesql, sp_prepexec, sp_execute) as execute()
    // runs a batch, but the input buffer shows an "RPC Event" of the procedure with its
    // parameter count. Without a statement (sp_prepare, sp_unprepare, a failed call) the
    // session only records the event and its request times.
    BatchOutcome executeRpc(int spid, const std::string& procedure, int parameters,
                            const std::optional<std::string>& statementUtf8);
    // A batch has arrived but its reply is held back (the delay fault): the session shows
    // it running from now on. execute() then runs it; cancelBatch() drops it (ATTENTION).
    void beginBatch(int spid, const std::string& batchUtf8);
    void cancelBatch(int spid);
    // Called (from any thread) when a session is ended by `kill` or by a test, so the
    // protocol layer can close that session's connection.
    void setKillHandler(std::function<void(int spid)> handler);
    // Tests: called (from the connection's thread) with every batch run and what it gave,
    // so that a test knows exactly what a client was sent.
    void setBatchObserver(
        std::function<void(int spid, const std::string& batchUtf8, const BatchOutcome& outcome)>
            observer);
    // Tests: called with every login as the client sent it, before it is checked.
    void setLoginObserver(std::function<void(const LoginInfo& info)> observer);
    // Whether the instance speaks TDS 8.0 (TLS before PRELOGIN): SQL Server 2022 and
    // later, and Azure SQL Database.
    bool speaksTds8() const;
    // @@SERVERNAME and the text that LOGINACK and @@VERSION report.
    std::string serverName() const;
    std::string version() const;
    // The version LOGINACK reports: major, minor and build, as in @@VERSION.
    std::uint32_t versionNumber() const;
    // The 18456 reply for a refused login of this user.
    static Message loginFailed(const std::string& user);

    // --- logins ----------------------------------------------------------------------------
    // "sa" with the password "Dervel-2026" exists from the start.
    void addLogin(const std::string& name, const std::string& password, LoginRights rights = {});
    // A login for a Kerberos principal ("alice@TEST.LOCAL"), as CREATE LOGIN ... FROM
    // WINDOWS makes one for a domain account.
    void addWindowsLogin(const std::string& principal, LoginRights rights = {});

    // --- scripting the instance (tests, demo) ----------------------------------------------
    // The instance starts with master, tempdb, model, msdb and three user databases, and a
    // handful of system sessions (ids below 51, is_user_process 0) most with a background
    // request. Scripting calls throw std::invalid_argument for an unknown column, a session
    // id in use, a request of a missing session and the like.
    int addDatabase(const ScriptedDatabase& database); // returns its database_id
    int addSession(const ScriptedSession& session);    // returns its session_id
    // Many sessions in one transaction: the fast way to script thousands.
    std::vector<int> addSessions(const std::vector<ScriptedSession>& sessions);
    void addRequest(const ScriptedRequest& request);
    // A table in its database's catalog (the schema is made when missing). Throws
    // std::invalid_argument for an unknown database.
    void addTable(const ScriptedTable& table);
    // The tables of a database: object id and the hobt ids of its indexes.
    using LockTarget = testserver::LockTarget;
    std::vector<LockTarget> lockTargets(int databaseId) const;
    void addRequests(const std::vector<ScriptedRequest>& requests);
    // Puts batches' plans in the plan cache, where the requests that run them find them.
    void cachePlans(const std::vector<ScriptedPlan>& plans);
    // Sets columns of existing rows by their SQL Server names.
    void updateSession(int spid, const ColumnOverrides& columns);
    void updateRequest(int spid, int requestId, const ColumnOverrides& columns);
    void updateConnection(int spid, const ColumnOverrides& columns);
    void removeRequest(int spid, int requestId);
    // Applies a round of changes in one transaction; returns the ids of the new sessions.
    std::vector<int> apply(const ScriptedChanges& changes);
    // What DBCC INPUTBUFFER reports for the session.
    void setInputBuffer(int spid, const std::string& text,
                        const std::string& eventType = "Language Event", int parameters = 0);
    // Ends the session as `kill` does: its rows go and the kill handler closes a TDS
    // connection behind it. False when there is no such session.
    bool endSession(int spid);
    bool hasSession(int spid) const;
    std::optional<int> databaseId(const std::string& name) const;
    std::vector<int> sessionIds() const;
    // Removes every user session that no TDS connection stands behind.
    void removeScriptedSessions();
    // nullopt makes @@SERVERNAME NULL.
    void setServerName(std::optional<std::string> name);
    void setVersion(const std::string& text, std::uint32_t number);
    // Behaves as an Azure SQL Database: @@VERSION says so, sys.databases holds master and
    // the session's database, the session views and KILL see that database's sessions.
    void setAzureDatabase(bool azure);
    // The clock behind login times, request times and getdate(): days since 1900-01-01.
    void setClock(std::function<double()> now);
    double now() const;

private:
    void observe(int spid, const std::string& batchUtf8, const BatchOutcome& outcome);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
