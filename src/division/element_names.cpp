#include "division/element_names.h"

#include "platform/obj_lexer.h"

namespace zelfin {

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
