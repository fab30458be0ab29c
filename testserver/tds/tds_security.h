#pragma once
// What a connection needs to know about the server's security: its encryption and its
// certificate. Fixed before the server starts, read by every connection.

#include "kerberos_acceptor.h"
#include "tds_encryption.h"
#include "tls_session.h"

#include <memory>

namespace testserver {

struct ServerSecurity {
    EncryptMode encryption = EncryptMode::Unsupported;
    std::shared_ptr<const TlsCredentials> credentials;
    // Integrated security; without it such logins fail with 18452.
    std::shared_ptr<const KerberosAcceptor> kerberos;
};

} // namespace testserver
