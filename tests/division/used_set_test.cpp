#include "division/used_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace zelfin {
namespace {

// Marks across many words and summary words come out once each, ascending,
// and the set is empty again afterwards, ready for the next file.
TEST(UsedSet, DrainsMarksInOrderAndEmptiesItself) {
  const size_t size = 70000;
  UsedSet used(size);
  std::mt19937 random(3);
  for (int round = 0; round < 3; ++round) {
    std::set<size_t> expected = {0, size - 1, 4095, 4096};
    for (int i = 0; i < 2000; ++i) expected.insert(random() % size);
    for (const size_t i : expected) used.Mark(i);
    used.Mark(4096);  // marking twice is marking once
    std::vector<size_t> drained;
    used.Drain([&](size_t i) { drained.push_back(i); });
    EXPECT_EQ(drained, std::vector<size_t>(expected.begin(), expected.end()));
  }
  size_t left = 0;
  used.Drain([&](size_t) { ++left; });
  EXPECT_EQ(left, 0u);
}

}  // namespace
}  // namespace zelfin
