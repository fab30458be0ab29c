#pragma once
// What the server does about encryption, as configured, and its pre-login answer.

#include <cstdint>
#include <optional>
#include <string>

namespace testserver {

namespace tds {
constexpr std::uint8_t kEncryptOff = 0x00;    // only the login packet is encrypted
constexpr std::uint8_t kEncryptOn = 0x01;     // everything is encrypted
constexpr std::uint8_t kEncryptNotSup = 0x02; // nothing is encrypted
constexpr std::uint8_t kEncryptReq = 0x03;    // everything, and the server insists
} // namespace tds

enum class EncryptMode {
    Off,         // SQL Server's default: the login only, unless the client asks for more
    On,          // everything
    Required,    // everything ("Force Encryption")
    Unsupported, // no certificate: nothing
    // "Force Strict Encryption" (SQL Server 2022): TDS 8.0 only, TLS before anything else;
    // a TDS 7.x client's PRELOGIN ends the connection.
    Strict,
};

// "off", "on", "required", "unsupported", "strict"; nullopt for anything else.
std::optional<EncryptMode> parseEncryptMode(const std::string& text);

// The ENCRYPTION value of the pre-login reply to a client that sent `client` (nullopt when
// its pre-login had no such option, which counts as ENCRYPT_OFF).
std::uint8_t encryptionAnswer(EncryptMode mode, std::optional<std::uint8_t> client);

} // namespace testserver
