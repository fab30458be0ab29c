#pragma once
// Why an encrypted connection to SQL Server could not be made, in the user's words.

#include <QString>

enum class TTlsProblem {
    NoEncryption, // the server answered that it does not encrypt
    LoginOnly,    // the server, or someone between, answered that it encrypts the login only
    Untrusted,    // signed by no authority the client trusts
    Expired,
    NotYetValid,
    WrongName, // issued for another name than the one connected to
    Revoked,
    Insecure,    // signed with an algorithm no longer accepted
    CaFile,      // the authorities' file given cannot be read
    NoStrict,    // the server broke off a TDS 8.0 handshake: it does not speak it
    Handshake,   // the handshake failed for another reason (GnuTLS's words follow)
    Unreachable, // no TCP connection (the system's words follow)
    NoInstance,  // the SQL Server Browser did not name the instance's port
    Timeout,     // the server did not answer within the connect timeout
    Protocol,    // the server's answer was no TDS
    Closed,      // the server hung up at PRELOGIN: one that serves TDS 8.0 only does
};

// The problem a GnuTLS verification status stands for; Untrusted for one not known here.
TTlsProblem TlsProblemOfStatus(unsigned AStatus);

// One line for the user, in the language in use. AServer names the server as the
// connection string does; ADetail is what the system or GnuTLS said, where there is such.
QString TlsProblemText(TTlsProblem AProblem, const QString& AServer,
                       const QString& ADetail = QString());
