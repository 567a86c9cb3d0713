#include "app/reg_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/unicode.h"

namespace zelfin {
namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && RegNamesEqual(s.substr(0, prefix.size()), prefix);
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A line as quoted in an error message: short, and never cut inside a UTF-8
// character.
std::string Excerpt(std::string_view line) {
  constexpr size_t kMax = 60;
  if (line.size() <= kMax) return std::string(line);
  size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  return std::string(line.substr(0, cut)) + "...";
}

[[noreturn]] void RaiseSyntax(const std::string& path, size_t line_number, std::string_view what,
                              std::string_view line) {
  throw ZelfinError("The settings file " + Quoted(path) + " is not a registry file: line " +
                    std::to_string(line_number) + " " + std::string(what) + " (\"" + Excerpt(line) +
                    "\")");
}

// Reads a quoted string at s[pos] == '"', decoding \\ and \". Any other
// backslash is kept as it stands. Returns the position after the closing quote,
// or npos when the string does not end on this line.
size_t ScanQuoted(std::string_view s, size_t pos, std::string& decoded) {
  decoded.clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') return i + 1;
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      decoded += s[++i];
    } else {
      decoded += c;
    }
  }
  return std::string_view::npos;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// A hex(1): value holds a text as UTF-16 LE with a closing NUL; the text ends
// at the first NUL. Lone surrogates become U+FFFD.
std::string TextFromUtf16Le(const std::vector<uint8_t>& bytes) {
  std::string text = Utf16ToUtf8(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), false);
  return text.substr(0, text.find('\0'));
}

// "41,00,42" (spaces allowed around the bytes, a trailing comma too; empty
// means no bytes).
bool ParseHexBytes(std::string_view data, std::vector<uint8_t>& bytes) {
  bytes.clear();
  data = Trim(data);
  if (data.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t comma = data.find(',', start);
    const std::string_view piece =
        Trim(data.substr(start, comma == std::string_view::npos ? data.npos : comma - start));
    if (piece.empty() && comma == std::string_view::npos) return true;  // "01,02,"
    if (piece.empty() || piece.size() > 2) return false;
    int value = 0;
    for (char c : piece) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    bytes.push_back(static_cast<uint8_t>(value));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

std::string FormatValue(const RegValue& value) {
  if (value.kind == RegKind::Dword) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + 8, value.dword, 16).ptr;
    const auto used = static_cast<size_t>(end - digits);
    return "dword:" + std::string(8 - used, '0') + std::string(digits, used);
  }
  // A line break cannot stand inside a quoted string: such a text goes out in
  // the hex form of a text value instead, so that the file stays readable.
  if (value.text.find_first_of("\r\n") == std::string::npos) return Quote(value.text);
  std::string out = "hex(1):";
  const char* const kHex = "0123456789abcdef";
  bool first = true;
  for (uint8_t b : Utf16LeFromText(value.text)) {
    if (!first) out += ',';
    first = false;
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

// Where a value's line is read and what an error names: the file, the line's
// number and its text.
struct ValueLine {
  const std::string& path;
  size_t number;
  std::string_view raw;
  [[noreturn]] void Fail(std::string_view what) const { RaiseSyntax(path, number, what, raw); }
};

// "dword:" followed by one to eight hex digits.
RegValue ParseDword(std::string_view digits, const ValueLine& at) {
  if (digits.empty() || digits.size() > 8) at.Fail("has a bad dword");
  RegValue value;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) at.Fail("has a bad dword");
    value.dword = value.dword * 16 + static_cast<uint32_t>(d);
  }
  value.kind = RegKind::Dword;
  return value;
}

// The registry type number N of "hex(N):", or of "hex:" (0, no text), and
// where the ':' stands.
uint32_t HexType(std::string_view data, size_t& colon, const ValueLine& at) {
  colon = 3;
  if (colon >= data.size() || data[colon] != '(') return 0;
  const size_t close = data.find(')', colon);
  if (close == std::string_view::npos || close == colon + 1) at.Fail("is not a value");
  uint32_t type = 0;
  for (size_t i = colon + 1; i < close; ++i) {
    const int d = HexDigit(data[i]);
    if (d < 0 || type > 0xFFFFFFF) at.Fail("is not a value");
    type = type * 16 + static_cast<uint32_t>(d);
  }
  colon = close + 1;
  return type;
}

