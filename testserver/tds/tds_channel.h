#pragma once
// TDS packets over one TCP socket: reassembles incoming messages and splits outgoing
// ones at the negotiated packet size, stamping the session id into every header.

#include "tds_packet.h"
#include "tls_session.h"

#include <cstdint>
#include <memory>
#include <string>

namespace testserver {

class TdsChannel {
public:
    explicit TdsChannel(int fd);

    // Blocks for the next complete message; false when the peer closed or broke the framing.
    bool read(TdsMessage& message);
    // Waits up to `ms` for incoming data (or the peer closing); false on timeout.
    bool waitReadable(int ms);
    // Sends one packet of a reply; `last` sets the end-of-message status.
    bool sendPacket(std::uint8_t type, const char* data, std::size_t size, bool last);
    // Sends a whole message, split at the packet size.
    bool send(std::uint8_t type, const std::string& payload);

    // TLS from the next packet on: the handshake in PRELOGIN packets, then records on the
    // socket. False when the handshake fails.
    bool startTls(const TlsCredentials& credentials);
    // TDS 8.0: a client whose first bytes are a TLS handshake; TLS from the first byte.
    // False when the handshake fails.
    bool startStrictTls(const TlsCredentials& credentials);
    // Whether the client's first byte opens a TLS handshake rather than a TDS packet.
    bool startsWithTls();
    // Login-only encryption: TLS ends after the next packet read (the client's LOGIN7).
    void endTlsAfterNextPacket() { endTlsAfterPacket_ = true; }
    bool encrypted() const { return tls_ != nullptr; }

    void setPacketSize(int size) { packetSize_ = size; }
    int packetSize() const { return packetSize_; }
    void setSpid(int spid) { spid_ = spid; }
    bool broken() const { return broken_; }
    int fd() const { return fd_; }

private:
    bool readPacket(TdsPacketHeader& header, std::string& data);
    bool readExact(char* buffer, std::size_t size);
    bool writeAll(const char* data, std::size_t size);

    int fd_;
    int packetSize_ = 4096;
    int spid_ = 0;
    std::uint8_t packetId_ = 1;
    bool broken_ = false;
    std::unique_ptr<TlsSession> tls_;
    bool endTlsAfterPacket_ = false;
};

} // namespace testserver
