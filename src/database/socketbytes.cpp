#include "database/socketbytes.h"

#include <QDir>
#include <QFileInfo>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

int localPort(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return -1;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return -1;
}

} // namespace

QList<int> OpenTcpSockets() {
    // A server in this same process (the loopback test server) has sockets too: its
    // listening ones, and the ends it accepted, on the listening ports. Neither is a
    // connection of ours to a server.
    QList<int> sockets;
    QList<int> listening;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (!QFileInfo(fds.filePath(name)).symLinkTarget().contains(QLatin1String("socket:")))
            continue;
        const int fd = name.toInt();
        int type = 0, protocol = 0;
        socklen_t size = sizeof type;
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM)
            continue;
        size = sizeof protocol;
        if (getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0 ||
            protocol != IPPROTO_TCP)
            continue;
        int accepting = 0;
        size = sizeof accepting;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &size) == 0 && accepting)
            listening << localPort(fd);
        else
            sockets << fd;
    }
    sockets.removeIf([&listening](int fd) { return listening.contains(localPort(fd)); });
    return sockets;
}

int NewSocket(const QList<int>& before, const QList<int>& after) {
    int found = -1;
    for (int fd : after) {
        if (before.contains(fd))
            continue;
        if (found >= 0)
            return -1; // another thread connected meanwhile: which is ours is not known
        found = fd;
    }
    return found;
}

qint64 TcpBytesReceived(int fd) {
    if (fd < 0)
        return -1;
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return -1;
    return static_cast<qint64>(info.tcpi_bytes_received);
}
