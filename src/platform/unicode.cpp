#include "platform/unicode.h"

#include <cstring>
#include <vector>

namespace zelfin {
namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The length of the well-formed sequence that starts at text[i], or 0 when the
// sequence is ill-formed; then *subpart is the length of its maximal subpart.
size_t SequenceAt(std::string_view text, size_t i, size_t* subpart) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i);
  size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  }
  size_t k = 1;
  for (; k < length && i + k < text.size(); ++k) {
    const unsigned b = byte(i + k);
    if (k == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) break;
  }
  if (length > 0 && k == length) return length;
  *subpart = k;  // the lead byte and the continuation bytes that fit it
  return 0;
}

// How many bytes from i on are ASCII, found a word at a time.
size_t AsciiRun(std::string_view text, size_t i) {
  const size_t start = i;
  uint64_t word;
  while (i + 8 <= text.size()) {
    std::memcpy(&word, text.data() + i, 8);
    if (word & kHighBits) break;
    i += 8;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i - start;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  size_t subpart = 0;
  while (i < text.size()) {
    i += AsciiRun(text, i);
    if (i == text.size()) break;
    const size_t length = SequenceAt(text, i, &subpart);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Utf8WithReplacements(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t i = 0;
  size_t subpart = 0;
  while (i < text.size()) {
    const size_t ascii = AsciiRun(text, i);
    out.append(text.substr(i, ascii));
    i += ascii;
    if (i == text.size()) break;
    const size_t length = SequenceAt(text, i, &subpart);
    if (length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.append("\xEF\xBF\xBD");
      i += subpart;
    }
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size() / 2 * 3 / 2 + 4);
  auto unit = [&](size_t i) -> uint32_t {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  size_t i = 0;
  while (i + 1 < bytes.size()) {
    uint32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < bytes.size()) {
        const uint32_t low = unit(i);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          i += 2;
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
          continue;
        }
      }
      u = 0xFFFD;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(out, u);
  }
  if (i < bytes.size()) AppendUtf8(out, 0xFFFD);
  return out;
}

std::vector<uint8_t> Utf16LeFromText(std::string_view text) {
  std::vector<uint8_t> out;
  auto put = [&](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int extra = b < 0x80         ? 0
                      : (b >> 5) == 6  ? 1
                      : (b >> 4) == 14 ? 2
                      : (b >> 3) == 30 ? 3
                                       : -1;
    uint32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    const uint32_t min_for_length[] = {0, 0x80, 0x800, 0x10000};
    ok = ok && cp >= min_for_length[extra] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (!ok) {
      put(0xFFFD);
      ++i;
      continue;
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  put(0);
  return out;
}

}  // namespace zelfin
