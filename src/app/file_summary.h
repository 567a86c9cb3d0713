#pragma once
// What zelfin-cli and the window print once a file is done: one line on
// standard output, and a notice on standard error when a simplification fell
// short of its triangle count.
#include <cstdint>
#include <string>

#include "app/operations.h"

namespace zelfin {

// The summary of one file, in one of these forms:
//   bunny.obj → bunny_Simplified10%.obj: 69,451 → 6,945 triangles in 0.21 s
//   bunny.obj → … in 0.21 s; deviation max 0.29%, mean 0.021% of the size (max 0.00073 units)
//   scene.obj → scene_wood.obj in 0.02 s          (a division that wrote one file)
//   scene.obj → 5 files in 0.12 s                 (several)
//   scene.obj → scene_Selected.obj: 2 groups in 0.01 s
//   scene.obj → scene_Selected.obj: no group ticked (only the header line)
//   scene.obj: no materials; nothing written      (no groups; cancelled)
// path is the input as given; the outputs are named without their folder.
// The deviation is shown where it was measured: as shares of the input's
// bounding-box diagonal (the Hausdorff distance and the mean distance, both
// sampled both ways) and the largest in the written file's units.
std::string SummaryLine(const std::string& path, const FileResult& result);

// "bunny.obj: reached 6,950 triangles, not 6,945: …" for a simplification
// that found no pair left it may contract before its triangle count; empty
// otherwise (a budget's floor is not a target).
std::string ShortfallNotice(const std::string& path, const FileResult& result);

// n with a comma between thousands: 69,451.
std::string GroupedThousands(int64_t n);

// x to two significant digits, without exponent from 1e-6 up: 0.29, 0.021,
// 12, 0; smaller values as 7.3e-07.
std::string TwoDigits(double x);

}  // namespace zelfin
