#pragma once
// The driver's side of an encrypted connection: a private endpoint inside the process where
// FreeTDS speaks plain TDS, and a thread that carries every byte between it and the
// encrypted channel to the server.
//
// The endpoint listens on 127.0.0.1 at a port of the system's choice and accepts exactly
// one connection, one whose other end is a socket of this very process (another program,
// or another user, that connects first is turned away). There it answers the driver's
// PRELOGIN itself, with the server's own answer saying "no encryption" (so the driver
// adds no TLS of its own), puts the server's real name into the driver's LOGIN7 (the
// driver only knows the endpoint), and from then on copies both ways.

#include "database/tlschannel.h"

#include <QString>
#include <memory>

class TTlsRelay {
public:
    // AServerName goes into LOGIN7 as the server connected to.
    TTlsRelay(std::unique_ptr<TTlsChannel> AChannel, const QString& AServerName);
    ~TTlsRelay(); // stops the thread and closes both ends
    TTlsRelay(const TTlsRelay&) = delete;
    TTlsRelay& operator=(const TTlsRelay&) = delete;

    quint16 port() const;     // where the driver connects
    int serverSocket() const; // the encrypted connection's socket
    // Connections turned away because another process made them.
    int refused() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Whether the other end of an accepted loopback connection is a socket of this process.
bool IsConnectionFromThisProcess(int AAcceptedSocket);
