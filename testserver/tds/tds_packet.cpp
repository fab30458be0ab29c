#include "tds_packet.h"

namespace testserver {

std::optional<TdsPacketHeader> parsePacketHeader(std::string_view bytes) {
    if (bytes.size() < tds::kHeaderSize)
        return std::nullopt;
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    TdsPacketHeader h;
    h.type = byte(0);
    h.status = byte(1);
    h.length = static_cast<std::uint16_t>((byte(2) << 8) | byte(3));
    h.spid = static_cast<std::uint16_t>((byte(4) << 8) | byte(5));
    h.packetId = byte(6);
    h.window = byte(7);
    if (h.length < tds::kHeaderSize)
        return std::nullopt;
    return h;
}

TdsMessageAssembler::State TdsMessageAssembler::add(const TdsPacketHeader& header,
                                                    std::string_view data) {
    if (broken_)
        return State::Broken;
    if (data.size() != header.dataSize() || (started_ && header.type != message_.type) ||
        message_.payload.size() + data.size() > tds::kMaxMessage) {
        broken_ = true;
        return State::Broken;
    }
    message_.type = header.type;
    started_ = true;
    message_.payload.append(data);
    return header.endOfMessage() ? State::Complete : State::NeedMore;
}

TdsMessage TdsMessageAssembler::take() {
    TdsMessage out = std::move(message_);
    message_ = TdsMessage{};
    started_ = false;
    return out;
}

ReassembledMessage reassembleMessage(std::string_view stream) {
    ReassembledMessage result;
    TdsMessageAssembler assembler;
    std::size_t pos = 0;
    for (;;) {
        if (stream.size() - pos < tds::kHeaderSize)
            return result; // Incomplete
        const auto header = parsePacketHeader(stream.substr(pos));
        if (!header) {
            result.status = ReassembledMessage::Status::Malformed;
            return result;
        }
        if (stream.size() - pos < header->length)
            return result;
        const auto state =
            assembler.add(*header, stream.substr(pos + tds::kHeaderSize, header->dataSize()));
        pos += header->length;
        if (state == TdsMessageAssembler::State::Broken) {
            result.status = ReassembledMessage::Status::Malformed;
            return result;
        }
        if (state == TdsMessageAssembler::State::Complete) {
            result.status = ReassembledMessage::Status::Complete;
            result.message = assembler.take();
            result.consumed = pos;
            return result;
        }
    }
}

} // namespace testserver
