#pragma once
// Collects the tokens of one reply and sends every full packet as soon as it fills, so a
// large result streams to the socket instead of growing one huge buffer.

#include "tds_channel.h"

#include <string>

namespace testserver {

class TdsReplyWriter {
public:
    explicit TdsReplyWriter(TdsChannel& channel);

    void append(const std::string& bytes);
    std::string& buffer() { return buffer_; } // for encoders that append in place
    // Sends the full packets buffered so far; false once the socket failed.
    bool flushFull();
    // Sends the rest as the reply's last packet.
    bool finish();
    // Sends the rest without ending the reply (a connection that is about to drop).
    bool flushPartial();

private:
    TdsChannel& channel_;
    std::string buffer_;
};

} // namespace testserver
