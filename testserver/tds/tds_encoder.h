#pragma once
// Encodes the TDS 7.4 tokens the server sends: ENVCHANGE, INFO/ERROR, LOGINACK, DONE,
// COLMETADATA and ROW/NBCROW.

#include "values.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testserver::tds {

constexpr std::uint16_t kDoneMore = 0x01;
constexpr std::uint16_t kDoneError = 0x02;
constexpr std::uint16_t kDoneCount = 0x10;
constexpr std::uint16_t kDoneAttention = 0x20;
constexpr std::uint16_t kCurCmdSelect = 0xC1;
constexpr std::uint16_t kCurCmdExecute = 0xE0;
constexpr std::uint8_t kDoneToken = 0xFD;
constexpr std::uint8_t kDoneProcToken = 0xFE;
constexpr std::uint8_t kDoneInProcToken = 0xFF;

void putU8(std::string& out, std::uint8_t v);
void putU16(std::string& out, std::uint16_t v); // little-endian, as all TDS token fields
void putU32(std::string& out, std::uint32_t v);
void putU64(std::string& out, std::uint64_t v);
void putBVarchar(std::string& out, std::string_view utf8);  // u8 characters + UTF-16LE
void putUsVarchar(std::string& out, std::string_view utf8); // u16 characters + UTF-16LE

std::string envChange(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
std::string collationEnvChange();
// INFO for severity 10 and below, ERROR above.
std::string message(const Message& m, std::string_view serverName);
std::string loginAck(std::uint32_t tdsVersion, std::uint32_t serverVersion);
// SSPI (0xED): the server's reply token of integrated security.
std::string sspiToken(const std::string& token);
// DONE, or with `token` DONEPROC / DONEINPROC, which share its layout.
std::string done(std::uint16_t status, std::uint16_t curCmd, std::uint64_t rows,
                 std::uint8_t token = kDoneToken);
std::string returnStatus(std::int32_t value);
// RETURNVALUE of an OUTPUT parameter: its TYPE_INFO and value bytes as TDS lays them out.
std::string returnValue(std::uint16_t ordinal, std::string_view name, std::string_view typeInfo,
                        std::string_view valueBytes);
std::string colMetadata(const std::vector<Column>& columns);
// Appends one ROW, or an NBCROW when the row holds NULLs.
void appendRow(std::string& out, const std::vector<Column>& columns, const Row& row);

} // namespace testserver::tds
