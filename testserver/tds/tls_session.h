#pragma once
// TLS as a SQL Server speaks it, server side (GnuTLS): the handshake travels inside TDS
// PRELOGIN packets; afterwards TLS records go on the socket as they are, each carrying
// ordinary TDS packets. Capped at TLS 1.2, as the TDS 7.x clients expect: FreeTDS 1.3
// hangs in a TLS 1.3 handshake wrapped this way.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace testserver {

// A certificate and its key, loaded once and shared by every connection.
class TlsCredentials {
public:
    // Throws std::runtime_error naming the file and GnuTLS's reason.
    TlsCredentials(const std::string& certificateFile, const std::string& keyFile);
    ~TlsCredentials();
    TlsCredentials(const TlsCredentials&) = delete;
    TlsCredentials& operator=(const TlsCredentials&) = delete;
    void* handle() const { return credentials_; } // gnutls_certificate_credentials_t

private:
    void* credentials_ = nullptr;
};

class TlsSession {
public:
    // The handshake's transport: one PRELOGIN packet out, and the payload of the next
    // packet in (empty when the peer is gone).
    using SendPacket = std::function<bool(const std::string&)>;
    using ReadPacket = std::function<bool(std::string&)>;

    explicit TlsSession(const TlsCredentials& credentials);
    // TDS 8.0: TLS as usual (1.2 or 1.3) on the socket before anything else, offering the
    // protocol "tds/8.0" to a client that asks for one.
    TlsSession(const TlsCredentials& credentials, int fd);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the handshake through the packets; false when it fails.
    bool handshake(const SendPacket& send, const ReadPacket& read);
    // The TDS 8.0 handshake on the socket; false when it fails.
    bool handshakeOnSocket();
    // After the handshake: TLS records straight on the socket.
    void useSocket(int fd);
    // Like recv and send on the socket: bytes moved, 0 at the peer's close, -1 on error.
    long receive(char* buffer, std::size_t size);
    long transmit(const char* data, std::size_t size);
    // Decrypted bytes waiting inside GnuTLS, which a poll of the socket does not see.
    std::size_t pending() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
