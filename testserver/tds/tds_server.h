#pragma once
// A loopback TDS 7.4 listener in front of an Instance. Binds 127.0.0.1 only.

#include "instance.h"
#include "kerberos_acceptor.h"
#include "tds_encryption.h"
#include "tls_session.h"

#include <cstdint>
#include <memory>

namespace testserver {

// Faults a test can switch on and off while the server runs; all thread-safe.
struct Faults;

class TdsServer {
public:
    explicit TdsServer(std::shared_ptr<Instance> instance = std::make_shared<Instance>());
    ~TdsServer(); // stops
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port); returns the port. Throws on failure.
    std::uint16_t start(std::uint16_t port = 0);
    void stop(); // closes the listener and every connection, joins all threads
    std::uint16_t port() const;
    Instance& instance();
    std::shared_ptr<Instance> sharedInstance() const;

    // Encryption as configured (before start); every mode but Unsupported needs the
    // certificate. Without a call the server has no certificate: Unsupported.
    void setEncryption(EncryptMode mode, std::shared_ptr<const TlsCredentials> credentials);
    // Integrated security with this keytab's service key (before start).
    void setKerberos(std::shared_ptr<const KerberosAcceptor> acceptor);

    // --- fault injection -----------------------------------------------------------------
    // The next result set is cut after this many rows and the connection dropped (-1: off).
    void dropConnectionAfterRows(int rows);
    // Every reply to a batch waits this long first; an ATTENTION ends the wait (0: off).
    void setResponseDelayMs(int ms);
    // Logins fail with 18456 while set.
    void setRefuseLogins(bool refuse);
    // While set, new TCP connections are accepted and never answered.
    void setSilent(bool silent);
    // While set, every pre-login is answered ENCRYPT_OFF (a downgrading man in the middle).
    void setDowngradeEncryption(bool downgrade);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
