#include "support/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace zelfin::test {

bool ReadBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    const ssize_t got = read(fd, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      bytes.clear();
      return false;
    }
    if (got == 0) break;
    bytes.append(buf, static_cast<size_t>(got));
  }
  close(fd);
  return true;
}

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  ReadBytes(path, bytes);
  return bytes;
}

bool WriteBytes(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  return close(fd) == 0 && done == bytes.size();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ListFolder(const std::string& folder) {
  std::string out;
  for (const std::string& name : FolderNames(folder)) out += (out.empty() ? "" : " ") + name;
  return out;
}

size_t OpenDescriptors() {
  return FolderNames("/proc/self/fd").size();
}

}  // namespace zelfin::test
