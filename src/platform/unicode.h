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

// The UTF-16 LE bytes of a UTF-8 text, with a closing NUL; bytes that are not
// UTF-8 become U+FFFD.
std::vector<uint8_t> Utf16LeFromText(std::string_view text);

}  // namespace zelfin
