#pragma once
// UTF-8 and UTF-16 conversions of the text layer.
#include <cstdint>
#include <string>
#include <string_view>

namespace zelfin {

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, uint32_t code_point);

// UTF-16 bytes (without a byte-order mark) of the given byte order as UTF-8;
// a lone surrogate or an odd last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);

}  // namespace zelfin
