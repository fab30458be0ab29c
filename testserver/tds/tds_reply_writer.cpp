#include "tds_reply_writer.h"

namespace testserver {

TdsReplyWriter::TdsReplyWriter(TdsChannel& channel) : channel_(channel) {}

void TdsReplyWriter::append(const std::string& bytes) {
    buffer_ += bytes;
    flushFull();
}

bool TdsReplyWriter::flushFull() {
    const std::size_t chunk = static_cast<std::size_t>(channel_.packetSize()) - 8;
    if (buffer_.size() <= chunk)
        return !channel_.broken();
    // Keep a remainder: the reply's last packet must carry the end-of-message flag.
    std::size_t pos = 0;
    while (buffer_.size() - pos > chunk) {
        if (!channel_.sendPacket(tds::kReply, buffer_.data() + pos, chunk, false))
            return false;
        pos += chunk;
    }
    buffer_.erase(0, pos);
    return true;
}

bool TdsReplyWriter::finish() {
    if (!flushFull())
        return false;
    const bool ok = channel_.sendPacket(tds::kReply, buffer_.data(), buffer_.size(), true);
    buffer_.clear();
    return ok;
}

bool TdsReplyWriter::flushPartial() {
    if (!flushFull())
        return false;
    const bool ok =
        buffer_.empty() || channel_.sendPacket(tds::kReply, buffer_.data(), buffer_.size(), false);
    buffer_.clear();
    return ok;
}

} // namespace testserver
