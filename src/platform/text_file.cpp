#include "platform/text_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "platform/errors.h"
#include "platform/huge_pages.h"
#include "platform/late_close.h"
#include "platform/mapping_guard.h"
#include "platform/paths.h"
#include "platform/unicode.h"

namespace zelfin {
namespace {

// What a file being written gathers before it is written out: below the
// threshold of ReturnLargeBlocksToSystem (huge_pages.h), so that a division
// of a thousand files uses one buffer's memory again and again rather than
// asking the system for a fresh one per file.
constexpr size_t kWriteBuffer = size_t{1} << 19;

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

// The file's bytes by read(): for what cannot be mapped (a pipe, an empty or
// special file, a file system without mappings).
std::string ReadAll(int fd, const std::string& path, const struct stat& st) {
  std::string bytes;
  // One spare byte, so that the read which meets the end of the file needs no
  // larger buffer (growing it would copy the whole file).
  bytes.resize(S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 1);
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
  bytes.resize(used);
  return bytes;
}

// Whether to ask for the whole file at once: when it is a small part of the
// machine's memory, so that its pages can stay. A larger file comes in as it
// is read, and the system may drop the pages behind.
bool WorthReadingAhead(size_t size) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 && size < static_cast<size_t>(pages) / 4 * static_cast<size_t>(page);
}

// Reserves length bytes of address space, from a 2 MiB boundary when the
// length spans such pages, so that a file mapped there lines its 2 MiB pieces
// up with the system's huge pages.
void* MapAlignedSpace(size_t length, size_t page) {
  constexpr size_t kHuge = size_t{2} << 20;
  const size_t slack = length >= 2 * kHuge ? kHuge - page : 0;
  void* const space = mmap(nullptr, length + slack, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (space == MAP_FAILED || slack == 0) return space;
  const auto begin = reinterpret_cast<uintptr_t>(space);
  const uintptr_t aligned = (begin + kHuge - 1) & ~uintptr_t{kHuge - 1};
  if (aligned > begin) munmap(space, aligned - begin);
  if (begin + slack > aligned) {
    munmap(reinterpret_cast<void*>(aligned + length), begin + slack - aligned);
  }
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void FileText::CheckUnchanged() const {
  if (fd_ < 0) return;  // text of its own, taken whole at once
  struct stat now;
  if (fstat(fd_, &now) != 0) RaiseOpenError(path_, SystemReason(errno));
  if (static_cast<size_t>(now.st_size) < file_size_) {
    RaiseOpenError(path_, "The file became shorter while it was being read.");
  }
  if (static_cast<size_t>(now.st_size) != file_size_ || now.st_mtim.tv_sec != modified_.tv_sec ||
      now.st_mtim.tv_nsec != modified_.tv_nsec) {
    RaiseOpenError(path_, "The file was changed while it was being read.");
  }
  if (MappingFaulted(watch_)) {
    RaiseOpenError(path_, "Part of the file could not be read: " + SystemReason(EIO) + ".");
  }
}

void FileText::ReleasePages() const {
  // The mapping is read-only and never written, so nothing is lost.
  if (map_ != nullptr) madvise(const_cast<char*>(map_), map_length_, MADV_DONTNEED);
}

FileText::FileText(const std::string& path) : path_(path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(path, SystemReason(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    close(fd);
    RaiseOpenError(path, SystemReason(err));
  }
  const size_t size = static_cast<size_t>(st.st_size);
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    // A spare page of zeros beyond the file's last page: the byte after the
    // text is readable even when the file fills its last page.
    const size_t length = (size / page + 1) * page;
    void* area = MapAlignedSpace(length, page);
    if (area != MAP_FAILED) {
      if (mmap(area, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0) != MAP_FAILED) {
        // Where the system keeps the file's pages in 2 MiB pieces (a file
        // read from the disk, mostly), it maps each piece whole, with one
        // fault instead of 512: on a virtual machine that traps to its host
        // at the first touch of every small page, touching a 200 MB file's
        // pages took 130-200 ms in small pages and 6-30 ms in 2 MiB ones. A
        // file not yet read comes in such pieces.
        AdviseHugePages(area, size);
        // Read ahead without waiting: the readers go on meanwhile and let the
        // window have its turns, where populating the mapping first would
        // hold everything until a large file is in from the disk.
        if (WorthReadingAhead(size)) madvise(area, size, MADV_WILLNEED);
        map_ = static_cast<const char*>(area);
        watch_ = WatchMapping(area, length);
        map_length_ = length;
        size_ = size;
      } else {
        munmap(area, length);
      }
    }
  }
  if (map_ == nullptr) {
    owned_ = ReadAll(fd, path, st);
    close(fd);
  } else {
    fd_ = fd;  // kept to see whether the file changes while it is mapped
    file_size_ = size;
    modified_ = st.st_mtim;
  }
  DecodeMark();
}

FileText FileText::FromString(std::string text) {
  FileText file;
  file.owned_ = std::move(text);
  return file;
}

FileText::~FileText() {
  Unmap();
}

FileText::FileText(FileText&& other) noexcept {
  *this = std::move(other);
}

FileText& FileText::operator=(FileText&& other) noexcept {
  if (this != &other) {
    Unmap();
    map_ = std::exchange(other.map_, nullptr);
    map_length_ = std::exchange(other.map_length_, 0);
    offset_ = std::exchange(other.offset_, 0);
    size_ = std::exchange(other.size_, 0);
    owned_ = std::move(other.owned_);
    path_ = std::move(other.path_);
    watch_ = std::exchange(other.watch_, kNotWatched);
    fd_ = std::exchange(other.fd_, -1);
    file_size_ = std::exchange(other.file_size_, 0);
    modified_ = other.modified_;
  }
  return *this;
}

void FileText::Unmap() {
  UnwatchMapping(watch_);
  watch_ = kNotWatched;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (map_ != nullptr) munmap(const_cast<char*>(map_), map_length_);
  map_ = nullptr;
  map_length_ = offset_ = size_ = 0;
}

void FileText::DecodeMark() {
  const std::string_view bytes = text();
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::string converted;
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    const std::string_view rest = bytes.substr(3);
    if (IsValidUtf8(rest)) {
      if (map_ == nullptr) {
        owned_.erase(0, 3);
      } else {
        offset_ = 3;
        size_ -= 3;
      }
      return;
    }
    converted = Utf8WithReplacements(rest);  // rare: a marked file that breaks its word
  } else if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    converted = Utf16ToUtf8(bytes.substr(2), false);
  } else if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
    converted = Utf16ToUtf8(bytes.substr(2), true);
  } else {
    return;
  }
  Unmap();
  owned_ = std::move(converted);
}

