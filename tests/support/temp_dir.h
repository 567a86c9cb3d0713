#pragma once
// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
#include <string>
#include <string_view>

namespace zelfin::test {

class TempDir {
 public:
  // Throws std::runtime_error when no folder can be made.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder with a trailing "/", ready to be used as an output prefix.
  std::string Folder() const { return path_ + "/"; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // Writes bytes to the file name in the folder; returns its path.
  std::string Write(const std::string& name, std::string_view bytes) const;

 private:
  std::string path_;
};

}  // namespace zelfin::test
