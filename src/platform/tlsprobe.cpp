#include "platform/tlsprobe.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the socket until the deadline; false when it passed.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return false;
    pollfd p{fd, events, 0};
    int rc;
    do
        rc = ::poll(&p, 1, static_cast<int>(left.count()));
    while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// A connected socket with a deadline for every wait; closes it.
class TProbeSocket {
public:
    TProbeSocket(int fd, Clock::time_point deadline) : FFd(fd), FDeadline(deadline) {}
    ~TProbeSocket() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TProbeSocket(const TProbeSocket&) = delete;
    TProbeSocket& operator=(const TProbeSocket&) = delete;

    bool wait(short events) const { return waitFor(FFd, events, FDeadline); }
    bool sendAll(const std::string& data) const {
        for (std::size_t done = 0; done < data.size();) {
            if (!wait(POLLOUT))
                return false;
            const ssize_t n = ::send(FFd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0 && errno != EINTR && errno != EAGAIN)
                return false;
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool receiveExact(std::string& out, std::size_t size) const {
        out.resize(size);
        for (std::size_t done = 0; done < size;) {
            if (!wait(POLLIN))
                return false;
            const ssize_t n = ::recv(FFd, out.data() + done, size - done, 0);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return false;
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // One TDS packet of the given type; its payload.
    bool sendPacket(std::uint8_t type, const std::string& payload) const {
        const std::size_t length = payload.size() + 8;
        std::string packet{static_cast<char>(type),
                           0x01,
                           static_cast<char>(length >> 8),
                           static_cast<char>(length & 0xFF),
                           0,
                           0,
                           1,
                           0};
        return sendAll(packet + payload);
    }
    bool readPacket(std::string& payload) const {
        std::string header;
        if (!receiveExact(header, 8))
            return false;
        const std::size_t length =
            (static_cast<unsigned char>(header[2]) << 8) | static_cast<unsigned char>(header[3]);
        return length >= 8 && receiveExact(payload, length - 8);
    }

private:
    int FFd;
    Clock::time_point FDeadline;
};

int connectTo(const QString& host, int port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int connected = -1;
    for (addrinfo* a = found; a && connected < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        int error = 0;
        socklen_t len = sizeof error;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
            (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline) &&
             ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0))
            connected = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(found);
    return connected;
}

// The instance's TCP port from the SQL Server Browser on UDP 1434; 0 when it does not say.
int instancePort(const QString& host, const QString& instance, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), "1434", &hints, &found) != 0)
        return 0;
    int port = 0;
    const int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        std::string request(1, '\x04');
        request += instance.toStdString();
        request += '\0';
        ::sendto(fd, request.data(), request.size(), 0, found->ai_addr, found->ai_addrlen);
        TProbeSocket socket(fd, deadline);
        char buffer[4096];
        if (socket.wait(POLLIN)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 3) {
                const QStringList fields = QString::fromLatin1(buffer + 3, static_cast<int>(n - 3))
                                               .split(QLatin1Char(';'));
                const int tcp = static_cast<int>(fields.indexOf(QStringLiteral("tcp")));
                if (tcp >= 0 && tcp + 1 < fields.size())
                    port = fields[tcp + 1].toInt();
            }
        }
    }
    ::freeaddrinfo(found);
    return port;
}

std::string preloginAskingForEncryption() {
    // VERSION, ENCRYPTION = ON, INSTOPT, THREADID, then the terminator and the data.
    const std::string version{0x0C, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::string values[] = {version, std::string(1, '\x01'), std::string(1, '\0'),
                                  std::string(4, '\0')};
    std::string head, body;
    const std::size_t base = 5 * std::size(values) + 1;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::size_t offset = base + body.size();
        head += static_cast<char>(i);
        head += static_cast<char>(offset >> 8);
        head += static_cast<char>(offset & 0xFF);
        head += static_cast<char>(0);
        head += static_cast<char>(values[i].size());
        body += values[i];
    }
    return head + '\xFF' + body;
}

// The ENCRYPTION option of a pre-login reply, -1 when there is none.
int encryptionOf(const std::string& reply) {
    for (std::size_t at = 0; at + 5 <= reply.size() && reply[at] != '\xFF'; at += 5) {
        if (reply[at] != 0x01)
            continue;
        const std::size_t offset = (static_cast<unsigned char>(reply[at + 1]) << 8) |
                                   static_cast<unsigned char>(reply[at + 2]);
        return offset < reply.size() ? static_cast<unsigned char>(reply[offset]) : -1;
    }
    return -1;
}

// The handshake travels in PRELOGIN packets: what GnuTLS writes is collected and goes out
// as one packet when GnuTLS wants to read.
struct THandshakeTransport {
    const TProbeSocket* socket;
    std::string pending;
    std::string incoming;
};

