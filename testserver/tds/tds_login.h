#pragma once
// The two messages of a TDS login: PRELOGIN (answered without encryption) and LOGIN7.

#include "instance.h"

#include <cstdint>
#include <optional>
#include <string>

namespace testserver::tds {

// VERSION, ENCRYPTION = NOT_SUP, INSTOPT, THREADID and MARS, as FreeTDS and tedious expect.
// encryption: the ENCRYPTION option's value (see encryptionAnswer).
std::string preloginReply(std::uint32_t serverVersion, std::uint8_t encryption);

// The fields of LOGIN7 that the instance needs, password de-obfuscated; nullopt when the
// message is malformed (an offset outside it).
std::optional<LoginInfo> parseLogin7(const std::string& payload);

} // namespace testserver::tds