// "hex:..." or "hex(N):...": long data runs on over the next lines, each but
// the last ending in "\", which entry keeps. Returns the index of the line
// after the value.
size_t ParseHexValue(const std::vector<std::string_view>& lines, size_t first,
                     std::string_view data, const ValueLine& at, RegEntry& entry) {
  size_t colon = 0;
  const bool is_text = HexType(data, colon, at) == 1;
  if (colon >= data.size() || data[colon] != ':') at.Fail("is not a value");
  std::string bytes_text;
  std::string_view piece = data.substr(colon + 1);
  size_t next = first + 1;
  for (;;) {
    if (piece.empty() || piece.back() != '\\') {
      bytes_text += piece;
      break;
    }
    piece.remove_suffix(1);
    bytes_text += piece;
    if (next >= lines.size()) {
      // The file ends in the middle of the value: kept without its "\", or
      // a line written after it would be read as more of its data.
      std::string& last = entry.lines.back();
      last.erase(last.find_last_of('\\'));
      break;
    }
    entry.lines.emplace_back(lines[next]);
    piece = Trim(lines[next]);
    ++next;
  }
  std::vector<uint8_t> bytes;
  if (!ParseHexBytes(bytes_text, bytes)) at.Fail("has bad hex data");
  entry.value = RegValue{};
  if (is_text) {
    entry.value.kind = RegKind::Text;
    entry.value.text = TextFromUtf16Le(bytes);
  } else {
    entry.value.kind = RegKind::Other;
  }
  return next;
}

// The name of a value line (@ or a quoted string) into entry; returns the
// position of the data after the "=".
size_t ParseValueName(std::string_view line, const ValueLine& at, RegEntry& entry) {
  size_t pos = 0;
  if (line[0] == '@') {
    entry.name.clear();
    pos = 1;
  } else if (line[0] == '"') {
    pos = ScanQuoted(line, 0, entry.name);
    if (pos == std::string_view::npos) at.Fail("has an unterminated string");
  } else {
    at.Fail("is not a value");
  }
  entry.name_token = std::string(line.substr(0, pos));
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') at.Fail("is not a value");
  return pos + 1;
}

// Parses the value that starts on lines[first] (already known to lie inside a
// section) into entry, taking continuation lines as needed. Returns the index
// of the line after the value.
size_t ParseValue(const std::vector<std::string_view>& lines, size_t first, const std::string& path,
                  RegEntry& entry) {
  const ValueLine at{path, first + 1, lines[first]};
  const std::string_view line = Trim(at.raw);
  entry.kind = RegEntryKind::Value;
  entry.lines.assign(1, std::string(at.raw));
  const std::string_view data = Trim(line.substr(ParseValueName(line, at, entry)));

  RegValue& value = entry.value;
  if (data == "-") {
    value.kind = RegKind::Missing;
  } else if (!data.empty() && data[0] == '"') {
    value.kind = RegKind::Text;
    const size_t end = ScanQuoted(data, 0, value.text);
    if (end == std::string_view::npos) at.Fail("has an unterminated string");
    if (end != data.size()) at.Fail("is not a value");
  } else if (StartsWithNoCase(data, "dword:")) {
    value = ParseDword(data.substr(6), at);
  } else if (StartsWithNoCase(data, "hex")) {
    return ParseHexValue(lines, first, data, at, entry);
  } else {
    at.Fail("is not a value");
  }
  return first + 1;
}

RegEntry MakeEntry(RegEntryKind kind, std::string line) {
  RegEntry entry;
  entry.kind = kind;
  entry.lines.push_back(std::move(line));
  return entry;
}

RegEntry MakeValueEntry(std::string name_token, std::string_view name, const RegValue& value) {
  RegEntry entry = MakeEntry(RegEntryKind::Value, name_token + "=" + FormatValue(value));
  entry.name = std::string(name);
  entry.name_token = std::move(name_token);
  entry.value = value;
  return entry;
}

}  // namespace

bool RegNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

RegFile NewRegFile() {
  RegFile file;
  file.entries.push_back(MakeEntry(RegEntryKind::Header, std::string(kRegHeader)));
  return file;
}

