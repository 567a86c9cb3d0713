#pragma once
// UTF-8 and UTF-16 conversions of the text layer.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, uint32_t code_point);

// UTF-16 bytes (without a byte-order mark) of the given byte order as UTF-8;
// a lone surrogate or an odd last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing
// beyond U+10FFFF). Runs of ASCII are checked eight bytes at a time.
bool IsValidUtf8(std::string_view text);

// text with every ill-formed sequence replaced by U+FFFD, one for each maximal
// subpart (the longest start of a valid sequence, or else a single byte), as
// UTF-8 decoders do; well-formed text comes back unchanged.
std::string Utf8WithReplacements(std::string_view text);

// The UTF-16 LE bytes of a UTF-8 text, with a closing NUL; bytes that are not
// UTF-8 become U+FFFD.
std::vector<uint8_t> Utf16LeFromText(std::string_view text);

}  // namespace zelfin
