#pragma once
// Where a written OBJ file finds the material libraries of its input.
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// The mtllib lines to write, into a file in output_folder, for one mtllib line
// of an input file in input_folder (folders as the operations take them:
// ending in "/", or empty for the current folder; line cleaned, beginning
// with "mtllib" and a space). Never touches a library itself.
//
// - Output folder = input folder (the same folder, by any path): the line as
//   it is.
// - Otherwise each library is written so that it is found from the output
//   folder: a path that is absolute already ("/...", or a Windows drive or
//   share) as it is; any other relative to the output folder when the two
//   share a folder below the root ("../models/scene.mtl"), else absolute.
// - OBJ has no quoting, and files name their libraries both ways: the rest
//   of the line is one library when a file of that name exists (so a name
//   may hold spaces), else the line lists several, separated by blanks.
// - A backslash is read as a folder separator when only that reading names
//   an existing file (libraries of files made on Windows); paths are written
//   with "/".
// - Several libraries make one line, unless a written path holds a blank:
//   then each gets its own line, so that none is misread.
std::vector<std::string> MaterialLibraryLines(std::string_view line,
                                              const std::string& input_folder,
                                              const std::string& output_folder);

// The same for every mtllib line of the file at input_path, in order.
std::vector<std::string> MaterialLibraryLines(const std::vector<std::string>& lines,
                                              const std::string& input_path,
                                              const std::string& output_folder);

}  // namespace zelfin
