#include "tls_session.h"

#include <cerrno>
#include <cstring>
#include <gnutls/gnutls.h>
#include <stdexcept>
#include <sys/socket.h>

namespace testserver {

namespace {

// GnuTLS's global state is set up once for the process.
void initGnutls() {
    static const int rc = gnutls_global_init();
    (void)rc;
}

} // namespace

TlsCredentials::TlsCredentials(const std::string& certificateFile, const std::string& keyFile) {
    initGnutls();
    gnutls_certificate_credentials_t c = nullptr;
    gnutls_certificate_allocate_credentials(&c);
    const int rc = gnutls_certificate_set_x509_key_file(c, certificateFile.c_str(), keyFile.c_str(),
                                                        GNUTLS_X509_FMT_PEM);
    if (rc < 0) {
        gnutls_certificate_free_credentials(c);
        throw std::runtime_error("cannot load " + certificateFile + " with " + keyFile + ": " +
                                 gnutls_strerror(rc));
    }
    credentials_ = c;
}

TlsCredentials::~TlsCredentials() {
    gnutls_certificate_free_credentials(
        static_cast<gnutls_certificate_credentials_t>(credentials_));
}

struct TlsSession::Impl {
    gnutls_session_t session = nullptr;
    // Handshake transport.
    const SendPacket* send = nullptr;
    const ReadPacket* read = nullptr;
    std::string pending;  // what GnuTLS wrote since the last packet went out
    std::string incoming; // the rest of the last packet read
    bool failed = false;
    int fd = -1;

    bool flush() {
        if (pending.empty())
            return true;
        const bool ok = (*send)(pending);
        pending.clear();
        return ok;
    }

    static ssize_t packetPush(gnutls_transport_ptr_t self, const void* data, size_t size) {
        auto* d = static_cast<Impl*>(self);
        d->pending.append(static_cast<const char*>(data), size);
        return static_cast<ssize_t>(size);
    }

    // What the client sent waits in PRELOGIN packets; before waiting for one, what
    // GnuTLS wrote meanwhile goes out as one packet (the client waits for it).
    static ssize_t packetPull(gnutls_transport_ptr_t self, void* data, size_t size) {
        auto* d = static_cast<Impl*>(self);
        if (d->incoming.empty()) {
            if (!d->flush() || !(*d->read)(d->incoming) || d->incoming.empty()) {
                d->failed = true;
                return 0;
            }
        }
        const std::size_t n = std::min(size, d->incoming.size());
        std::memcpy(data, d->incoming.data(), n);
        d->incoming.erase(0, n);
        return static_cast<ssize_t>(n);
    }

    static ssize_t socketPush(gnutls_transport_ptr_t self, const void* data, size_t size) {
        auto* d = static_cast<Impl*>(self);
        for (;;) {
            const ssize_t n = ::send(d->fd, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            return n;
        }
    }

    static ssize_t socketPull(gnutls_transport_ptr_t self, void* data, size_t size) {
        auto* d = static_cast<Impl*>(self);
        for (;;) {
            const ssize_t n = ::recv(d->fd, data, size, 0);
            if (n < 0 && errno == EINTR)
                continue;
            return n;
        }
    }
};

TlsSession::TlsSession(const TlsCredentials& credentials) : d(std::make_unique<Impl>()) {
    initGnutls();
    gnutls_init(&d->session, GNUTLS_SERVER);
    gnutls_priority_set_direct(d->session, "NORMAL:-VERS-TLS1.3", nullptr);
    gnutls_credentials_set(d->session, GNUTLS_CRD_CERTIFICATE, credentials.handle());
    gnutls_certificate_server_set_request(d->session, GNUTLS_CERT_IGNORE);
    gnutls_transport_set_ptr(d->session, d.get());
    gnutls_transport_set_push_function(d->session, &Impl::packetPush);
    gnutls_transport_set_pull_function(d->session, &Impl::packetPull);
}

TlsSession::TlsSession(const TlsCredentials& credentials, int fd) : d(std::make_unique<Impl>()) {
    initGnutls();
    gnutls_init(&d->session, GNUTLS_SERVER);
    gnutls_priority_set_direct(d->session, "NORMAL", nullptr);
    gnutls_credentials_set(d->session, GNUTLS_CRD_CERTIFICATE, credentials.handle());
    gnutls_certificate_server_set_request(d->session, GNUTLS_CERT_IGNORE);
    static const char tds8[] = "tds/8.0";
    gnutls_datum_t protocol{reinterpret_cast<unsigned char*>(const_cast<char*>(tds8)),
                            unsigned(sizeof tds8 - 1)};
    gnutls_alpn_set_protocols(d->session, &protocol, 1, GNUTLS_ALPN_SERVER_PRECEDENCE);
    gnutls_transport_set_ptr(d->session, d.get());
    useSocket(fd);
}

bool TlsSession::handshakeOnSocket() {
    int rc;
    do
        rc = gnutls_handshake(d->session);
    while (rc < 0 && !gnutls_error_is_fatal(rc));
    return rc >= 0;
}

TlsSession::~TlsSession() {
    gnutls_deinit(d->session);
}

bool TlsSession::handshake(const SendPacket& send, const ReadPacket& read) {
    d->send = &send;
    d->read = &read;
    int rc;
    do
        rc = gnutls_handshake(d->session);
    while (rc < 0 && !gnutls_error_is_fatal(rc) && !d->failed);
    const bool ok = rc >= 0 && d->flush(); // the last flight goes out too
    d->send = nullptr;
    d->read = nullptr;
    return ok;
}

void TlsSession::useSocket(int fd) {
    d->fd = fd;
    gnutls_transport_set_push_function(d->session, &Impl::socketPush);
    gnutls_transport_set_pull_function(d->session, &Impl::socketPull);
}

long TlsSession::receive(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = gnutls_record_recv(d->session, buffer, size);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
            continue;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

std::size_t TlsSession::pending() const {
    return gnutls_record_check_pending(d->session);
}

long TlsSession::transmit(const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = gnutls_record_send(d->session, data, size);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
            continue;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

} // namespace testserver