ssize_t pushToPacket(gnutls_transport_ptr_t p, const void* data, size_t size) {
    static_cast<THandshakeTransport*>(p)->pending.append(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
}

ssize_t pullFromPacket(gnutls_transport_ptr_t p, void* data, size_t size) {
    auto* t = static_cast<THandshakeTransport*>(p);
    if (t->incoming.empty()) {
        if (!t->pending.empty() && !t->socket->sendPacket(0x12, t->pending))
            return -1;
        t->pending.clear();
        if (!t->socket->readPacket(t->incoming) || t->incoming.empty())
            return 0;
    }
    const std::size_t n = std::min(size, t->incoming.size());
    std::memcpy(data, t->incoming.data(), n);
    t->incoming.erase(0, n);
    return static_cast<ssize_t>(n);
}

TTlsProblem problemOf(unsigned status) {
    if (status & GNUTLS_CERT_REVOKED)
        return TTlsProblem::Revoked;
    if (status & GNUTLS_CERT_EXPIRED)
        return TTlsProblem::Expired;
    if (status & GNUTLS_CERT_NOT_ACTIVATED)
        return TTlsProblem::NotYetValid;
    if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA))
        return TTlsProblem::Untrusted;
    if (status & GNUTLS_CERT_INSECURE_ALGORITHM)
        return TTlsProblem::Insecure;
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        return TTlsProblem::WrongName;
    return status == 0 ? TTlsProblem::None : TTlsProblem::Untrusted;
}

} // namespace

TTlsProblem ProbeTls(const TTlsProbeTarget& t) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(t.timeoutMs);
    const int port = t.port > 0 ? t.port : instancePort(t.host, t.instance, deadline);
    if (port <= 0)
        return TTlsProblem::Unknown;
    const int fd = connectTo(t.host, port, deadline);
    if (fd < 0)
        return TTlsProblem::Unknown;
    TProbeSocket socket(fd, deadline);
    std::string reply;
    if (!socket.sendPacket(0x12, preloginAskingForEncryption()) || !socket.readPacket(reply))
        return TTlsProblem::Unknown;
    if (encryptionOf(reply) == 0x02)
        return TTlsProblem::NoEncryption;

    gnutls_global_init();
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_certificate_allocate_credentials(&credentials);
    const QString ca = t.caFile.trimmed();
    const bool loaded =
        ca.isEmpty() || ca.compare(QLatin1String("system"), Qt::CaseInsensitive) == 0
            ? gnutls_certificate_set_x509_system_trust(credentials) >= 0
            : gnutls_certificate_set_x509_trust_file(credentials, QFile::encodeName(ca).constData(),
                                                     GNUTLS_X509_FMT_PEM) > 0;
    gnutls_session_t session = nullptr;
    gnutls_init(&session, GNUTLS_CLIENT);
    // As the driver negotiates: TLS 1.3 does not fit into the pre-login exchange.
    gnutls_priority_set_direct(session, "NORMAL:-VERS-TLS1.3", nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    THandshakeTransport transport{&socket, {}, {}};
    gnutls_transport_set_ptr(session, &transport);
    gnutls_transport_set_push_function(session, &pushToPacket);
    gnutls_transport_set_pull_function(session, &pullFromPacket);
    int rc;
    do
        rc = gnutls_handshake(session);
    while (rc < 0 && !gnutls_error_is_fatal(rc));
    TTlsProblem problem = TTlsProblem::Unknown;
    if (rc >= 0 && loaded) {
        unsigned status = 0;
        const QByteArray host = t.host.toUtf8();
        if (gnutls_certificate_verify_peers3(session, t.checkHostName ? host.constData() : nullptr,
                                             &status) >= 0)
            problem = problemOf(status);
    }
    gnutls_deinit(session);
    gnutls_certificate_free_credentials(credentials);
    gnutls_global_deinit();
    return problem;
}

QString TlsProblemText(TTlsProblem AProblem, const QString& AHost) {
    switch (AProblem) {
    case TTlsProblem::NoEncryption:
        return QCoreApplication::translate("TlsProbe", "Сервер не поддерживает шифрование.");
    case TTlsProblem::Untrusted:
        return QCoreApplication::translate(
            "TlsProbe", "Сертификат сервера не заверен доверенным центром сертификации.");
    case TTlsProblem::Expired:
        return QCoreApplication::translate("TlsProbe", "Срок действия сертификата сервера истёк.");
    case TTlsProblem::NotYetValid:
        return QCoreApplication::translate("TlsProbe", "Сертификат сервера ещё не действует.");
    case TTlsProblem::WrongName:
        return QCoreApplication::translate("TlsProbe", "Сертификат сервера выдан не для «%1».")
            .arg(AHost);
    case TTlsProblem::Revoked:
        return QCoreApplication::translate("TlsProbe", "Сертификат сервера отозван.");
    case TTlsProblem::Insecure:
        return QCoreApplication::translate("TlsProbe",
                                           "Сертификат сервера подписан ненадёжным алгоритмом.");
    case TTlsProblem::None:
    case TTlsProblem::Unknown:
        break;
    }
    return QString();
}
