#include "database/tlschannel.h"

#include "database/dberror.h"
#include "database/sqlbrowser.h"
#include "database/tdswire.h"
#include "database/tlsproblem.h"

#include <QCoreApplication>
#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A failure of the negotiation, turned into the connection's error at the top.
struct TFailure {
    TTlsProblem Problem;
    QString Detail;
};

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Waits for the socket until the deadline; false when it passed.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, int(std::min<qint64>(left.count(), 1 << 30)));
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

int connectTo(const TTlsTarget& t, int port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc =
        ::getaddrinfo(t.host.toUtf8().constData(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0)
        throw TFailure{TTlsProblem::Unreachable, QString::fromLocal8Bit(gai_strerror(rc))};
    int error = ETIMEDOUT;
    int connected = -1;
    for (addrinfo* a = found; a && connected < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        socklen_t size = sizeof error;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0)
            connected = fd;
        else if (errno != EINPROGRESS)
            error = errno;
        else if (!waitFor(fd, POLLOUT, deadline))
            error = ETIMEDOUT;
        else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            connected = fd;
        if (connected < 0)
            ::close(fd);
    }
    ::freeaddrinfo(found);
    if (connected < 0)
        throw error == ETIMEDOUT ? TFailure{TTlsProblem::Timeout, {}}
                                 : TFailure{TTlsProblem::Unreachable, systemError(error)};
    return connected;
}

bool isAddressLiteral(const QString& host) {
    const QByteArray text = host.toLatin1();
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, text.constData(), buffer) == 1 ||
           ::inet_pton(AF_INET6, text.constData(), buffer) == 1;
}

enum class TMode {
    Plain,       // before TLS, or TLS records straight on the socket: waits up to the deadline
    Wrapped,     // TDS 7.x: the handshake inside PRELOGIN packets
    NonBlocking, // the relay's pump
};

} // namespace

struct TTlsChannel::Impl {
    TTlsTarget Target;
    int Fd = -1;
    int Port = 0;
    Clock::time_point Deadline;
    TMode Mode = TMode::Plain;
    gnutls_session_t Session = nullptr;
    gnutls_certificate_credentials_t Credentials = nullptr;
    QByteArray Reply;
    QByteArray Outgoing; // handshake bytes for the next PRELOGIN packet
    QByteArray Incoming; // the rest of the last PRELOGIN packet read
    bool TimedOut = false;
    bool PeerClosed = false;

    ~Impl() {
        if (Session)
            gnutls_deinit(Session);
        if (Credentials)
            gnutls_certificate_free_credentials(Credentials);
        if (Fd >= 0)
            ::close(Fd);
    }

