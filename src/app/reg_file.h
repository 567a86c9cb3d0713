#pragma once
// The settings file: a registry export ("Windows Registry Editor Version 5.00")
// held as the list of its lines, so that a rewrite changes only the values it
// sets and keeps every other line, section and value as it stands.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

inline constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegHeader4 = "REGEDIT4";

// Missing: no such value, or a deletion ("Name"=-). Other: any kind that is
// neither a text nor a 32-bit number (hex:, hex(2):, hex(7):, ...).
enum class RegKind { Missing, Text, Dword, Other };

struct RegValue {
  RegKind kind = RegKind::Missing;
  std::string text;    // Text: the decoded string (UTF-8)
  uint32_t dword = 0;  // Dword
};

enum class RegEntryKind { Header, Blank, Comment, Key, Value };

// One logical line: a line of the file, or a value continued over several lines
// with a trailing backslash.
struct RegEntry {
  RegEntryKind kind = RegEntryKind::Blank;
  std::vector<std::string> lines;  // without line ends; written back unchanged
  std::string key;                 // Key: the path between the brackets
  std::string name;                // Value: the decoded name ("" for "@")
  std::string name_token;          // Value: the name as spelled, quotes included
  RegValue value;                  // Value: what the line sets
};

struct RegFile {
  std::vector<RegEntry> entries;
};

// Key paths and value names compare like the registry's: ASCII letters
// without regard to case, every other byte exactly.
bool RegNamesEqual(std::string_view a, std::string_view b);

// A file holding only the header line.
RegFile NewRegFile();

// Parses the text of a settings file. Raises ZelfinError naming path and the
// line when the text is not a registry export.
RegFile ParseRegFile(std::string_view text, const std::string& path);

// The file's text: every line followed by CR LF.
std::string FormatRegFile(const RegFile& file);

// The value that name has in key: the last line that sets it wins, as when the
// file is imported.
RegValue FindRegValue(const RegFile& file, std::string_view key, std::string_view name);

// Sets name in key to a Text or Dword value. An existing value is replaced in
// its own line, keeping the spelling of its name; a new one goes after the last
// value of the (last) section of key; a missing section is appended at the end.
void SetRegValue(RegFile& file, std::string_view key, std::string_view name, const RegValue& value);

// Reads and parses the file at path; nullopt when there is no such file.
std::optional<RegFile> LoadRegFile(const std::string& path);

// Writes the file atomically as UTF-8 with CR LF, creating its folder (and the
// folders above it) when missing.
void SaveRegFile(const std::string& path, const RegFile& file);

}  // namespace zelfin
