#include "database/tlsrelay.h"

#include "database/dberror.h"
#include "database/tdswire.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The driver's messages during the login are small; a larger one is no driver's.
constexpr qsizetype kLoginMessageLimit = 1 << 20;
constexpr int kLoginPacketSize = 4096;

bool sameAddress(const sockaddr_storage& a, socklen_t aSize, const sockaddr_storage& b,
                 socklen_t bSize) {
    return aSize == bSize && std::memcmp(&a, &b, aSize) == 0;
}

} // namespace

bool IsConnectionFromThisProcess(int accepted) {
    sockaddr_storage peer{}, local{};
    socklen_t peerSize = sizeof peer, localSize = sizeof local;
    if (::getpeername(accepted, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        ::getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &localSize) != 0)
        return false;
    // A connected socket is the only one with its pair of ends, so a socket of ours whose
    // ends are the accepted one's the other way round is the very one that connected.
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || end == entry->d_name || fd == accepted || fd == ::dirfd(fds))
            continue;
        struct stat st {};
        if (::fstat(int(fd), &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        sockaddr_storage mine{}, theirs{};
        socklen_t mineSize = sizeof mine, theirsSize = sizeof theirs;
        if (::getsockname(int(fd), reinterpret_cast<sockaddr*>(&mine), &mineSize) == 0 &&
            ::getpeername(int(fd), reinterpret_cast<sockaddr*>(&theirs), &theirsSize) == 0 &&
            sameAddress(mine, mineSize, peer, peerSize) &&
            sameAddress(theirs, theirsSize, local, localSize)) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

struct TTlsRelay::Impl {
    std::unique_ptr<TTlsChannel> Channel;
    QString ServerName;
    int Listener = -1;
    quint16 Port = 0;
    int Local = -1;
    int Wake = -1;
    std::atomic<int> Refused{0};
    std::thread Thread;

    ~Impl() {
        for (int fd : {Listener, Local, Wake})
            if (fd >= 0)
                ::close(fd);
    }

    void listen() {
        Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (Listener < 0 || ::bind(Listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(Listener, 4) != 0 ||
            ::getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw EDbError(QStringLiteral("No loopback endpoint for the encrypted connection: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
        Port = ntohs(address.sin_port);
    }

    // Waits for the socket or the stop; false when stopped.
    bool wait(int fd, short events) const {
        pollfd p[2] = {{Wake, POLLIN, 0}, {fd, events, 0}};
        for (;;) {
            if (::poll(p, 2, -1) < 0 && errno != EINTR)
                return false;
            if (p[0].revents)
                return false;
            if (p[1].revents)
                return true;
        }
    }

    bool acceptDriver() {
        while (wait(Listener, POLLIN)) {
            const int fd = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                continue;
            if (IsConnectionFromThisProcess(fd)) {
                Local = fd;
                ::close(Listener); // one connection, and no other after it
                Listener = -1;
                return true;
            }
            ::close(fd);
            ++Refused;
        }
        return false;
    }

    bool readLocal(QByteArray& out, qsizetype size) {
        out.resize(size);
        for (qsizetype done = 0; done < size;) {
            const ssize_t n = ::recv(Local, out.data() + done, size_t(size - done), 0);
            if (n > 0)
                done += n;
            else if (n == 0 || (errno != EAGAIN && errno != EINTR) || !wait(Local, POLLIN))
                return false;
        }
        return true;
    }
    // One message of the driver, its packets put together; type 0 when it failed.
    char readMessage(QByteArray& message) {
        message.clear();
        for (;;) {
            QByteArray head, data;
            if (!readLocal(head, tds::kHeaderSize))
                return 0;
            const auto h = tds::ReadPacketHeader(head);
            if (!h || !readLocal(data, h->Length - tds::kHeaderSize))
                return 0;
            message += data;
            if (message.size() > kLoginMessageLimit)
                return 0;
            if (h->endOfMessage())
                return h->Type;
        }
    }
    bool sendLocal(const QByteArray& data) {
        for (qsizetype done = 0; done < data.size();) {
            const ssize_t n =
                ::send(Local, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
            if (n > 0)
                done += n;
            else if ((errno != EAGAIN && errno != EINTR) || !wait(Local, POLLOUT))
                return false;
        }
        return true;
    }
    bool sendServer(const QByteArray& data) {
        for (qsizetype done = 0; done < data.size();) {
            const long n = Channel->send(data.constData() + done, size_t(data.size() - done));
            if (n > 0)
                done += n;
            else if (n == TTlsChannel::kError ||
                     !wait(Channel->socket(), Channel->waitsToWrite() ? POLLOUT : POLLIN))
                return false;
        }
        return true;
    }

    // The driver's PRELOGIN is answered here; its LOGIN7 goes on with the server's name.
    bool handOverLogin() {
        QByteArray message;
        if (readMessage(message) != tds::kPrelogin)
            return false;
        const std::optional<QByteArray> answer =
            tds::WithPreloginEncryption(Channel->preloginReply(), tds::kEncryptNotSup);
        if (!answer || !sendLocal(tds::Packets(tds::kReply, *answer, kLoginPacketSize)))
            return false;
        if (readMessage(message) != tds::kLogin7)
            return false;
        const std::optional<QByteArray> login = tds::WithLogin7ServerName(message, ServerName);
        return login && sendServer(tds::Packets(tds::kLogin7, *login, kLoginPacketSize));
    }

    // Both ways at once until either end closes or the relay stops.
    void pump() {
        QByteArray toLocal, toServer;
        char buffer[16384];
        for (;;) {
            bool moved = false;
            bool serverWrite = false; // GnuTLS waits to write before it can go on
            if (toLocal.isEmpty()) {
                const long n = Channel->receive(buffer, sizeof buffer);
                if (n == 0 || n == TTlsChannel::kError)
                    return;
                if (n > 0) {
                    toLocal.append(buffer, n);
                    moved = true;
                } else {
                    serverWrite = Channel->waitsToWrite();
                }
            }
            if (!toLocal.isEmpty()) {
                const ssize_t n = ::send(Local, toLocal.constData(), size_t(toLocal.size()),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return;
                if (n > 0) {
                    toLocal.remove(0, n);
                    moved = true;
                }
            }
            if (toServer.isEmpty()) {
                const ssize_t n = ::recv(Local, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n == 0) {
                    Channel->bye();
                    return;
                }
                if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return;
                if (n > 0) {
                    toServer = QByteArray(buffer, n);
                    moved = true;
                }
            }
            if (!toServer.isEmpty()) {
                // After kAgain GnuTLS wants the same bytes again: toServer stays as it is.
                const long n = Channel->send(toServer.constData(), size_t(toServer.size()));
                if (n == TTlsChannel::kError)
                    return;
                if (n > 0) {
                    toServer.remove(0, n);
                    moved = true;
                } else {
                    serverWrite = serverWrite || Channel->waitsToWrite();
                }
            }
            if (moved || (toLocal.isEmpty() && Channel->pending() > 0))
                continue;
            const short localEvents =
                short((toServer.isEmpty() ? POLLIN : 0) | (toLocal.isEmpty() ? 0 : POLLOUT));
            const short serverEvents =
                short((toLocal.isEmpty() ? POLLIN : 0) | (serverWrite ? POLLOUT : 0));
            pollfd p[3] = {
                {Wake, POLLIN, 0}, {Local, localEvents, 0}, {Channel->socket(), serverEvents, 0}};
            if (::poll(p, 3, -1) < 0 && errno != EINTR)
                return;
            if (p[0].revents)
                return;
        }
    }

    void run() {
        if (acceptDriver() && handOverLogin())
            pump();
        // The driver learns at once that the connection is gone.
        if (Local >= 0)
            ::shutdown(Local, SHUT_RDWR);
    }
};

TTlsRelay::TTlsRelay(std::unique_ptr<TTlsChannel> AChannel, const QString& AServerName)
    : d(std::make_unique<Impl>()) {
    d->Channel = std::move(AChannel);
    d->Channel->makeNonBlocking();
    d->ServerName = AServerName;
    d->Wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    d->listen();
    d->Thread = std::thread([this] { d->run(); });
}

TTlsRelay::~TTlsRelay() {
    const std::uint64_t one = 1;
    (void)!::write(d->Wake, &one, sizeof one);
    d->Thread.join();
}

quint16 TTlsRelay::port() const {
    return d->Port;
}

int TTlsRelay::serverSocket() const {
    return d->Channel->socket();
}

int TTlsRelay::refused() const {
    return d->Refused.load();
}
