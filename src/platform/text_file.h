#pragma once
// Whole text files in memory, and whole text files written atomically.
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// Reads the whole file. A UTF-8 byte-order mark is dropped; UTF-16 LE or BE
// (by their marks) is converted to UTF-8, bad surrogates becoming U+FFFD; a
// file without a mark is kept byte for byte. Raises "Cannot open file ..." on
// any failure to open or read.
std::string ReadTextFile(const std::string& path);

// Calls fn(std::string_view line) for every line of text. Lines end at CR LF,
// at a lone CR or at a lone LF; a last line without an end is a line too, and
// an end at the very end of the text does not start another (empty) line.
template <class Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  size_t start = 0;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      fn(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < n) fn(text.substr(start));
}

// The lines of text as views into it (see ForEachLine).
std::vector<std::string_view> SplitLines(std::string_view text);

// Appends line and CR LF.
inline void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append("\r\n", 2);
}

// A file written atomically in pieces: the data goes to a temporary file in
// the target's folder, and Commit() renames it over the target. Until then the
// target is untouched; a writer dropped without Commit() removes its
// temporary file. Every failure raises "Cannot create file "<path>". <reason>".
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(std::string_view data);
  void Commit();

 private:
  void Flush();
  void WriteOut(std::string_view data);
  std::string path_;
  std::string temp_path_;
  std::string buffer_;
  int fd_ = -1;
};

// Writes content (already holding its line ends) to path without a byte-order
// mark: first to a temporary file in the same folder, then renamed over path,
// so that a failure never leaves a truncated file nor destroys an older file of
// that name. Raises "Cannot create file "<path>". <reason>" on any failure.
void WriteTextFileAtomic(const std::string& path, std::string_view content);

}  // namespace zelfin
