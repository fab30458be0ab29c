#include "tds_channel.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testserver {

TdsChannel::TdsChannel(int fd) : fd_(fd) {}

bool TdsChannel::readExact(char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = tls_ ? tls_->receive(buffer + done, size - done)
                               : ::recv(fd_, buffer + done, size - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            broken_ = true;
            return false;
        }
    }
    return true;
}

bool TdsChannel::readPacket(TdsPacketHeader& header, std::string& data) {
    char bytes[tds::kHeaderSize];
    if (!readExact(bytes, sizeof bytes))
        return false;
    const auto parsed = parsePacketHeader(std::string_view(bytes, sizeof bytes));
    if (!parsed) {
        broken_ = true;
        return false;
    }
    header = *parsed;
    data.resize(header.dataSize());
    if (!readExact(data.data(), data.size()))
        return false;
    if (endTlsAfterPacket_) {
        // The client drops TLS after its first login packet, without a closing alert.
        endTlsAfterPacket_ = false;
        tls_.reset();
    }
    return true;
}

bool TdsChannel::startTls(const TlsCredentials& credentials) {
    auto session = std::make_unique<TlsSession>(credentials);
    const TlsSession::SendPacket send = [this](const std::string& payload) {
        return sendPacket(tds::kPrelogin, payload.data(), payload.size(), true);
    };
    const TlsSession::ReadPacket read = [this](std::string& payload) {
        TdsPacketHeader header;
        return readPacket(header, payload);
    };
    if (!session->handshake(send, read)) {
        broken_ = true;
        return false;
    }
    session->useSocket(fd_);
    tls_ = std::move(session);
    return true;
}

bool TdsChannel::startsWithTls() {
    char first = 0;
    for (;;) {
        const ssize_t n = ::recv(fd_, &first, 1, MSG_PEEK);
        if (n < 0 && errno == EINTR)
            continue;
        return n == 1 && first == 0x16; // a TLS handshake record
    }
}

bool TdsChannel::startStrictTls(const TlsCredentials& credentials) {
    auto session = std::make_unique<TlsSession>(credentials, fd_);
    if (!session->handshakeOnSocket()) {
        broken_ = true;
        return false;
    }
    tls_ = std::move(session);
    return true;
}

bool TdsChannel::read(TdsMessage& message) {
    TdsMessageAssembler assembler;
    std::string data;
    for (;;) {
        TdsPacketHeader header;
        if (!readPacket(header, data))
            return false;
        switch (assembler.add(header, data)) {
        case TdsMessageAssembler::State::Complete:
            message = assembler.take();
            return true;
        case TdsMessageAssembler::State::Broken:
            broken_ = true;
            return false;
        case TdsMessageAssembler::State::NeedMore:
            break;
        }
    }
}

bool TdsChannel::waitReadable(int ms) {
    if (tls_ && tls_->pending() > 0)
        return true;
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int rc = ::poll(&p, 1, ms);
        if (rc < 0 && errno == EINTR)
            continue;
        return rc > 0;
    }
}

bool TdsChannel::writeAll(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = tls_ ? tls_->transmit(data + done, size - done)
                               : ::send(fd_, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            broken_ = true;
            return false;
        }
    }
    return true;
}

bool TdsChannel::sendPacket(std::uint8_t type, const char* data, std::size_t size, bool last) {
    if (broken_)
        return false;
    std::string packet;
    packet.reserve(size + 8);
    const std::size_t length = size + 8;
    packet += static_cast<char>(type);
    packet += static_cast<char>(last ? 0x01 : 0x00);
    packet += static_cast<char>((length >> 8) & 0xFF);
    packet += static_cast<char>(length & 0xFF);
    packet += static_cast<char>((spid_ >> 8) & 0xFF);
    packet += static_cast<char>(spid_ & 0xFF);
    packet += static_cast<char>(packetId_++);
    packet += '\0';
    packet.append(data, size);
    return writeAll(packet.data(), packet.size());
}

bool TdsChannel::send(std::uint8_t type, const std::string& payload) {
    const std::size_t chunk = static_cast<std::size_t>(packetSize_) - 8;
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min(chunk, payload.size() - pos);
        if (!sendPacket(type, payload.data() + pos, n, pos + n >= payload.size()))
            return false;
        pos += n;
    } while (pos < payload.size());
    return true;
}

} // namespace testserver
