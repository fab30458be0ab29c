#pragma once
// Integrated security as SQL Server does it with Kerberos: the client's GSSAPI token in
// LOGIN7 is accepted with the service's keytab (MIT Kerberos), and the reply token goes
// back in an SSPI token before the login acknowledgement.

#include <memory>
#include <string>

namespace testserver {

class KerberosAcceptor {
public:
    struct Outcome {
        bool ok = false;
        std::string principal;  // "alice@TEST.LOCAL"
        std::string replyToken; // for the SSPI token, may be empty
        std::string error;      // GSSAPI's words, when not ok
    };

    // The keytab with the service principal (MSSQLSvc/host:port@REALM). It is read at the
    // first login, so it may be written after the server started (once its port, part of
    // the principal, is known).
    explicit KerberosAcceptor(std::string keytab);
    ~KerberosAcceptor();
    KerberosAcceptor(const KerberosAcceptor&) = delete;
    KerberosAcceptor& operator=(const KerberosAcceptor&) = delete;

    // Reads the keytab now. Throws std::runtime_error with GSSAPI's reason when it holds
    // no usable key.
    void check() const;
    // One login's token. Kerberos completes in one step.
    Outcome accept(const std::string& token) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
