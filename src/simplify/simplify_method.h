#pragma once
// The two simplification methods (the setting DietMethod).
#include <cstdint>

namespace zelfin {

enum class SimplifyMethod : int32_t {
  // The historical output: stale costs, normalised coordinates with eight
  // decimals, only v and f lines.
  kClassic = 0,
  // The survivor's pairs priced again after every contraction, the input's
  // own coordinates.
  kRefined = 1,
};

}  // namespace zelfin
