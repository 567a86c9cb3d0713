#include "platform/material_library.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/obj_lexer.h"
#include "platform/paths.h"

namespace zelfin {
namespace {

namespace fs = std::filesystem;

fs::path FolderPath(const std::string& folder) {
  return folder.empty() ? fs::path(".") : fs::path(folder);
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error) && !fs::is_directory(path, error);
}

// A path that names the same place from every folder.
bool IsAbsoluteName(std::string_view name) {
  if (!name.empty() && name[0] == '/') return true;
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (name.size() >= 3 && letter(name[0]) && name[1] == ':' &&
      (name[2] == '\\' || name[2] == '/')) {
    return true;
  }
  return name.size() >= 2 && name[0] == '\\' && name[1] == '\\';
}

// Where a library named as written lies, seen from the input's folder.
fs::path LibraryPath(std::string_view name, const fs::path& input) {
  const fs::path as_written = input / std::string(name);
  if (name.find('\\') == std::string_view::npos) return as_written;
  std::string slashed(name);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const fs::path with_slashes = input / slashed;
  return !IsFile(as_written) && IsFile(with_slashes) ? with_slashes : as_written;
}

fs::path Resolved(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return path.lexically_normal();
  fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

// The path of library as written into a file of folder output.
std::string PathFrom(const fs::path& library, const fs::path& output) {
  const fs::path target = Resolved(library);
  const fs::path from = Resolved(output);
  // The first folder below the root, shared or not.
  auto t = target.begin(), f = from.begin();
  const bool shared =
      t != target.end() && f != from.end() && ++t != target.end() && ++f != from.end() && *t == *f;
  if (shared) {
    const fs::path relative = target.lexically_relative(from);
    std::error_code error;
    if (!relative.empty() && (!IsFile(target) || fs::equivalent(from / relative, target, error))) {
      return relative.generic_string();
    }
  }
  return target.generic_string();
}

std::vector<std::string> SplitAtBlanks(std::string_view text) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) names.emplace_back(text.substr(start, i - start));
  }
  return names;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  const bool same = fs::equivalent(a, b, error);
  return error ? Resolved(a) == Resolved(b) : same;
}

}  // namespace

std::vector<std::string> MaterialLibraryLines(std::string_view line,
                                              const std::string& input_folder,
                                              const std::string& output_folder) {
  const fs::path input = FolderPath(input_folder), output = FolderPath(output_folder);
  if (SameFolder(input, output)) return {std::string(line)};
  const std::string_view arguments = TrimObjLine(line.substr(std::min<size_t>(line.size(), 6)));
  std::vector<std::string> names;
  if (IsFile(LibraryPath(arguments, input))) {
    names.emplace_back(arguments);
  } else {
    names = SplitAtBlanks(arguments);
  }
  bool blank = false;
  for (std::string& name : names) {
    if (!IsAbsoluteName(name)) name = PathFrom(LibraryPath(name, input), output);
    blank = blank || std::any_of(name.begin(), name.end(), IsBlank);
  }
  std::vector<std::string> lines;
  for (const std::string& name : names) {
    if (lines.empty() || (blank && names.size() > 1)) {
      lines.push_back("mtllib " + name);
    } else {
      lines.back() += " " + name;
    }
  }
  return lines;
}

std::vector<std::string> MaterialLibraryLines(const std::vector<std::string>& lines,
                                              const std::string& input_path,
                                              const std::string& output_folder) {
  const std::string input_folder(ExtractFilePath(input_path));
  std::vector<std::string> written;
  for (const std::string& line : lines) {
    for (std::string& each : MaterialLibraryLines(line, input_folder, output_folder)) {
      written.push_back(std::move(each));
    }
  }
  return written;
}

}  // namespace zelfin
