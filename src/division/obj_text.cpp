#include "division/obj_text.h"

namespace zelfin {

std::string CleanLine(std::string_view raw) {
  std::string line(raw);
  for (char& c : line) {
    if (c == '\t') c = ' ';
  }
  size_t begin = 0;
  size_t end = line.size();
  while (begin < end && IsBlank(line[begin])) ++begin;
  while (end > begin && IsBlank(line[end - 1])) --end;
  return line.substr(begin, end - begin);
}

std::string_view TrimmedLineAt(const char* begin, const char* text_end) {
  const char* end = begin;
  while (end < text_end && !IsLineEnd(*end)) ++end;
  while (end > begin && IsBlank(end[-1])) --end;
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

bool NextToken(std::string_view line, size_t& pos, std::string& token) {
  const size_t n = line.size();
  while (pos < n && IsBlank(line[pos])) ++pos;
  if (pos == n) return false;
  token.clear();
  if (line[pos] != '"') {
    const size_t start = pos;
    while (pos < n && !IsBlank(line[pos])) ++pos;
    token.assign(line.substr(start, pos - start));
    return true;
  }
  ++pos;
  while (pos < n) {
    const char c = line[pos];
    if (c == '"') {
      if (pos + 1 < n && line[pos + 1] == '"') {
        token += '"';
        pos += 2;
        continue;
      }
      ++pos;  // the closing quote; whatever follows starts the next token
      return true;
    }
    token += c;
    ++pos;
  }
  return true;  // no closing quote: the token runs to the end of the line
}

std::vector<std::string> Tokenize(std::string_view line) {
  std::vector<std::string> tokens;
  std::string token;
  size_t pos = 0;
  while (NextToken(line, pos, token)) tokens.push_back(token);
  return tokens;
}

std::string GroupNameOf(const std::vector<std::string>& Tokens) {
  std::string name;
  for (size_t i = 1; i < Tokens.size(); ++i) {
    if (i > 1) name += ' ';
    name += Tokens[i];
  }
  return name;
}

std::string NameOfLine(std::string_view cleaned, bool material) {
  const std::vector<std::string> tokens = Tokenize(cleaned);
  if (material) return tokens.size() > 1 ? tokens[1] : std::string();
  return GroupNameOf(tokens);
}

}  // namespace zelfin
