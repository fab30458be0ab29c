#pragma once
// Bounds-checked little-endian reads over a client message. Every read fails softly: a
// short message sets the reader's failed flag and yields zeros, so parsers check once.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace testserver::tds {

class TdsReader {
public:
    explicit TdsReader(std::string_view bytes) : bytes_(bytes) {}

    bool failed() const { return failed_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    void fail() { failed_ = true; }

    std::string_view take(std::size_t n) {
        if (failed_ || n > remaining()) {
            failed_ = true;
            pos_ = bytes_.size();
            return {};
        }
        const auto out = bytes_.substr(pos_, n);
        pos_ += n;
        return out;
    }
    std::uint64_t uintLe(std::size_t n) {
        const auto b = take(n);
        std::uint64_t v = 0;
        for (std::size_t k = b.size(); k-- > 0;)
            v = (v << 8) | static_cast<unsigned char>(b[k]);
        return v;
    }
    std::uint8_t u8() { return static_cast<std::uint8_t>(uintLe(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(uintLe(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(uintLe(4)); }
    std::uint64_t u64() { return uintLe(8); }
    // Bytes already read, from `from` up to the current position.
    std::string_view readSince(std::size_t from) const {
        return from <= pos_ ? bytes_.substr(from, pos_ - from) : std::string_view();
    }
    std::uint8_t peek() const { return atEnd() ? 0 : static_cast<std::uint8_t>(bytes_[pos_]); }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

} // namespace testserver::tds
