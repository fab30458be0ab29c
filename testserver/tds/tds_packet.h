#pragma once
// TDS packet framing without sockets: the 8-byte header and the reassembly of a message
// from its packets. TdsChannel feeds it from a socket; the fuzzer feeds it raw bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace testserver {

namespace tds {
constexpr std::uint8_t kSqlBatch = 0x01;
constexpr std::uint8_t kRpc = 0x03;
constexpr std::uint8_t kReply = 0x04;
constexpr std::uint8_t kAttention = 0x06;
constexpr std::uint8_t kTransactionManager = 0x0E;
constexpr std::uint8_t kLogin7 = 0x10;
constexpr std::uint8_t kPrelogin = 0x12;

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kStatusEndOfMessage = 0x01;
// Larger requests than any client of this server sends; guards against garbage lengths.
constexpr std::size_t kMaxMessage = 64u << 20;
} // namespace tds

struct TdsMessage {
    std::uint8_t type = 0;
    std::string payload;
};

struct TdsPacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0; // big-endian on the wire; includes the header
    std::uint16_t spid = 0;
    std::uint8_t packetId = 0;
    std::uint8_t window = 0;

    bool endOfMessage() const { return (status & tds::kStatusEndOfMessage) != 0; }
    std::size_t dataSize() const { return length - tds::kHeaderSize; }
};

// The header at the start of `bytes`; nullopt when there are fewer than 8 bytes or the
// length cannot even hold the header.
std::optional<TdsPacketHeader> parsePacketHeader(std::string_view bytes);

// Collects the packets of one message. Every packet of a message carries the same type;
// a message that changes type midway or outgrows kMaxMessage breaks the framing.
class TdsMessageAssembler {
public:
    enum class State { NeedMore, Complete, Broken };

    State add(const TdsPacketHeader& header, std::string_view data);
    // The completed message; the assembler is ready for the next one.
    TdsMessage take();

private:
    TdsMessage message_;
    bool started_ = false;
    bool broken_ = false;
};

struct ReassembledMessage {
    enum class Status { Complete, Incomplete, Malformed };
    Status status = Status::Incomplete;
    TdsMessage message;       // when Complete
    std::size_t consumed = 0; // bytes of `stream` the message took, when Complete
};

// The first message of a byte stream as a client would send it, packet by packet.
ReassembledMessage reassembleMessage(std::string_view stream);

} // namespace testserver
