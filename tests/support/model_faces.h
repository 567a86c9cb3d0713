#pragma once
// The faces of a division model as text, for comparing models: header-only,
// since only the programs that link the division include it.
#include <string>
#include <vector>

#include "division/obj_model.h"

namespace zelfin::test {

// The faces of name i in file order, each as "f" and its corners with the
// line numbers that the model resolved: "f 1/2/3 4//5".
inline std::vector<std::string> FacesOf(const ObjModel& model, uint32_t name) {
  std::vector<std::string> faces;
  for (const FaceRun& run : RunsOf(model, name)) {
    FaceReader reader = ReaderOf(model, run);
    while (reader.NextFace()) {
      std::string face = "f";
      for (uint32_t n = reader.NextCorners(); n > 0; n = reader.NextCorners()) {
        for (; n > 0; --n) {
          uint32_t numbers[3];
          const int parts = reader.NextCorner(numbers);
          face += ' ';
          for (int k = 0; k < parts; ++k) {
            if (k > 0) face += '/';
            if (numbers[k] != 0) face += std::to_string(numbers[k]);
          }
        }
      }
      faces.push_back(face);
    }
  }
  return faces;
}

}  // namespace zelfin::test
