#pragma once
// Throwaway certificates for trying the server's TLS: a certificate authority and server
// certificates signed by it, made fresh with GnuTLS (ECDSA P-256, SHA-256). Written as PEM
// files into a folder:
//   ca.pem                          the authority, to trust on the client side
//   server.pem, server-key.pem      valid now, for 127.0.0.1 and localhost
//   expired.pem, expired-key.pem    the same names, valid only in the past
//   wrongname.pem, wrongname-key.pem valid now, for wrong.invalid only
//   untrusted.pem, untrusted-key.pem valid, right names, signed by an authority nobody trusts

#include <string>

namespace testserver {

// Makes the folder (and its parents) when missing. Throws std::runtime_error with the
// reason when a step fails.
void writeTestCertificates(const std::string& folder);

} // namespace testserver
