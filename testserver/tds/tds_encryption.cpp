#include "tds_encryption.h"

namespace testserver {

std::optional<EncryptMode> parseEncryptMode(const std::string& text) {
    if (text == "off")
        return EncryptMode::Off;
    if (text == "on")
        return EncryptMode::On;
    if (text == "required")
        return EncryptMode::Required;
    if (text == "unsupported")
        return EncryptMode::Unsupported;
    if (text == "strict")
        return EncryptMode::Strict;
    return std::nullopt;
}

std::uint8_t encryptionAnswer(EncryptMode mode, std::optional<std::uint8_t> client) {
    switch (mode) {
    case EncryptMode::Unsupported:
        return tds::kEncryptNotSup;
    case EncryptMode::On:
        return tds::kEncryptOn;
    case EncryptMode::Required:
    case EncryptMode::Strict:
        return tds::kEncryptReq;
    case EncryptMode::Off:
        break;
    }
    const std::uint8_t asked = client.value_or(tds::kEncryptOff);
    if (asked == tds::kEncryptOn || asked == tds::kEncryptReq)
        return tds::kEncryptOn;
    if (asked == tds::kEncryptNotSup)
        return tds::kEncryptNotSup;
    return tds::kEncryptOff;
}

} // namespace testserver
