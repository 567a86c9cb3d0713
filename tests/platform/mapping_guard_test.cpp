#include "platform/mapping_guard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/text_file.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

// Eight pages of bytes that are never NUL.
std::string Pattern() {
  std::string bytes(8 * 4096, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

// Two threads map and unmap files while a third cuts one of them short and
// writes it whole again, over and over. Zeros may stand only in a mapping of
// the file that is cut, from the first read that faulted to its end, and are
// then reported;
// the file never cut and the threads' own memory never show one.
TEST(MappingGuard, ZerosStandOnlyInTheMappingThatFaulted) {
  test::TempDir dir;
  const std::string bytes = Pattern();
  const std::string cut = dir.Write("cut.obj", bytes);
  const std::string whole = dir.Write("whole.obj", bytes);
  std::atomic<bool> stop{false};
  std::thread cutter([&] {
    const int fd = open(cut.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    while (!stop) {
      ASSERT_EQ(ftruncate(fd, 4096), 0);
      ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    close(fd);
  });
  std::atomic<int> faulted{0};
  const auto reader = [&] {
    for (int round = 0; round < 1500; ++round) {
      const std::string own(4096, 'x');
      const FileText maybe_cut(cut);
      const FileText never_cut(whole);
      const std::string_view text = maybe_cut.text();
      size_t first_zero = text.size();
      for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];  // once: a second read may meet the zeros of a fault
        if (c == '\0') {
          first_zero = std::min(first_zero, i);
        } else {
          ASSERT_EQ(c, bytes[i]) << i;
          ASSERT_EQ(first_zero, text.size()) << "a byte of the file after a zero";
        }
      }
      ASSERT_EQ(never_cut.text(), bytes);
      ASSERT_EQ(own, std::string(4096, 'x'));
      if (first_zero < text.size()) {
        EXPECT_THROW(maybe_cut.CheckUnchanged(), ZelfinError);
        ++faulted;
      }
    }
  };
  std::thread first(reader), second(reader);
  first.join();
  second.join();
  stop = true;
  cutter.join();
  RecordProperty("faulted", faulted.load());
}

TEST(MappingGuard, AFaultOutsideEveryWatchedMappingStillEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempDir dir;
  const std::string path = dir.Write("t.obj", Pattern());
  EXPECT_EXIT(
      {
        const FileText watched(path);  // installs the handler
        const int fd = open(path.c_str(), O_RDWR);
        // This child never returns to remove its own copy of the folder.
        std::filesystem::remove_all(dir.Folder());
        const auto* map = static_cast<const volatile char*>(
            mmap(nullptr, 8 * 4096, PROT_READ, MAP_SHARED, fd, 0));
        if (ftruncate(fd, 0) == 0) (void)map[5 * 4096];  // no page there any more
        _exit(0);
      },
      // Killed by the signal, or ended by a sanitizer's report of it: never gone on.
      [](int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; }, "");
}

TEST(MappingGuard, SlotsAreTakenUpToTheLimitAndGivenBack) {
  std::vector<int> slots;
  static const char area[1] = {};
  for (int i = 0; i < kWatchedMappings; ++i) {
    const int slot = WatchMapping(area, 1);
    if (slot == kNotWatched) break;  // others watched at once
    slots.push_back(slot);
    EXPECT_FALSE(MappingFaulted(slot));
  }
  EXPECT_EQ(WatchMapping(area, 1), kNotWatched);
  for (const int slot : slots) UnwatchMapping(slot);
  const int again = WatchMapping(area, 1);
  EXPECT_NE(again, kNotWatched);
  UnwatchMapping(again);
}

}  // namespace
}  // namespace zelfin
