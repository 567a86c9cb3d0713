#include "platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/unicode.h"

namespace zelfin {
namespace {

std::string TemporaryPathFor(const std::string& path) {
  // Short and in the target's own folder, so that the rename never crosses a
  // file system and a long target name still leaves room for it.
  static std::atomic<unsigned> counter{0};
  const auto now =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned long long mix =
      now ^ (static_cast<unsigned long long>(getpid()) << 32) ^ (counter++ * 0x9E3779B97F4A7C15ull);
  char name[48];
  std::snprintf(name, sizeof name, ".zelfin-%016llx.tmp", mix);
  return std::string(ExtractFilePath(path)) + name;
}

}  // namespace

std::string ReadTextFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(path, SystemReason(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    close(fd);
    RaiseOpenError(path, SystemReason(err));
  }
  std::string bytes;
  // One spare byte, so that the read which meets the end of the file needs no
  // larger buffer (growing it would copy the whole file).
  bytes.resize(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 1);
  size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() + 65536);  // the file grew
    const ssize_t got = read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      close(fd);
      RaiseOpenError(path, SystemReason(err));
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  close(fd);
  bytes.resize(used);

  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (used >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    bytes.erase(0, 3);
  } else if (used >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    return Utf16ToUtf8(std::string_view(bytes).substr(2), false);
  } else if (used >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
    return Utf16ToUtf8(std::string_view(bytes).substr(2), true);
  }
  return bytes;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

AtomicFileWriter::AtomicFileWriter(const std::string& path) : path_(path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path_ = TemporaryPathFor(path);
    fd_ = open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) RaiseCreateError(path_, SystemReason(errno));
  buffer_.reserve(1 << 20);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) {
    close(fd_);
    unlink(temp_path_.c_str());
  }
}

void AtomicFileWriter::WriteOut(std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = write(fd_, data.data() + done, data.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      RaiseCreateError(path_, SystemReason(errno));
    }
    done += static_cast<size_t>(put);
  }
}

void AtomicFileWriter::Flush() {
  WriteOut(buffer_);
  buffer_.clear();
}

void AtomicFileWriter::Write(std::string_view data) {
  constexpr size_t kBuffer = size_t{1} << 20;
  if (buffer_.size() + data.size() > kBuffer) {
    Flush();
    if (data.size() >= kBuffer) {
      WriteOut(data);  // already a large piece: no copy through the buffer
      return;
    }
  }
  buffer_.append(data);
}

void AtomicFileWriter::Commit() {
  Flush();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp_path_.c_str());
    RaiseCreateError(path_, SystemReason(err));
  }
  if (rename(temp_path_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    unlink(temp_path_.c_str());
    RaiseCreateError(path_, SystemReason(err));
  }
}

void WriteTextFileAtomic(const std::string& path, std::string_view content) {
  AtomicFileWriter writer(path);
  writer.Write(content);
  writer.Commit();
}

}  // namespace zelfin
