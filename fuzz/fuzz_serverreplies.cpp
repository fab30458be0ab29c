// What comes off the network before any driver traffic flows: the server's PRELOGIN
// answer (read by Dervel's own TLS layer) and the SQL Server Browser's answer. Anyone on
// the path can send any bytes there; reading them must never crash. LOGIN7 rewriting is
// held to its promise: when it succeeds, the name reads back.

#include "database/sqlbrowser.h"
#include "database/tdswire.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)tds::PreloginEncryption(bytes);
    if (const auto rewritten = tds::WithPreloginEncryption(bytes, tds::kEncryptNotSup))
        if (tds::PreloginEncryption(*rewritten) != tds::kEncryptNotSup)
            std::abort();
    (void)tds::ReadPacketHeader(bytes);
    (void)BrowserReplyPort(bytes, QStringLiteral("INST"));
    const QString name = QStringLiteral("db1.example.com");
    if (const auto login = tds::WithLogin7ServerName(bytes, name))
        if (tds::Login7ServerName(*login) != name)
            std::abort();
    return 0;
}
