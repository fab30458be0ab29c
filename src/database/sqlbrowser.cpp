#include "database/sqlbrowser.h"

#include <QStringList>
#include <cerrno>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kUnicastInstance = 0x04;
constexpr char kServerResponse = 0x05;
constexpr int kMaxInstanceReply = 1024; // RESP_DATA's limit for one instance

} // namespace

QByteArray BrowserRequest(const QString& AInstance) {
    return kUnicastInstance + AInstance.toLocal8Bit() + '\0';
}

std::optional<int> BrowserReplyPort(const QByteArray& AReply, const QString& AInstance) {
    if (AReply.size() < 3 || AReply[0] != kServerResponse)
        return std::nullopt;
    const int size = quint8(AReply[1]) | (quint8(AReply[2]) << 8);
    if (size != AReply.size() - 3 || size > kMaxInstanceReply)
        return std::nullopt;
    // One or more descriptions, each "key;value;...;" ending with ";;"; keys and values
    // are compared without regard to letter case.
    const QString data = QString::fromLocal8Bit(AReply.mid(3));
    for (const QString& description : data.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
        const QStringList fields = description.split(QLatin1Char(';'));
        QString instance, tcp;
        for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
            if (fields[i].compare(QLatin1String("InstanceName"), Qt::CaseInsensitive) == 0)
                instance = fields[i + 1];
            else if (fields[i].compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0)
                tcp = fields[i + 1];
        }
        if (instance.compare(AInstance, Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const int port = tcp.toInt(&ok);
        if (ok && port > 0 && port <= 65535)
            return port;
    }
    return std::nullopt;
}

int AskBrowserForPort(const QString& AHost, const QString& AInstance,
                      std::chrono::steady_clock::time_point ADeadline) {
    using namespace std::chrono;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(AHost.toUtf8().constData(), "1434", &hints, &found) != 0)
        return 0;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return 0;
    const QByteArray request = BrowserRequest(AInstance);
    int port = 0;
    while (port == 0 && steady_clock::now() < ADeadline) {
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        const auto retry = std::min(ADeadline, steady_clock::now() + seconds(1));
        for (;;) {
            const auto left = duration_cast<milliseconds>(retry - steady_clock::now()).count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
                break;
            char buffer[kMaxInstanceReply + 3];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno != EINTR && errno != ECONNREFUSED)
                break;
            if (n <= 0)
                continue;
            if (const auto answer = BrowserReplyPort(QByteArray(buffer, int(n)), AInstance)) {
                port = *answer;
                break;
            }
        }
    }
    ::close(fd);
    return port;
}
