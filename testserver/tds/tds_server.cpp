#include "tds_server.h"

#include "tds_connection.h"
#include "tds_faults.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testserver {

namespace {

std::string addressText(const sockaddr_in& a) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return buf;
}

} // namespace

struct TdsServer::Impl {
    struct Entry {
        std::shared_ptr<TdsConnection> connection;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    std::shared_ptr<Instance> instance;
    Faults faults;
    ServerSecurity security;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::uint16_t port = 0;
    std::thread listener;
    std::mutex mutex; // guards connections
    std::list<Entry> connections;
    std::atomic<bool> stopping{false};

    void reapFinished() {
        std::list<Entry> done;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto it = connections.begin(); it != connections.end();) {
                if (*it->finished) {
                    done.splice(done.end(), connections, it++);
                } else {
                    ++it;
                }
            }
        }
        for (auto& e : done)
            e.thread.join();
    }

    void accept() {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in local{};
        socklen_t localLen = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen);
        Endpoints ends{addressText(peer), ntohs(peer.sin_port), addressText(local),
                       ntohs(local.sin_port)};
        auto connection = std::make_shared<TdsConnection>(fd, *instance, faults, security, ends);
        auto finished = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard<std::mutex> lock(mutex);
        connections.push_back(Entry{connection, std::thread([connection, finished] {
                                        connection->run();
                                        *finished = true;
                                    }),
                                    finished});
    }

    void listen() {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        while (!stopping) {
            const int rc = ::poll(fds, 2, 1000);
            if (rc < 0 && errno != EINTR)
                break;
            if (stopping)
                break;
            if (rc > 0 && (fds[0].revents & POLLIN))
                accept();
            reapFinished();
        }
    }

    void killed(int spid) {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& e : connections)
            if (e.connection->spid() == spid) {
                e.connection->markKilled();
                e.connection->shutdown();
            }
    }
};

TdsServer::TdsServer(std::shared_ptr<Instance> instance) : d(std::make_unique<Impl>()) {
    d->instance = std::move(instance);
}

TdsServer::~TdsServer() {
    stop();
}

std::uint16_t TdsServer::start(std::uint16_t port) {
    if (d->listenFd >= 0)
        throw std::logic_error("the server is running already");
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 128) < 0) {
        const std::string error = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 error);
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    if (::pipe2(d->wakePipe, O_CLOEXEC) < 0) {
        ::close(fd);
        throw std::runtime_error("pipe failed");
    }
    d->listenFd = fd;
    d->port = ntohs(addr.sin_port);
    d->stopping = false;
    Impl* impl = d.get();
    d->instance->setKillHandler([impl](int spid) { impl->killed(spid); });
    d->listener = std::thread([impl] { impl->listen(); });
    return d->port;
}

void TdsServer::stop() {
    if (d->listenFd < 0)
        return;
    d->stopping = true;
    const char byte = 0;
    [[maybe_unused]] const auto n = ::write(d->wakePipe[1], &byte, 1);
    d->listener.join();
    d->instance->setKillHandler({});
    std::list<Impl::Entry> all;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        all.swap(d->connections);
    }
    for (auto& e : all)
        e.connection->shutdown();
    for (auto& e : all)
        e.thread.join();
    ::close(d->listenFd);
    ::close(d->wakePipe[0]);
    ::close(d->wakePipe[1]);
    d->listenFd = -1;
    d->wakePipe[0] = d->wakePipe[1] = -1;
}

std::uint16_t TdsServer::port() const {
    return d->port;
}

Instance& TdsServer::instance() {
    return *d->instance;
}

std::shared_ptr<Instance> TdsServer::sharedInstance() const {
    return d->instance;
}

void TdsServer::dropConnectionAfterRows(int rows) {
    d->faults.dropAfterRows = rows;
}

void TdsServer::setResponseDelayMs(int ms) {
    d->faults.delayMs = ms;
}

void TdsServer::setEncryption(EncryptMode mode, std::shared_ptr<const TlsCredentials> credentials) {
    if (d->listenFd >= 0)
        throw std::logic_error("encryption is set before the server starts");
    if (mode != EncryptMode::Unsupported && !credentials)
        throw std::invalid_argument("encryption needs the server's certificate");
    d->security.encryption = mode;
    d->security.credentials = std::move(credentials);
}

void TdsServer::setKerberos(std::shared_ptr<const KerberosAcceptor> acceptor) {
    if (d->listenFd >= 0)
        throw std::logic_error("integrated security is set before the server starts");
    d->security.kerberos = std::move(acceptor);
}

void TdsServer::setDowngradeEncryption(bool downgrade) {
    d->faults.downgradeEncryption = downgrade;
}

void TdsServer::setRefuseLogins(bool refuse) {
    d->faults.refuseLogins = refuse;
}

void TdsServer::setSilent(bool silent) {
    d->faults.silent = silent;
}

} // namespace testserver
