#pragma once
// Why a TLS connection to SQL Server failed. The FreeTDS driver reports every certificate
// problem, and a server without encryption, with the same "Adaptive Server connection
// failed"; this probe repeats the pre-login and the TLS handshake itself (GnuTLS, as the
// driver uses) and asks GnuTLS what it thinks of the server's certificate.

#include <QString>

enum class TTlsProblem {
    None,         // the certificate checks out: the failure was something else
    NoEncryption, // the server answered that it does not encrypt
    Untrusted,    // signed by no authority the client trusts
    Expired,
    NotYetValid,
    WrongName, // issued for another name than the one connected to
    Revoked,
    Insecure, // signed with an algorithm no longer accepted
    Unknown,  // the probe could not reach the server or finish the handshake
};

struct TTlsProbeTarget {
    QString host;
    int port = 0;     // 0: ask the SQL Server Browser for the instance's port
    QString instance; // with port 0
    QString caFile;   // a PEM file, "system" or empty for the system's trust store
    bool checkHostName = true;
    int timeoutMs = 5000;
};

TTlsProblem ProbeTls(const TTlsProbeTarget& ATarget);

// One line for the user, in the language in use; empty for None and Unknown.
QString TlsProblemText(TTlsProblem AProblem, const QString& AHost);
