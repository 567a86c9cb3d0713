#include "app/command_line.h"

namespace zelfin {
namespace {

// One argument from raw starting at pos; empty at the end of the line.
std::string NextArgument(std::string_view raw, size_t& pos) {
  const auto at = [&](size_t i) -> unsigned char {
    return i < raw.size() ? static_cast<unsigned char>(raw[i]) : 0;
  };
  for (;;) {
    while (at(pos) != 0 && at(pos) <= ' ') ++pos;
    if (at(pos) == '"' && at(pos + 1) == '"') {
      pos += 2;
    } else {
      break;
    }
  }
  std::string arg;
  while (at(pos) > ' ') {
    if (at(pos) == '"') {
      ++pos;
      while (at(pos) != 0 && at(pos) != '"') arg += raw[pos++];
      if (at(pos) != 0) ++pos;
    } else {
      arg += raw[pos++];
    }
  }
  return arg;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view raw) {
  std::vector<std::string> args;
  size_t pos = 0;
  NextArgument(raw, pos);  // the program's own name
  for (;;) {
    std::string arg = NextArgument(raw, pos);
    if (arg.empty()) break;
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace zelfin
