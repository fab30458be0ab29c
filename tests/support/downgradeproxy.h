#pragma once
// A man in the middle on loopback, as an attacker runs one against TDS: it stands between a
// client and the server, rewrites the ENCRYPTION option of PRELOGIN to ENCRYPT_OFF both
// ways (the client then encrypts the login only, the server believes the client wants no
// more), answers the check "select encrypt_option from sys.dm_exec_connections ..." with a
// forged "TRUE", and notes every TDS packet that crosses from the client in plain text.
// TLS records pass through untouched: what it cannot read it does not note.

#include <QList>
#include <QtGlobal>
#include <atomic>
#include <memory>

class TDowngradeProxy {
public:
    explicit TDowngradeProxy(quint16 AServerPort);
    ~TDowngradeProxy();
    TDowngradeProxy(const TDowngradeProxy&) = delete;
    TDowngradeProxy& operator=(const TDowngradeProxy&) = delete;

    quint16 port() const;
    // The types of the TDS packets the client sent in plain text, in order.
    QList<int> plainFromClient() const;
    // Whether a packet of the type crossed from the client in plain text.
    bool sawPlain(int AType) const { return plainFromClient().contains(AType); }
    int connections() const;
    int forgedAnswers() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// TDS packet types.
inline constexpr int kTdsSqlBatch = 0x01;
inline constexpr int kTdsRpc = 0x03;
inline constexpr int kTdsLogin7 = 0x10;