std::string ReadTextFile(const std::string& path) {
  return std::string(FileText(path).text());
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, TemporaryFile temporary) : path_(path) {
  if (temporary == TemporaryFile::kUnnamed) {
    // A file without a name vanishes with the process, however it ends. Where
    // the folder refuses one (or cannot be written), the named temporary below
    // meets the same refusal and reports it as it always has.
    const std::string folder(ExtractFilePath(path));
    fd_ = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  }
  if (fd_ < 0) OpenNamed();
  buffer_.reserve(kWriteBuffer);
}

void AtomicFileWriter::OpenNamed() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path_ = TemporaryPathFor(path_);
    fd_ = open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int err = errno;
    temp_path_.clear();
    RaiseCreateError(path_, SystemReason(err));
  }
}

// Gives the unnamed file the name `name`; 0 or the reason it could not.
int AtomicFileWriter::LinkUnnamedAs(const std::string& name) const {
  // AT_EMPTY_PATH needs a capability that the link through /proc does not.
  if (linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno == EEXIST) return EEXIST;
  char proc_path[48];
  std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd_);
  return linkat(AT_FDCWD, proc_path, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Gives the complete unnamed file its temporary name, ready for the rename.
void AtomicFileWriter::LinkUnderTemporaryName() {
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryPathFor(path_);
    err = LinkUnnamedAs(name);
    if (err == 0) {
      temp_path_ = name;
      return;
    }
    if (err != EEXIST) break;
  }
  RaiseCreateError(path_, SystemReason(err));
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) {
    close(fd_);
    if (!temp_path_.empty()) unlink(temp_path_.c_str());
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
  if (buffer_.size() + data.size() > kWriteBuffer || data.size() >= kWriteBuffer / 16) {
    Flush();
    if (data.size() >= kWriteBuffer / 16) {
      WriteOut(data);  // already a large piece: no copy through the buffer
      return;
    }
  }
  buffer_.append(data);
}

void AtomicFileWriter::Commit(LateCloser* replaced) {
  Flush();
  // A target that does not exist yet takes the complete unnamed file's name
  // at once, as atomically as a rename would give it (a link never replaces
  // anything): one change of the folder instead of two, which is most of the
  // cost of a small file. Anything else goes through a temporary name.
  if (temp_path_.empty() && LinkUnnamedAs(path_) == 0) {
    const int fd = fd_;
    fd_ = -1;
    struct stat own {};
    const bool known = fstat(fd, &own) == 0;
    if (close(fd) != 0) {
      const int err = errno;
      // The file may be incomplete: its name goes again, unless another
      // writer has put a file of its own there meanwhile.
      struct stat now {};
      if (known && lstat(path_.c_str(), &now) == 0 && now.st_dev == own.st_dev &&
          now.st_ino == own.st_ino) {
        unlink(path_.c_str());
      }
      RaiseCreateError(path_, SystemReason(err));
    }
    return;
  }
  if (temp_path_.empty()) LinkUnderTemporaryName();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp_path_.c_str());
    RaiseCreateError(path_, SystemReason(err));
  }
  // Where it cannot be held (gone meanwhile, say), the rename frees it as before.
  const int old = replaced ? open(path_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC) : -1;
  if (rename(temp_path_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    if (old >= 0) close(old);
    unlink(temp_path_.c_str());
    RaiseCreateError(path_, SystemReason(err));
  }
  if (old >= 0) replaced->Close(old);
}

void WriteTextFileAtomic(const std::string& path, std::string_view content) {
  AtomicFileWriter writer(path);
  writer.Write(content);
  writer.Commit();
}

}  // namespace zelfin