RegFile ParseRegFile(std::string_view text, const std::string& path) {
  const std::vector<std::string_view> lines = SplitLines(text);
  RegFile file;
  const std::string_view header = lines.empty() ? std::string_view() : Trim(lines[0]);
  if (header != kRegHeader && header != kRegHeader4) {
    RaiseSyntax(path, 1, "is not the header \"" + std::string(kRegHeader) + "\"",
                lines.empty() ? std::string_view() : lines[0]);
  }
  file.entries.push_back(MakeEntry(RegEntryKind::Header, std::string(lines[0])));

  bool in_section = false;
  size_t i = 1;
  while (i < lines.size()) {
    const std::string_view raw = lines[i];
    const std::string_view line = Trim(raw);
    if (line.empty()) {
      file.entries.push_back(MakeEntry(RegEntryKind::Blank, std::string(raw)));
      ++i;
    } else if (line[0] == ';') {
      file.entries.push_back(MakeEntry(RegEntryKind::Comment, std::string(raw)));
      ++i;
    } else if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) RaiseSyntax(path, i + 1, "is not a key", raw);
      RegEntry entry = MakeEntry(RegEntryKind::Key, std::string(raw));
      entry.key = std::string(line.substr(1, line.size() - 2));
      file.entries.push_back(std::move(entry));
      in_section = true;
      ++i;
    } else if (!in_section) {
      RaiseSyntax(path, i + 1, "is not a key", raw);
    } else {
      RegEntry entry;
      i = ParseValue(lines, i, path, entry);
      file.entries.push_back(std::move(entry));
    }
  }
  return file;
}

std::string FormatRegFile(const RegFile& file) {
  std::string out;
  for (const RegEntry& entry : file.entries) {
    for (const std::string& line : entry.lines) AppendLine(out, line);
  }
  return out;
}

RegValue FindRegValue(const RegFile& file, std::string_view key, std::string_view name) {
  RegValue found;
  bool in_key = false;
  for (const RegEntry& entry : file.entries) {
    if (entry.kind == RegEntryKind::Key) {
      in_key = RegNamesEqual(entry.key, key);
    } else if (in_key && entry.kind == RegEntryKind::Value && RegNamesEqual(entry.name, name)) {
      found = entry.value;
    }
  }
  return found;
}

void SetRegValue(RegFile& file, std::string_view key, std::string_view name,
                 const RegValue& value) {
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t last_match = kNone;  // the line that sets name last
  size_t insert_at = kNone;   // after the last value of the last section of key
  bool in_key = false;
  for (size_t i = 0; i < file.entries.size(); ++i) {
    const RegEntry& entry = file.entries[i];
    if (entry.kind == RegEntryKind::Key) {
      in_key = RegNamesEqual(entry.key, key);
      if (in_key) insert_at = i + 1;
    } else if (in_key && entry.kind == RegEntryKind::Value) {
      insert_at = i + 1;
      if (RegNamesEqual(entry.name, name)) last_match = i;
    }
  }
  if (last_match != kNone && file.entries[last_match].value.kind != RegKind::Missing) {
    RegEntry& entry = file.entries[last_match];
    entry = MakeValueEntry(entry.name_token, entry.name, value);
    return;
  }
  RegEntry added = MakeValueEntry(Quote(name), name, value);
  if (insert_at != kNone) {
    file.entries.insert(file.entries.begin() + static_cast<std::ptrdiff_t>(insert_at),
                        std::move(added));
    return;
  }
  if (file.entries.empty() || file.entries.back().kind != RegEntryKind::Blank) {
    file.entries.push_back(MakeEntry(RegEntryKind::Blank, ""));
  }
  RegEntry section = MakeEntry(RegEntryKind::Key, "[" + std::string(key) + "]");
  section.key = std::string(key);
  file.entries.push_back(std::move(section));
  file.entries.push_back(std::move(added));
}

std::optional<RegFile> LoadRegFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 && errno == ENOENT) return std::nullopt;
  return ParseRegFile(ReadTextFile(path), path);
}

void SaveRegFile(const std::string& path, const RegFile& file) {
  const std::string folder(ExtractFilePath(path));
  if (!folder.empty() && !DirectoryExists(folder)) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) RaiseCreateError(path, SystemReason(error.value()));
  }
  WriteTextFileAtomic(path, FormatRegFile(file));
}

}  // namespace zelfin
