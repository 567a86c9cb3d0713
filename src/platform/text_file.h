#pragma once
// Whole text files read (mapped where they can be), and whole text files
// written atomically.
#include <time.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// The read-only text of a file, after its byte-order mark is dealt with: a
// UTF-8 mark is skipped, UTF-16 LE or BE (by their marks) is converted to
// UTF-8, and in both the ill-formed sequences become U+FFFD, so that the text
// of a marked file is always valid UTF-8; a file without a mark is kept byte for
// byte. A regular file is mapped into memory rather than copied, and memory of
// its own is held only when the text had to be converted (or the file could not
// be mapped). The byte just after the text is readable and is NUL, whatever the
// size, so scanners may stop on it.
//
// A mapped file is read under the guard of mapping_guard.h: the first mapped
// FileText installs a SIGBUS handler for the whole process. Should another
// program cut the file short meanwhile, or its disk fail to give a page, what
// cannot be read reads as NULs instead of ending the program, and
// CheckUnchanged() says so. A mapped file stays open until the FileText goes.
class FileText {
 public:
  // Raises "Cannot open file "<path>". <reason>" on any failure to open or read.
  explicit FileText(const std::string& path);
  // Text already in memory, taken as it is (no mark is looked for).
  static FileText FromString(std::string text);
  FileText() = default;
  ~FileText();
  FileText(FileText&& other) noexcept;
  FileText& operator=(FileText&& other) noexcept;
  FileText(const FileText&) = delete;
  FileText& operator=(const FileText&) = delete;

  std::string_view text() const {
    return map_ != nullptr ? std::string_view(map_ + offset_, size_) : std::string_view(owned_);
  }

  // Raises "Cannot open file "<path>". <what happened>" when the text of a
  // mapped file may not be what the file held when it was opened: the file
  // became shorter, it was written to (its size or modification time
  // differs), or a page of it could not be read from its disk. What was read
  // of it, and anything made from that, is not to be used then. Text held in
  // memory of its own was read whole at once and always passes.
  void CheckUnchanged() const;

  // Lets go of the pages of a mapped file that were read: they come back
  // from the file if read again. A reader done with most of the text calls it,
  // so that the text stops counting in the process's memory while it works on
  // what it made. Text held in memory of its own stays as it is.
  void ReleasePages() const;

 private:
  void DecodeMark();
  void Unmap();
  std::string path_;
  int watch_ = -1;        // the guard's slot for the mapping (kNotWatched: none)
  int fd_ = -1;           // the mapped file, open while mapped
  size_t file_size_ = 0;  // its size and modification time when opened
  struct timespec modified_ {};
  const char* map_ = nullptr;  // the mapping, one spare page beyond the file
  size_t map_length_ = 0;
  size_t offset_ = 0;  // 3 after a UTF-8 mark
  size_t size_ = 0;
  std::string owned_;
};

// The whole text of the file, as FileText reads it, in a string of its own.
std::string ReadTextFile(const std::string& path);

// The first byte from p on that is_sought(byte) holds for, or end. Eight
// bytes at a time where the byte order allows: sought(word) sets the high
// bit of every sought byte of the word, and may set it in bytes after one
// (as a borrow does), never before the first.
template <class SoughtBytes, class IsSought>
inline const char* FindFirstByte(const char* p, const char* end, SoughtBytes sought,
                                 IsSought is_sought) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; end - p >= 8; p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      const uint64_t found = sought(word);
      if (found != 0) return p + std::countr_zero(found) / 8;
    }
  }
  while (p < end && !is_sought(*p)) ++p;
  return p;
}
inline constexpr uint64_t kByteOnes = 0x0101010101010101ull, kByteHighs = 0x8080808080808080ull;

// The first CR or LF from p on, or end: a line of a mesh file is some tens of
// bytes, and a loader walking them byte by byte spent most of its own time there.
inline const char* FindLineBreak(const char* p, const char* end) {
  return FindFirstByte(
      p, end,
      [](uint64_t word) {
        // A byte that matches becomes 0, and only a 0 (or a byte after one,
        // by a borrow) gets its high bit set.
        const uint64_t lf = word ^ (kByteOnes * '\n'), cr = word ^ (kByteOnes * '\r');
        return (((lf - kByteOnes) & ~lf) | ((cr - kByteOnes) & ~cr)) & kByteHighs;
      },
      [](char c) { return c == '\n' || c == '\r'; });
}

// Calls fn(std::string_view line) for every line of text. Lines end at CR LF,
// at a lone CR or at a lone LF; a last line without an end is a line too, and
// an end at the very end of the text does not start another (empty) line.
template <class Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* const stop = FindLineBreak(p, end);
    fn(std::string_view(p, static_cast<size_t>(stop - p)));
    if (stop == end) return;
    p = stop + ((*stop == '\r' && stop + 1 < end && stop[1] == '\n') ? 2 : 1);
  }
}

// The lines of text as views into it (see ForEachLine).
std::vector<std::string_view> SplitLines(std::string_view text);

// Appends line and CR LF.
inline void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append("\r\n", 2);
}

class LateCloser;

// How AtomicFileWriter holds its data until Commit: in a file without a name
// (O_TMPFILE) where the file system allows it, or else in a hidden
// ".zelfin-<hex>.tmp" beside the target; kNamed asks for the second at once.
enum class TemporaryFile { kUnnamed, kNamed };

// A file written atomically in pieces: the data goes to a temporary file in
// the target's folder, and Commit() gives it the target's name (a link where
// the target does not exist, else a rename over it). Until then the
// target is untouched; a writer dropped without Commit() removes its temporary
// file, and one without a name vanishes even when the process is killed. The
// new file gets the mode 0666 less the umask. Every failure raises "Cannot
// create file "<path>". <reason>".
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path,
                            TemporaryFile temporary = TemporaryFile::kUnnamed);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(std::string_view data);
  // With `replaced`, a file that the new one replaces is handed over to it
  // open, so that what freeing its blocks costs is not paid here.
  void Commit(LateCloser* replaced = nullptr);
  // Whether the data sits in a file without a name (for tests).
  bool Unnamed() const { return temp_path_.empty(); }

 private:
  void OpenNamed();
  int LinkUnnamedAs(const std::string& name) const;
  void LinkUnderTemporaryName();
  void Flush();
  void WriteOut(std::string_view data);
  std::string path_;
  std::string temp_path_;  // empty while the file has no name
  std::string buffer_;
  int fd_ = -1;
};

// Writes content (already holding its line ends) to path without a byte-order
// mark: first to a temporary file in the same folder, then renamed over path,
// so that a failure never leaves a truncated file nor destroys an older file of
// that name. Raises "Cannot create file "<path>". <reason>" on any failure.
void WriteTextFileAtomic(const std::string& path, std::string_view content);

}  // namespace zelfin