    // --- plain bytes on the socket, up to the deadline ---------------------------------
    bool sendAll(const QByteArray& data) {
        for (qsizetype done = 0; done < data.size();) {
            if (!waitFor(Fd, POLLOUT, Deadline)) {
                TimedOut = true;
                return false;
            }
            const ssize_t n =
                ::send(Fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                return false;
            if (n > 0)
                done += n;
        }
        return true;
    }
    bool receiveExact(QByteArray& out, qsizetype size) {
        out.resize(size);
        for (qsizetype done = 0; done < size;) {
            if (!waitFor(Fd, POLLIN, Deadline)) {
                TimedOut = true;
                return false;
            }
            const ssize_t n = ::recv(Fd, out.data() + done, size_t(size - done), 0);
            PeerClosed = n == 0;
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return false;
            if (n > 0)
                done += n;
        }
        return true;
    }
    // One packet, its type and data.
    bool readPacket(tds::TPacketHeader& header, QByteArray& data) {
        QByteArray head;
        if (!receiveExact(head, tds::kHeaderSize))
            return false;
        const auto h = tds::ReadPacketHeader(head);
        if (!h)
            throw TFailure{TTlsProblem::Protocol, {}};
        header = *h;
        return receiveExact(data, h->Length - tds::kHeaderSize);
    }

    // --- GnuTLS's transport -------------------------------------------------------------
    static ssize_t push(gnutls_transport_ptr_t p, const void* data, size_t size) {
        auto* d = static_cast<Impl*>(p);
        switch (d->Mode) {
        case TMode::Wrapped:
            d->Outgoing.append(static_cast<const char*>(data), qsizetype(size));
            return ssize_t(size);
        case TMode::Plain:
            if (!waitFor(d->Fd, POLLOUT, d->Deadline)) {
                d->TimedOut = true;
                gnutls_transport_set_errno(d->Session, ETIMEDOUT);
                return -1;
            }
            [[fallthrough]];
        case TMode::NonBlocking:
            break;
        }
        const ssize_t n = ::send(d->Fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0)
            gnutls_transport_set_errno(d->Session, errno);
        return n;
    }

    static ssize_t pull(gnutls_transport_ptr_t p, void* data, size_t size) {
        auto* d = static_cast<Impl*>(p);
        switch (d->Mode) {
        case TMode::Wrapped:
            return d->pullWrapped(data, size);
        case TMode::Plain:
            if (!waitFor(d->Fd, POLLIN, d->Deadline)) {
                d->TimedOut = true;
                gnutls_transport_set_errno(d->Session, ETIMEDOUT);
                return -1;
            }
            [[fallthrough]];
        case TMode::NonBlocking:
            break;
        }
        const ssize_t n = ::recv(d->Fd, data, size, MSG_DONTWAIT);
        if (n < 0)
            gnutls_transport_set_errno(d->Session, errno);
        return n;
    }

    // What GnuTLS wrote goes out as one PRELOGIN packet when it wants to read; the
    // server's answer comes in packets of its own.
    ssize_t pullWrapped(void* data, size_t size) {
        try {
            if (Incoming.isEmpty()) {
                if (!flushWrapped())
                    return -1;
                tds::TPacketHeader header;
                if (!readPacket(header, Incoming))
                    return Incoming.clear(), 0;
                if (header.Type != tds::kPrelogin && header.Type != tds::kReply)
                    throw TFailure{TTlsProblem::Protocol, {}};
            }
        } catch (const TFailure&) {
            gnutls_transport_set_errno(Session, EPROTO);
            return -1;
        }
        const qsizetype n = std::min(qsizetype(size), Incoming.size());
        std::memcpy(data, Incoming.constData(), size_t(n));
        Incoming.remove(0, n);
        return n;
    }
    bool flushWrapped() {
        if (Outgoing.isEmpty())
            return true;
        const bool ok = sendAll(tds::Packet(tds::kPrelogin, Outgoing, true));
        Outgoing.clear();
        return ok;
    }

    // --- the negotiation ------------------------------------------------------------------
    void negotiate() {
        loadAuthorities();
        // A connect timeout of 0 waits as long as it takes, as with the driver.
        Deadline = Target.timeoutMs > 0 ? Clock::now() + std::chrono::milliseconds(Target.timeoutMs)
                                        : Clock::time_point::max();
        Port = Target.port;
        if (Port <= 0) {
            Port = AskBrowserForPort(Target.host, Target.instance, Deadline);
            if (Port <= 0)
                throw TFailure{TTlsProblem::NoInstance, Target.instance};
        }
        Fd = connectTo(Target, Port, Deadline);
        if (Target.strict) {
            handshake();
            checkCertificate();
            Reply = exchangePrelogin();
            return;
        }
        // TDS 7.x: PRELOGIN in plain text, and nothing more unless the answer is that
        // everything will be encrypted.
        Reply = exchangePrelogin();
        const std::optional<quint8> answer = tds::PreloginEncryption(Reply);
        if (!answer)
            throw TFailure{TTlsProblem::Protocol, {}};
        if (*answer == tds::kEncryptNotSup)
            throw TFailure{TTlsProblem::NoEncryption, {}};
        if (*answer != tds::kEncryptOn && *answer != tds::kEncryptReq)
            throw TFailure{TTlsProblem::LoginOnly, {}};
        Mode = TMode::Wrapped;
        handshake();
        Mode = TMode::Plain;
        checkCertificate();
    }

    void loadAuthorities() {
        gnutls_certificate_allocate_credentials(&Credentials);
        if (!Target.verify)
            return;
        const QString ca = Target.caFile.trimmed();
        const bool system =
            ca.isEmpty() || ca.compare(QLatin1String("system"), Qt::CaseInsensitive) == 0;
        const int loaded =
            system ? gnutls_certificate_set_x509_system_trust(Credentials)
                   : gnutls_certificate_set_x509_trust_file(
                         Credentials, QFile::encodeName(ca).constData(), GNUTLS_X509_FMT_PEM);
        if (!system && loaded <= 0)
            throw TFailure{TTlsProblem::CaFile, ca};
    }

    // Our PRELOGIN and the server's answer: in plain text for TDS 7.x, inside TLS for 8.0.
    QByteArray exchangePrelogin() {
        const QByteArray request = tds::Packet(
            tds::kPrelogin, tds::PreloginRequest(tds::kEncryptOn, Target.instance), true);
        QByteArray reply;
        if (Target.strict) {
            if (!sendRecord(request))
                throw failureOfIo();
            for (bool last = false; !last;) {
                QByteArray head, data;
                if (!receiveRecord(head, tds::kHeaderSize))
                    throw failureOfIo();
                const auto h = tds::ReadPacketHeader(head);
                if (!h || h->Type != tds::kReply || !receiveRecord(data, h->Length - 8))
                    throw TFailure{TTlsProblem::Protocol, {}};
                reply += data;
                last = h->endOfMessage();
            }
            return reply;
        }
        if (!sendAll(request))
            throw failureOfIo();
        for (bool last = false; !last;) {
            tds::TPacketHeader header;
            QByteArray data;
            if (!readPacket(header, data))
                throw PeerClosed ? TFailure{TTlsProblem::Closed, {}} : failureOfIo();
            if (header.Type != tds::kReply)
                throw TFailure{TTlsProblem::Protocol, {}};
            reply += data;
            last = header.endOfMessage();
        }
        return reply;
    }
    TFailure failureOfIo() const {
        return TimedOut ? TFailure{TTlsProblem::Timeout, {}} : TFailure{TTlsProblem::Protocol, {}};
    }
    bool sendRecord(const QByteArray& data) {
        for (qsizetype done = 0; done < data.size();) {
            const ssize_t n =
                gnutls_record_send(Session, data.constData() + done, size_t(data.size() - done));
            if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
                continue;
            if (n < 0)
                return false;
            done += n;
        }
        return true;
    }
    bool receiveRecord(QByteArray& out, qsizetype size) {
        out.resize(size);
        for (qsizetype done = 0; done < size;) {
            const ssize_t n = gnutls_record_recv(Session, out.data() + done, size_t(size - done));
            if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    void handshake() {
        gnutls_init(&Session, GNUTLS_CLIENT);
        // TDS 7.x wraps the handshake in PRELOGIN packets, which SQL Server does for TLS 1.2
        // at most; TDS 8.0 is TLS as usual.
        gnutls_priority_set_direct(Session, Target.strict ? "NORMAL" : "NORMAL:-VERS-TLS1.3",
                                   nullptr);
        gnutls_credentials_set(Session, GNUTLS_CRD_CERTIFICATE, Credentials);
        const QByteArray host = Target.host.toUtf8();
        if (!isAddressLiteral(Target.host)) // server name indication names hosts only
            gnutls_server_name_set(Session, GNUTLS_NAME_DNS, host.constData(), size_t(host.size()));
        if (Target.strict) {
            static const char alpn[] = "tds/8.0";
            gnutls_datum_t protocol{reinterpret_cast<unsigned char*>(const_cast<char*>(alpn)),
                                    unsigned(sizeof alpn - 1)};
            gnutls_alpn_set_protocols(Session, &protocol, 1, 0);
        }
        gnutls_transport_set_ptr(Session, this);
        gnutls_transport_set_push_function(Session, &Impl::push);
        gnutls_transport_set_pull_function(Session, &Impl::pull);
        int rc;
        do
            rc = gnutls_handshake(Session);
        while (rc < 0 && !gnutls_error_is_fatal(rc));
        if (rc < 0) {
            if (TimedOut)
                throw TFailure{TTlsProblem::Timeout, {}};
            // A server without TDS 8.0 reads the ClientHello as a broken packet and hangs up.
            if (Target.strict &&
                (rc == GNUTLS_E_PREMATURE_TERMINATION || rc == GNUTLS_E_UNEXPECTED_PACKET_LENGTH ||
                 rc == GNUTLS_E_PULL_ERROR || rc == GNUTLS_E_PUSH_ERROR))
                throw TFailure{TTlsProblem::NoStrict, {}};
            throw TFailure{TTlsProblem::Handshake, QString::fromUtf8(gnutls_strerror(rc))};
        }
        if (Mode == TMode::Wrapped && !flushWrapped())
            throw failureOfIo();
    }

    void checkCertificate() {
        if (!Target.verify)
            return;
        const QString name =
            Target.certificateName.isEmpty() ? Target.host : Target.certificateName;
        const QByteArray checked = name.toUtf8();
        unsigned status = 0;
        if (gnutls_certificate_verify_peers3(Session, checked.constData(), &status) < 0)
            throw TFailure{TTlsProblem::Untrusted, {}};
        if (status != 0)
            throw TFailure{TlsProblemOfStatus(status), name};
    }
};

TTlsChannel::TTlsChannel(const TTlsTarget& ATarget) : d(std::make_unique<Impl>()) {
    static const int init = gnutls_global_init();
    (void)init;
    d->Target = ATarget;
    try {
        d->negotiate();
    } catch (const TFailure& f) {
        const QString about = f.Problem == TTlsProblem::WrongName ? f.Detail : ATarget.server;
        throw EDbError(QCoreApplication::translate(
                           "Tls", "Не удалось установить зашифрованное соединение с «%1».")
                           .arg(ATarget.server) +
                       QStringLiteral("\r\n") + TlsProblemText(f.Problem, about, f.Detail));
    }
}

TTlsChannel::~TTlsChannel() = default;

int TTlsChannel::socket() const {
    return d->Fd;
}

int TTlsChannel::port() const {
    return d->Port;
}

const QByteArray& TTlsChannel::preloginReply() const {
    return d->Reply;
}

void TTlsChannel::makeNonBlocking() {
    ::fcntl(d->Fd, F_SETFL, ::fcntl(d->Fd, F_GETFL) | O_NONBLOCK);
    d->Mode = TMode::NonBlocking;
}

long TTlsChannel::receive(char* AData, std::size_t ASize) {
    const ssize_t n = gnutls_record_recv(d->Session, AData, ASize);
    if (n >= 0)
        return long(n);
    if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED || !gnutls_error_is_fatal(int(n)))
        return kAgain;
    // A server that closes without TLS's goodbye has closed all the same.
    return n == GNUTLS_E_PREMATURE_TERMINATION ? 0 : kError;
}

long TTlsChannel::send(const char* AData, std::size_t ASize) {
    const ssize_t n = gnutls_record_send(d->Session, AData, ASize);
    if (n >= 0)
        return long(n);
    return n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED ? kAgain : kError;
}

std::size_t TTlsChannel::pending() const {
    return gnutls_record_check_pending(d->Session);
}

bool TTlsChannel::waitsToWrite() const {
    return gnutls_record_get_direction(d->Session) == 1;
}

void TTlsChannel::bye() {
    gnutls_bye(d->Session, GNUTLS_SHUT_WR);
}
