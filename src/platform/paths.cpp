#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace zelfin {

std::string_view ExtractFileExt(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return {};
  if (path.find('/', dot) != std::string_view::npos) return {};
  return path.substr(dot);
}

std::string_view ExtractFilePath(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string_view ExtractFileName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view BaseName(std::string_view path) {
  const std::string_view name = ExtractFileName(path);
  const std::string_view ext = ExtractFileExt(name);
  return name.substr(0, name.size() - ext.size());
}

bool HasObjExtension(std::string_view path) {
  const std::string_view ext = ExtractFileExt(path);
  if (ext.size() != 4) return false;
  const char* want = ".OBJ";
  for (size_t i = 0; i < 4; ++i) {
    char c = ext[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != want[i]) return false;
  }
  return true;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSafeFileNamePiece(std::string_view name) {
  if (name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/') {
    return entry->pw_dir;
  }
  return "";
}

std::string UserConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && config[0] == '/') {
    base = config;
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return "";
    base = home + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

}  // namespace zelfin
