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

// After Number(), a marked entry's new number is its rank among the marked
// ones, counted from 1, across words and summary words; Clear() empties.
TEST(UsedSet, NewNumbersAreRanksInAscendingOrder) {
  const size_t size = 70000;
  UsedSet used(size);
  std::mt19937 random(5);
  for (int round = 0; round < 3; ++round) {
    std::set<size_t> marked = {0, 63, 64, size - 1, 4095, 4096};
    for (int i = 0; i < 3000; ++i) marked.insert(random() % size);
    for (const size_t i : marked) used.Mark(i);
    used.Number();
    uint32_t rank = 0;
    std::vector<size_t> seen;
    used.ForEachMarked([&](size_t i) { seen.push_back(i); });
    EXPECT_EQ(seen, std::vector<size_t>(marked.begin(), marked.end()));
    for (const size_t i : marked) EXPECT_EQ(used.NewNumber(i), ++rank) << i;
    used.Clear();
  }
  size_t left = 0;
  used.ForEachMarked([&](size_t) { ++left; });
  EXPECT_EQ(left, 0u);
}

// What another set marked is taken over, across words and summary words,
// and the other set emptied.
TEST(UsedSet, TakesOverAnothersMarks) {
  const size_t size = 5000;
  UsedSet used(size), other(size);
  std::set<size_t> marked = {0, 63, 64, 127, 4999};
  for (size_t i = 1; i < size; i += 37) marked.insert(i);
  for (const size_t i : marked) (i % 2 ? used : other).Mark(i);
  used.Take(other);
  std::vector<size_t> seen;
  used.ForEachMarked([&](size_t i) { seen.push_back(i); });
  EXPECT_EQ(seen, std::vector<size_t>(marked.begin(), marked.end()));
  size_t left = 0;
  other.ForEachMarked([&](size_t) { ++left; });
  EXPECT_EQ(left, 0u);
}

}  // namespace
}  // namespace zelfin
