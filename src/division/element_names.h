#pragma once
// The name that a usemtl line (a material) or a g line (a group) gives.
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// The group name of a g line: every token after the keyword, joined by one space.
std::string GroupNameOf(const std::vector<std::string>& Tokens);

// The name that a cleaned usemtl line (material) or g line (group) gives.
std::string NameOfLine(std::string_view cleaned, bool material);

}  // namespace zelfin
