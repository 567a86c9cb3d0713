#include "support/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "support/files.h"

namespace zelfin::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelfin-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder " + pattern + ": " + std::strerror(errno));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  // A test may have taken its own rights away (a read-only folder).
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, std::string_view bytes) const {
  const std::string path = Path(name);
  if (!WriteBytes(path, bytes)) throw std::runtime_error("cannot write " + path);
  return path;
}

}  // namespace zelfin::test
