#pragma once
// What the fuzz targets share: one scratch folder per process, emptied
// between inputs, and the tests' file helpers with a failure failing the run.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.h"

namespace zelfin::fuzz {

// A fuzz target's invariant failed: print why and abort, which libFuzzer
// reports as a crash and keeps the input.
[[noreturn]] inline void Fail(const std::string& why) {
  std::fprintf(stderr, "fuzz invariant failed: %s\n", why.c_str());
  std::abort();
}

inline void Check(bool ok, const std::string& why) {
  if (!ok) Fail(why);
}

// A fresh folder for the process to keep for all its inputs: in memory
// (/dev/shm) where there is one, as every input creates and removes files.
inline std::string MakeScratchFolder(const char* tag) {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  if (access("/dev/shm", W_OK) == 0) base = "/dev/shm";
  std::string pattern = base + "/zelfin-" + tag + "-XXXXXX";
  if (!mkdtemp(pattern.data())) Fail("cannot make a scratch folder");
  // Removed when the run ends normally; a crash leaves it for a look.
  static std::vector<std::string> made;
  if (made.empty()) {
    std::atexit([] {
      std::error_code ec;
      for (const std::string& folder : made) std::filesystem::remove_all(folder, ec);
    });
  }
  made.push_back(pattern);
  return pattern;
}

inline void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) Fail("cannot make " + path);
}

// Removes every file in folder (it holds no subfolders: the targets check that).
inline void EmptyFolder(const std::string& folder) {
  for (const std::string& name : test::FolderNames(folder)) unlink((folder + "/" + name).c_str());
}

inline bool IsRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  if (!test::WriteBytes(path, {reinterpret_cast<const char*>(data), size})) {
    Fail("cannot write " + path);
  }
}

inline std::string ReadFile(const std::string& path) {
  std::string bytes;
  if (!test::ReadBytes(path, bytes)) Fail("cannot read " + path);
  return bytes;
}

// The lines of a written file, which ends every line in CR LF.
inline std::vector<std::string_view> CrLfLines(std::string_view text, const std::string& path) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    Check(end != std::string_view::npos, path + ": a line without CR LF at its end");
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A whole decimal number of at most 18 digits, or -1.
inline int64_t ParseCount(std::string_view s) {
  if (s.empty() || s.size() > 18) return -1;
  int64_t n = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace zelfin::fuzz
