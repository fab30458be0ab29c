#include "logins.h"

#include <cctype>

namespace testserver {

namespace {

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

void Logins::add(const std::string& name, const std::string& password, LoginRights rights) {
    logins_[lower(name)] = {name, password, false, rights};
}

void Logins::addWindows(const std::string& principal, LoginRights rights) {
    logins_[lower(principal)] = {principal, {}, true, rights};
}

const Logins::Login* Logins::authenticate(const LoginInfo& info) const {
    const std::string name = info.principal.value_or(info.user);
    const auto it = logins_.find(lower(name));
    const bool refused = it == logins_.end() || it->second.windows != info.principal.has_value() ||
                         (!info.principal && it->second.password != info.password);
    return refused ? nullptr : &it->second;
}

std::optional<LoginRights> Logins::rights(int spid) const {
    const auto it = sessionRights_.find(spid);
    if (it == sessionRights_.end())
        return std::nullopt;
    return it->second;
}

Message Logins::failed(const std::string& user) {
    Message m;
    m.number = 18456;
    m.severity = 14;
    m.state = 1;
    m.text = "Login failed for user '" + user + "'.";
    return m;
}

Message Logins::unknownDatabase(const std::string& database) {
    Message cause;
    cause.number = 4060;
    cause.severity = 11;
    cause.text =
        "Cannot open database \"" + database + "\" requested by the login. The login failed.";
    return cause;
}

ScriptedSession Logins::session(const LoginInfo& info, const Login& login, int databaseId) {
    const std::string name = info.principal.value_or(info.user);
    ScriptedSession session;
    session.loginName = login.name;
    if (info.principal) {
        session.ntUserName = name.substr(0, name.find('@'));
        session.ntDomain =
            name.find('@') == std::string::npos ? "" : name.substr(name.find('@') + 1);
        session.connection.authScheme = "KERBEROS";
    }
    session.hostName = info.host;
    session.programName = info.program;
    session.clientInterfaceName = info.clientInterface;
    session.hostProcessId = info.hostProcessId;
    session.memoryUsage = 2;
    session.databaseId = databaseId;
    session.connection.clientNetAddress = info.clientAddress;
    session.connection.clientTcpPort = info.clientPort;
    session.connection.localNetAddress = info.serverAddress;
    session.connection.localTcpPort = info.serverPort;
    session.connection.netPacketSize = info.packetSize;
    session.connection.encryptOption = info.encrypted ? "TRUE" : "FALSE";
    session.connection.overrides["protocol_version"] = std::int64_t{info.tdsVersion};
    return session;
}

} // namespace testserver
