#pragma once
// Whole files in and out, byte for byte, and what a folder holds.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::test {

// The whole file into bytes; false, with bytes empty, when it cannot be read.
bool ReadBytes(const std::string& path, std::string& bytes);
// The whole file, or "" when it cannot be read.
std::string ReadBytes(const std::string& path);

// Creates or replaces path with bytes. False when it could not be written
// whole; what fitted (a full disk) stays in the file.
bool WriteBytes(const std::string& path, std::string_view bytes);

bool FileExists(const std::string& path);

// The names in a folder, sorted; "." and ".." left out. Throws
// std::filesystem::filesystem_error when the folder cannot be listed.
std::vector<std::string> FolderNames(const std::string& folder);
// The same names joined by single blanks.
std::string ListFolder(const std::string& folder);

// How many file descriptors this process holds open.
size_t OpenDescriptors();

}  // namespace zelfin::test
