#pragma once
// Text conversions between the engine's UTF-8 and the wire's UTF-16LE and code page 1252.

#include <cstddef>
#include <string>
#include <string_view>

namespace testserver::utf {

// Invalid UTF-8 becomes U+FFFD; characters beyond the BMP become surrogate pairs.
std::u16string toUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string fromUtf16(std::u16string_view utf16);
// Decodes UTF-16LE bytes (an odd trailing byte is ignored).
std::string fromUtf16le(std::string_view bytes);
// Appends the UTF-16LE bytes of a UTF-8 text.
void appendUtf16le(std::string& out, std::string_view utf8);
// Number of UTF-16 code units of a UTF-8 text: what SQL Server counts as characters.
std::size_t utf16Length(std::string_view utf8);
// The first `units` UTF-16 code units of a UTF-8 text (never splits a surrogate pair).
std::string truncateUtf16(std::string_view utf8, std::size_t units);
// Code page 1252 bytes of a UTF-8 text; characters it lacks become '?'.
std::string toCp1252(std::string_view utf8);
// The text as a varchar of code page 1252 holds it, back in UTF-8: every character the
// code page lacks becomes "?", as SQL Server converts a '...' literal without N.
std::string throughCp1252(std::string_view utf8);

} // namespace testserver::utf
