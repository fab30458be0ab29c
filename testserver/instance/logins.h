#pragma once
// The instance's logins, SQL and Windows, with the server permissions each one has, and
// the permissions of every session a login opened. Not thread-safe: the Instance
// serialises every call.

#include "scripting.h"
#include "values.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace testserver {

// What LOGIN7 and the socket tell about a new connection.
struct LoginInfo {
    std::string user;
    std::string password;
    std::string host;       // HostName of LOGIN7
    std::string program;    // AppName of LOGIN7
    std::string database;   // Database of LOGIN7; empty means the login's default ("master")
    std::string serverName; // ServerName of LOGIN7: the server as the client names it
    std::string clientInterface = "ODBC";
    std::string clientAddress = "127.0.0.1";
    int clientPort = 0;
    std::string serverAddress = "127.0.0.1";
    int serverPort = 0;
    int hostProcessId = 0; // ClientPID of LOGIN7
    int packetSize = 4096; // as negotiated
    std::uint32_t tdsVersion = 0x74000004;
    bool encrypted = false; // the whole connection in TLS, not only the login
    // Set for integrated security: the client's Kerberos principal, already authenticated
    // (user and password are then empty).
    std::optional<std::string> principal;
    // The login packet's SSPI data (the client's GSSAPI token); the wire layer turns it
    // into `principal`.
    std::string sspi;
};

// The server permissions a login has, of those the instance models.
struct LoginRights {
    bool viewServerState = true;    // VIEW SERVER STATE
    bool alterAnyConnection = true; // ALTER ANY CONNECTION, which KILL needs
};

struct LoginResult {
    bool ok = false;
    int spid = 0;                 // the new session's id when ok
    std::string database;         // the session's database when ok
    Message error;                // 18456 / class 14 "Login failed for user '<name>'." when not ok
    std::optional<Message> cause; // sent before `error`, e.g. 4060 for an unknown database
};

class Logins {
public:
    struct Login {
        std::string name;
        std::string password;
        bool windows = false;
        LoginRights rights;
    };

    void add(const std::string& name, const std::string& password, LoginRights rights);
    // A login for a Kerberos principal ("alice@TEST.LOCAL").
    void addWindows(const std::string& principal, LoginRights rights);
    // The login `info` proves to be, or nullptr: an unknown name, a principal for a SQL
    // login or a password for a Windows one, a wrong password.
    const Login* authenticate(const LoginInfo& info) const;

    void grant(int spid, LoginRights rights) { sessionRights_[spid] = rights; }
    std::optional<LoginRights> rights(int spid) const;
    void forget(int spid) { sessionRights_.erase(spid); }

    // The 18456 reply for a refused login of this user.
    static Message failed(const std::string& user);
    // The 4060 that goes before it when the database asked for does not exist.
    static Message unknownDatabase(const std::string& database);
    // The session a login opens in `databaseId`, as its client described itself.
    static ScriptedSession session(const LoginInfo& info, const Login& login, int databaseId);

private:
    std::map<std::string, Login> logins_;      // by lower-case name
    std::map<int, LoginRights> sessionRights_; // of the sessions that logged in
};

} // namespace testserver
