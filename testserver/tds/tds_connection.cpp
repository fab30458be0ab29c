#include "tds_connection.h"

#include "tds_encoder.h"
#include "tds_login.h"
#include "tds_reply_writer.h"
#include "tds_request.h"
#include "tds_rpc_request.h"

#include <sys/socket.h>
#include <unistd.h>

namespace testserver {

namespace {

// SQL Server answers with the client's version when it speaks it; every version from 7.2
// on gets the same token layouts from this server.
std::uint32_t ackVersion(std::uint32_t requested) {
    for (std::uint32_t known : {0x72090002u, 0x730A0003u, 0x730B0003u, 0x74000004u})
        if (requested == known)
            return requested;
    return 0x74000004u;
}

// SQL Server's answer to an integrated login it cannot authenticate.
Message untrustedDomain() {
    Message m;
    m.number = 18452;
    m.severity = 14;
    m.state = 1;
    m.text = "Login failed. The login is from an untrusted domain and cannot be used with "
             "Integrated authentication.";
    return m;
}

} // namespace

TdsConnection::TdsConnection(int fd, Instance& instance, Faults& faults,
                             const ServerSecurity& security, Endpoints endpoints)
    : fd_(fd), instance_(instance), faults_(faults), security_(security),
      endpoints_(std::move(endpoints)), channel_(fd) {}

TdsConnection::~TdsConnection() {
    ::close(fd_);
}

void TdsConnection::shutdown() {
    shutdown_ = true;
    ::shutdown(fd_, SHUT_RDWR);
}

void TdsConnection::run() {
    try {
        if (faults_.silent)
            drainSilently();
        else
            serve();
    } catch (const std::exception&) {
        // A reply that cannot be encoded ends the connection, as a server fault would.
    }
    ::shutdown(fd_, SHUT_RDWR);
    const int spid = spid_;
    if (spid != 0 && !killed_)
        instance_.logout(spid);
}

void TdsConnection::drainSilently() {
    char buffer[4096];
    while (!shutdown_ && ::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
}

void TdsConnection::serve() {
    if (channel_.startsWithTls()) {
        // TDS 8.0: only a server that speaks it and has a certificate goes on; any other
        // reads the ClientHello as a broken packet and hangs up.
        if (!security_.credentials || !instance_.speaksTds8() ||
            !channel_.startStrictTls(*security_.credentials))
            return;
        strict_ = true;
        encrypted_ = true;
    } else if (security_.encryption == EncryptMode::Strict) {
        return; // "Force Strict Encryption" serves TDS 8.0 clients only
    }
    TdsMessage message;
    while (!shutdown_ && channel_.read(message)) {
        bool keep = true;
        switch (message.type) {
        case tds::kPrelogin:
            keep = spid_ == 0 && handlePrelogin(message.payload);
            break;
        case tds::kLogin7:
            keep = spid_ == 0 && handleLogin(message.payload);
            break;
        case tds::kSqlBatch:
            keep = spid_ != 0 && handleBatch(message.payload);
            break;
        case tds::kAttention:
            keep = sendDone(tds::kDoneAttention);
            break;
        case tds::kTransactionManager:
            keep = spid_ != 0 && sendDone(0);
            break;
        case tds::kRpc:
            keep = spid_ != 0 && handleRpc(message.payload);
            break;
        default:
            keep = false;
        }
        if (!keep || killed_)
            return;
    }
}

bool TdsConnection::handlePrelogin(const std::string& payload) {
    // SQL Server closes a connection whose PRELOGIN it cannot read.
    const auto request = tds::parsePrelogin(payload);
    if (!request)
        return false;
    if (strict_) // already inside TLS: the client's ENCRYPTION option means nothing now
        return channel_.send(tds::kReply,
                             tds::preloginReply(instance_.versionNumber(), tds::kEncryptReq));
    std::uint8_t answer = encryptionAnswer(security_.encryption, request->encryption);
    if (faults_.downgradeEncryption && security_.credentials)
        answer = tds::kEncryptOff;
    if (!channel_.send(tds::kReply, tds::preloginReply(instance_.versionNumber(), answer)))
        return false;
    if (answer == tds::kEncryptNotSup)
        return true; // a client that needs encryption goes away now
    // A server that encrypts everything does not serve a client that cannot.
    if (request->encryption == tds::kEncryptNotSup)
        return false;
    if (!channel_.startTls(*security_.credentials))
        return false;
    if (answer == tds::kEncryptOff)
        channel_.endTlsAfterNextPacket();
    else
        encrypted_ = true;
    return true;
}

bool TdsConnection::handleLogin(const std::string& payload) {
    auto info = tds::parseLogin7(payload);
    if (!info)
        return false;
    info->clientAddress = endpoints_.clientAddress;
    info->clientPort = endpoints_.clientPort;
    info->serverAddress = endpoints_.serverAddress;
    info->serverPort = endpoints_.serverPort;
    info->encrypted = encrypted_;
    const std::string server = instance_.serverName();
    LoginResult result;
    std::string sspiReply;
    if (faults_.refuseLogins) {
        result.error = Instance::loginFailed(info->user);
    } else if (!info->sspi.empty()) {
        const auto outcome = security_.kerberos ? security_.kerberos->accept(info->sspi)
                                                : KerberosAcceptor::Outcome{};
        if (outcome.ok) {
            info->principal = outcome.principal;
            sspiReply = outcome.replyToken;
            result = instance_.login(*info);
        } else {
            result.error = untrustedDomain();
        }
    } else {
        result = instance_.login(*info);
    }
    if (!result.ok) {
        TdsReplyWriter w(channel_);
        if (result.cause)
            w.append(tds::message(*result.cause, server));
        w.append(tds::message(result.error, server));
        w.append(tds::done(tds::kDoneError, 0, 0));
        w.finish();
        return false; // SQL Server closes the connection after a failed login
    }
    // FreeTDS takes the session id from the header of the login reply.
    channel_.setSpid(result.spid);
    spid_ = result.spid;
    database_ = result.database;
    Message changed;
    changed.number = 5701;
    changed.severity = 0;
    changed.state = 2;
    changed.text = "Changed database context to '" + result.database + "'.";
    Message language;
    language.number = 5703;
    language.severity = 0;
    language.text = "Changed language setting to us_english.";
    TdsReplyWriter w(channel_);
    if (!sspiReply.empty())
        w.append(tds::sspiToken(sspiReply));
    w.append(tds::envChange(1, result.database, "master"));
    w.append(tds::message(changed, server));
    w.append(tds::collationEnvChange());
    w.append(tds::envChange(2, "us_english", ""));
    w.append(tds::message(language, server));
    w.append(tds::loginAck(ackVersion(info->tdsVersion), instance_.versionNumber()));
    w.append(
        tds::envChange(4, std::to_string(info->packetSize), std::to_string(channel_.packetSize())));
    w.append(tds::done(0, 0, 0));
    const bool ok = w.finish();
    channel_.setPacketSize(info->packetSize);
    return ok;
}

bool TdsConnection::handleBatch(const std::string& payload) {
    const auto parsed = tds::parseSqlBatch(payload);
    if (!parsed)
        return false;
    const std::string& text = *parsed;
    const int delay = faults_.delayMs;
    if (delay > 0) {
        // The session shows the batch running while its reply is held back; an
        // ATTENTION cancels it.
        instance_.beginBatch(spid_, text);
        if (channel_.waitReadable(delay)) {
            TdsMessage next;
            const bool got = channel_.read(next);
            instance_.cancelBatch(spid_);
            if (!got)
                return false;
            if (next.type == tds::kAttention)
                return sendDone(tds::kDoneAttention);
            return false;
        }
    }
    const BatchOutcome outcome = instance_.execute(spid_, text);
    return sendOutcome(outcome);
}

bool TdsConnection::sendDone(std::uint16_t status) {
    TdsReplyWriter w(channel_);
    w.append(tds::done(status, 0, 0));
    return w.finish();
}

bool TdsConnection::sendOutcome(const BatchOutcome& outcome) {
    if (outcome.statements.empty())
        return sendDone(0);
    TdsReplyWriter w(channel_);
    return appendOutcome(w, outcome, false) && w.finish();
}

bool TdsConnection::appendOutcome(TdsReplyWriter& w, const BatchOutcome& outcome,
                                  bool inProcedure) {
    const std::string server = instance_.serverName();
    for (std::size_t i = 0; i < outcome.statements.size(); ++i) {
        const StatementOutcome& s = outcome.statements[i];
        if (s.newDatabase) {
            w.append(tds::envChange(1, *s.newDatabase, database_));
            database_ = *s.newDatabase;
        }
        for (const auto& m : s.messages)
            w.append(tds::message(m, server));
        if (s.result) {
            const ResultSet& rs = *s.result;
            w.append(tds::colMetadata(rs.columns));
            const int cut = faults_.takeDropAfterRows();
            std::size_t rows = 0;
            for (const auto& row : rs.rows) {
                if (cut >= 0 && rows == static_cast<std::size_t>(cut))
                    break;
                tds::appendRow(w.buffer(), rs.columns, row);
                ++rows;
                if (!w.flushFull())
                    return false;
            }
            if (cut >= 0) {
                w.flushPartial();
                return false; // the fault: the connection drops in mid-result
            }
        }
        std::uint16_t status = 0;
        if (inProcedure || i + 1 < outcome.statements.size())
            status |= tds::kDoneMore;
        if (s.failed)
            status |= tds::kDoneError;
        if (s.rowCount)
            status |= tds::kDoneCount;
        w.append(tds::done(status, s.result ? tds::kCurCmdSelect : 0,
                           static_cast<std::uint64_t>(s.rowCount.value_or(0)),
                           inProcedure ? tds::kDoneInProcToken : tds::kDoneToken));
    }
    return true;
}

bool TdsConnection::handleRpc(const std::string& payload) {
    const auto request = tds::parseRpc(payload);
    if (!request)
        return false; // SQL Server drops a connection whose RPC stream it cannot read
    const std::string server = instance_.serverName();
    TdsReplyWriter w(channel_);
    for (std::size_t i = 0; i < request->calls.size(); ++i) {
        const RpcPlan plan = rpc_.plan(request->calls[i]);
        const BatchOutcome outcome =
            instance_.executeRpc(spid_, plan.procedure, plan.parameterCount, plan.statement);
        if (killed_)
            return false;
        bool failed = false;
        if (plan.error) {
            w.append(tds::message(*plan.error, server));
            failed = true;
        }
        if (!appendOutcome(w, outcome, true))
            return false;
        for (const auto& s : outcome.statements)
            failed = failed || s.failed;
        // The status comes before the OUTPUT values. The special procedures return 0 on
        // success and non-zero on failure; -6 is the old reserved code for a user error.
        if (plan.returnsStatus)
            w.append(tds::returnStatus(failed ? -6 : 0));
        for (const auto& r : plan.returnValues)
            w.append(tds::returnValue(r.ordinal, r.name, r.typeInfo, r.valueBytes));
        std::uint16_t status = 0;
        if (i + 1 < request->calls.size())
            status |= tds::kDoneMore;
        if (failed)
            status |= tds::kDoneError;
        w.append(tds::done(status, tds::kCurCmdExecute, 0, tds::kDoneProcToken));
    }
    return w.finish();
}

} // namespace testserver
