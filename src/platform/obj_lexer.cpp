#include "platform/obj_lexer.h"

#include <algorithm>

#include "platform/errors.h"

namespace zelfin {

namespace {

// Where one token lies: its text between begin and end (inside the quotes of
// a quoted token), whether that text holds doubled quotes, and where the scan
// goes on. pos must stand on a non-blank character.
struct TokenSpan {
  size_t begin, end, next;
  bool doubled;
};

TokenSpan ScanToken(std::string_view line, size_t pos) {
  const size_t n = line.size();
  if (line[pos] != '"') {
    size_t end = pos;
    while (end < n && !IsBlank(line[end])) ++end;
    return {pos, end, end, false};
  }
  bool doubled = false;
  for (size_t k = pos + 1; k < n; ++k) {
    if (line[k] != '"') continue;
    if (k + 1 < n && line[k + 1] == '"') {
      doubled = true;
      ++k;
      continue;
    }
    return {pos + 1, k, k + 1, doubled};
  }
  return {pos + 1, n, n, doubled};  // no closing quote: to the end of the line
}

size_t SkipBlanks(std::string_view line, size_t pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return pos;
}

// The token's text with every doubled quote made single, appended to out.
void AppendUnquoted(std::string_view line, const TokenSpan& span, std::string& out) {
  for (size_t k = span.begin; k < span.end; ++k) {
    out += line[k];
    if (line[k] == '"') ++k;  // the second of a doubled quote
  }
}

}  // namespace

std::string_view TrimObjLine(std::string_view line) {
  size_t b = 0;
  size_t e = line.size();
  while (b < e && IsBlank(line[b])) ++b;
  while (e > b && IsBlank(line[e - 1])) --e;
  return line.substr(b, e - b);
}

size_t LineStartFrom(std::string_view text, size_t at) {
  if (at == 0 || at >= text.size()) return std::min(at, text.size());
  const char* const end = text.data() + text.size();
  const char* stop = FindLineBreak(text.data() + at - 1, end);
  if (stop == end) return text.size();
  ++stop;
  if (stop[-1] == '\r' && stop < end && *stop == '\n') ++stop;
  return static_cast<size_t>(stop - text.data());
}

size_t BalancedSplit(std::string_view text, const WalkCosts& costs) {
  constexpr size_t kSamples = 256;
  const size_t n = text.size();
  if (n < kSamples) return LineStartFrom(text, n / 2);
  // Per byte around each sample: its line's cost over its length. A line is
  // looked at up to kLook bytes: past that its own cost hardly counts.
  constexpr size_t kLook = 4096;
  double cost[kSamples];
  double total = 0;
  for (size_t i = 0; i < kSamples; ++i) {
    const size_t at = LineStartFrom(text, n / kSamples * i);
    const char* const look_end = text.data() + std::min(n, at + kLook);
    const size_t line_end =
        static_cast<size_t>(FindLineBreak(text.data() + at, look_end) - text.data());
    const std::string_view line = TrimObjLine(text.substr(at, line_end - at));
    const bool face = line.size() >= 2 && line[0] == 'f' && IsKeywordBlank(line[1]);
    const double bytes = static_cast<double>(line_end - at + 1);  // and its line end
    cost[i] = face ? costs.face_line / bytes + costs.face_byte
                   : costs.other_line / bytes + costs.other_byte;
    total += cost[i];
  }
  // The sample in which half the cost is reached, and how far into it.
  double before = 0;
  size_t i = 0;
  while (i + 1 < kSamples && before + cost[i] < total / 2) before += cost[i++];
  const double into = (total / 2 - before) / cost[i];
  return LineStartFrom(text, static_cast<size_t>((static_cast<double>(i) + into) *
                                                 static_cast<double>(n / kSamples)));
}

std::string CleanNumberToken(std::string_view token) {
  std::string out(token);
  for (char& c : out) {
    if (c == '\t') c = ' ';
    if (c == ',') c = '.';
  }
  return out;
}

CoordinateRead ReadCleanCoordinate(std::string_view token, double& value,
                                   WrittenPrecision* written) {
  // A comma never reads as part of a number: a token that reads as one (or
  // overflows) has none, and only the others are looked through for one.
  const CoordinateRead read = ReadCoordinate(token, value, written);
  if (read != CoordinateRead::kNotANumber || token.find(',') == std::string_view::npos) return read;
  return ReadCoordinate(CleanNumberToken(token), value, written);
}

std::string CleanLine(std::string_view raw) {
  std::string line(TrimObjLine(raw));
  for (char& c : line) {
    if (c == '\t') c = ' ';
  }
  return line;
}

std::string_view TrimmedLineAt(const char* begin, const char* text_end) {
  const char* end = begin;
  while (end < text_end && !IsLineEnd(*end)) ++end;
  while (end > begin && IsBlank(end[-1])) --end;
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

bool NextToken(std::string_view line, size_t& pos, std::string& token) {
  pos = SkipBlanks(line, pos);
  if (pos == line.size()) return false;
  const TokenSpan span = ScanToken(line, pos);
  token.clear();
  if (span.doubled) {
    AppendUnquoted(line, span, token);
  } else {
    token.assign(line.substr(span.begin, span.end - span.begin));
  }
  pos = span.next;
  return true;
}

std::vector<std::string> Tokenize(std::string_view line) {
  std::vector<std::string> tokens;
  std::string token;
  size_t pos = 0;
  while (NextToken(line, pos, token)) tokens.push_back(token);
  return tokens;
}

void SplitObjTokens(std::string_view line, std::vector<std::string_view>& tokens,
                    std::string& scratch) {
  if (SplitPlainObjTokens(line, tokens)) return;
  tokens.clear();
  scratch.clear();
  // Unquoting never lengthens a token, so room for the line keeps every view
  // into scratch valid.
  scratch.reserve(line.size());
  size_t pos = SkipBlanks(line, 0);
  while (pos < line.size()) {
    const TokenSpan span = ScanToken(line, pos);
    if (span.doubled) {
      const size_t from = scratch.size();
      AppendUnquoted(line, span, scratch);
      tokens.push_back(std::string_view(scratch).substr(from));
    } else {
      tokens.push_back(line.substr(span.begin, span.end - span.begin));
    }
    pos = SkipBlanks(line, span.next);
  }
}

size_t CountObjTokens(std::string_view line) {
  size_t count = 0;
  for (size_t pos = SkipBlanks(line, 0); pos < line.size();
       pos = SkipBlanks(line, ScanToken(line, pos).next)) {
    ++count;
  }
  return count;
}

std::string NameOfLine(std::string_view cleaned, bool material) {
  const std::vector<std::string> tokens = Tokenize(cleaned);
  if (material) return tokens.size() > 1 ? tokens[1] : std::string();
  std::string name;
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (i > 1) name += ' ';
    name += tokens[i];
  }
  return name;
}

namespace {

std::string LinesPhrase(uint64_t count, const char* kind) {
  if (count == 0) return std::string("no ") + kind + " lines";
  return std::to_string(count) + " " + kind + (count == 1 ? " line" : " lines");
}

}  // namespace

std::string BadObjReferenceMessage(const std::string& path, uint64_t line_number, int kind,
                                   std::string_view written, int64_t index, uint64_t before,
                                   uint64_t total) {
  const char* word = kObjKindWords[kind];
  std::string message = "Face on line " + std::to_string(line_number) + " of " + Quoted(path) +
                        " refers to " + word + " " + ForMessage(written) + ", but ";
  if (index > 0) {
    message +=
        "the file has " + std::string(total == 0 ? "" : "only ") + LinesPhrase(total, word) + ".";
  } else if (before == 0) {
    message += std::string("no ") + word + " line stands before it.";
  } else {
    message +=
        "only " + LinesPhrase(before, word) + (before == 1 ? " stands" : " stand") + " before it.";
  }
  return message;
}

}  // namespace zelfin
