#pragma once
// The line rules of the division reader: which bytes are blank, how a line is
// cleaned, and how usemtl, g and f lines are cut into tokens.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// Space and every control character: what cleaning trims and what separates tokens.
inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}
inline bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// Tabs become spaces, then blanks are trimmed from both ends.
std::string CleanLine(std::string_view raw);

// The cleaned line without its trailing blanks: begin points at its first
// non-blank character; the line runs to the next CR, LF or end.
std::string_view TrimmedLineAt(const char* begin, const char* text_end);

// Reads the next token of a cleaned line from pos into token. Blank runs
// separate tokens; a token that begins with a double quote runs to the next
// quote that is not doubled (a doubled quote stands for one), or to the end of
// the line. Returns false when no token is left.
bool NextToken(std::string_view line, size_t& pos, std::string& token);

std::vector<std::string> Tokenize(std::string_view line);

// The group name of a g line: every token after the keyword, joined by one space.
std::string GroupNameOf(const std::vector<std::string>& Tokens);

// The name that a cleaned usemtl line (material) or g line (group) gives.
std::string NameOfLine(std::string_view cleaned, bool material);

}  // namespace zelfin
