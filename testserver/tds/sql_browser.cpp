#include "sql_browser.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testserver {

namespace {

constexpr std::uint8_t kBroadcastAll = 0x02;
constexpr std::uint8_t kUnicastAll = 0x03;
constexpr std::uint8_t kUnicastInstance = 0x04;
constexpr std::uint8_t kResponse = 0x05;

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

} // namespace

struct SqlBrowser::Impl {
    std::string host;
    std::map<std::string, std::uint16_t> instances; // upper-case names
    std::map<std::string, std::string> spelled;     // upper-case -> as given
    std::string version;
    int fd = -1;
    int wake[2] = {-1, -1};
    std::thread thread;

    std::string describe(const std::string& key) const {
        return "ServerName;" + host + ";InstanceName;" + spelled.at(key) +
               ";IsClustered;No;Version;" + version + ";tcp;" + std::to_string(instances.at(key)) +
               ";;";
    }

    void serve() {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            if (!(fds[0].revents & POLLIN))
                continue;
            char buffer[1024];
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const ssize_t n =
                ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &len);
            if (n <= 0)
                continue;
            const std::string reply =
                owner->answer(std::string(buffer, static_cast<std::size_t>(n)));
            if (!reply.empty())
                ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer),
                         len);
        }
    }

    const SqlBrowser* owner = nullptr;
};

SqlBrowser::SqlBrowser(std::string hostName, std::map<std::string, std::uint16_t> instances,
                       std::string version)
    : d(std::make_unique<Impl>()) {
    d->host = std::move(hostName);
    d->version = std::move(version);
    d->owner = this;
    for (const auto& [name, port] : instances) {
        d->instances[upper(name)] = port;
        d->spelled[upper(name)] = name;
    }
}

SqlBrowser::~SqlBrowser() {
    stop();
}

std::string SqlBrowser::answer(const std::string& request) const {
    if (request.empty())
        return {};
    std::string data;
    const auto type = static_cast<std::uint8_t>(request[0]);
    if (type == kUnicastInstance) {
        const std::string name = upper(std::string(request.c_str() + 1));
        if (name.size() > 32 || !d->instances.count(name))
            return {};
        data = d->describe(name);
    } else if (type == kUnicastAll || type == kBroadcastAll) {
        for (const auto& entry : d->instances)
            data += d->describe(entry.first);
    } else {
        return {};
    }
    std::string reply(1, static_cast<char>(kResponse));
    reply += static_cast<char>(data.size() & 0xFF);
    reply += static_cast<char>((data.size() >> 8) & 0xFF);
    return reply + data;
}

void SqlBrowser::start(std::uint16_t port) {
    if (d->fd >= 0)
        throw std::logic_error("the browser is running already");
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        const int error = errno;
        ::close(fd);
        if (error == EADDRINUSE)
            throw std::runtime_error("UDP port " + std::to_string(port) +
                                     " on 127.0.0.1 is taken by another program (another SQL "
                                     "Server Browser?), so the browser cannot answer there");
        throw std::runtime_error("cannot bind UDP 127.0.0.1:" + std::to_string(port) + ": " +
                                 std::strerror(error));
    }
    if (::pipe2(d->wake, O_CLOEXEC) < 0) {
        ::close(fd);
        throw std::runtime_error("pipe failed");
    }
    d->fd = fd;
    d->thread = std::thread([impl = d.get()] { impl->serve(); });
}

void SqlBrowser::stop() {
    if (d->fd < 0)
        return;
    const char byte = 0;
    [[maybe_unused]] const auto n = ::write(d->wake[1], &byte, 1);
    d->thread.join();
    ::close(d->fd);
    ::close(d->wake[0]);
    ::close(d->wake[1]);
    d->fd = -1;
}

} // namespace testserver
