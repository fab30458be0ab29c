#include "metrics/metricsserver.h"

#include "metrics/metricsstate.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::runtime_error failure(const QString& AAddress, const QString& AWhy) {
    return std::runtime_error(
        QCoreApplication::translate("Metrics", "Не удалось слушать %1 для метрик: %2")
            .arg(AAddress, AWhy)
            .toStdString());
}

void sendAll(int ASocket, const QByteArray& AData) {
    qsizetype sent = 0;
    while (sent < AData.size()) {
        const ssize_t n = ::send(ASocket, AData.constData() + sent,
                                 std::size_t(AData.size() - sent), MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        sent += n;
    }
}

} // namespace

std::optional<std::pair<QString, QString>> SplitListenAddress(const QString& AAddress) {
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^:\\[\\]]+)):(\\d{1,5})$"));
    const QRegularExpressionMatch m = form.match(AAddress);
    if (!m.hasMatch() || m.captured(3).toInt() > 65535)
        return std::nullopt;
    return std::pair(m.captured(1).isEmpty() ? m.captured(2) : m.captured(1), m.captured(3));
}

TMetricsServer::TMetricsServer(const QString& AAddress, const TMetricsState& AState)
    : FState(AState) {
    const auto parts = SplitListenAddress(AAddress);
    if (!parts)
        throw failure(AAddress, QCoreApplication::translate(
                                    "Metrics", "нужен адрес и порт, например 127.0.0.1:9471."));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(parts->first.toUtf8().constData(),
                                 parts->second.toUtf8().constData(), &hints, &found);
    if (rc != 0)
        throw failure(AAddress, QString::fromLocal8Bit(::gai_strerror(rc)));
    QString why;
    for (addrinfo* a = found; a && FListen < 0; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0)
            continue;
        const int on = 1;
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(s, a->ai_addr, a->ai_addrlen) == 0 && ::listen(s, 16) == 0) {
            FListen = s;
            sockaddr_storage bound{};
            socklen_t len = sizeof bound;
            ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &len);
            FPort = ntohs(bound.ss_family == AF_INET6
                              ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        } else {
            why = QString::fromLocal8Bit(std::strerror(errno));
            ::close(s);
        }
    }
    ::freeaddrinfo(found);
    if (FListen < 0)
        throw failure(AAddress, why);
    if (::pipe2(FWake, O_CLOEXEC) != 0) {
        ::close(FListen);
        throw failure(AAddress, QString::fromLocal8Bit(std::strerror(errno)));
    }
    FThread = std::thread([this] { serve(); });
}

TMetricsServer::~TMetricsServer() {
    const char stop = 1;
    [[maybe_unused]] const ssize_t n = ::write(FWake[1], &stop, 1);
    FThread.join();
    ::close(FListen);
    ::close(FWake[0]);
    ::close(FWake[1]);
}

void TMetricsServer::serve() {
    for (;;) {
        pollfd fds[2] = {{FListen, POLLIN, 0}, {FWake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const int client = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        answer(client);
        ::close(client);
    }
}

void TMetricsServer::answer(int ASocket) {
    // One request a connection, read until its head ends; a client that sends nothing
    // for a second, or more than a request's head, is let go.
    QByteArray request;
    while (!request.contains("\r\n\r\n") && request.size() < 8192) {
        pollfd fd{ASocket, POLLIN, 0};
        if (::poll(&fd, 1, 1000) <= 0)
            return;
        char buffer[2048];
        const ssize_t n = ::recv(ASocket, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, n);
    }
    const QByteArray first = request.left(request.indexOf("\r\n"));
    const QList<QByteArray> words = first.split(' ');
    QByteArray status = "404 Not Found", type = "text/plain; charset=utf-8", body = "not found\n";
    if (words.size() == 3 && words[1].split('?').first() == "/metrics") {
        if (words[0] == "GET" || words[0] == "HEAD") {
            status = "200 OK";
            type = "text/plain; version=0.0.4; charset=utf-8";
            body = FState.render();
        } else {
            status = "405 Method Not Allowed";
            body = "GET only\n";
        }
    }
    QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n";
    sendAll(ASocket, words.value(0) == "HEAD" ? head : head + body);
}
