#pragma once
// An encrypted connection to SQL Server that Dervel makes itself, for every connection
// that requires encryption.
//
// Why not the driver's: FreeTDS 1.3 goes on in plain text after the login whenever the
// server answers ENCRYPT_OFF to a client that asked for encryption, and anyone between the
// two can write that answer; a check after the login comes too late for what the login
// and the check itself carry. It cannot speak TDS 8.0 either. So Dervel speaks PRELOGIN
// and TLS to the server here and refuses, before anything but PRELOGIN and the handshake
// has been sent, unless the server encrypts everything and its certificate checks out.
// The driver then talks plain TDS to a relay inside the process (tlsrelay.h).

#include <QByteArray>
#include <QString>
#include <memory>

struct TTlsTarget {
    QString server;          // the server as the connection string names it, for messages
    QString host;            // where to connect
    int port = 0;            // 0: ask the SQL Server Browser for the instance's port
    QString instance;        // with port 0
    bool strict = false;     // TDS 8.0: TLS before anything else, with ALPN "tds/8.0"
    bool verify = true;      // check the certificate; "Trust Server Certificate" turns it off
    QString caFile;          // PEM file of the authorities to trust; empty: the system's store
    QString certificateName; // the name the certificate must be issued for; empty: the host
    int timeoutMs = 15000;   // for the TCP connect, the Browser, PRELOGIN and the handshake

    bool operator==(const TTlsTarget&) const = default;
};

class TTlsChannel {
public:
    // Connects and negotiates; throws EDbError saying why when the server cannot be reached
    // encrypted. Nothing but PRELOGIN and the TLS handshake has crossed when it returns or
    // throws.
    explicit TTlsChannel(const TTlsTarget& ATarget);
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    int socket() const;
    int port() const; // the one connected to, after the Browser's answer
    // The server's answer to Dervel's PRELOGIN, as it came.
    const QByteArray& preloginReply() const;

    // From here on the socket does not block; receive and send say kAgain instead.
    void makeNonBlocking();
    static constexpr long kAgain = -2;
    static constexpr long kError = -1;
    // Bytes of the plain stream: >0 moved, 0 at the server's close, kAgain or kError.
    long receive(char* AData, std::size_t ASize);
    long send(const char* AData, std::size_t ASize);
    // Decrypted bytes waiting inside GnuTLS, which a poll of the socket does not see.
    std::size_t pending() const;
    // After kAgain: whether the socket must become writable (rather than readable) first.
    bool waitsToWrite() const;
    // Says goodbye to the server without waiting for its answer.
    void bye();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
