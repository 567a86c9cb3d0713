#include "platform/beside.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/write_behind.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using namespace std::chrono_literals;

// Counts the window's turns; raises on the turn `raise_at` (0: never).
class TurnCounter final : public ProgressSink {
 public:
  explicit TurnCounter(int raise_at = 0) : raise_at_(raise_at) {}
  void Show() override {}
  void Hide() override {}
  void SetCaption(const std::string&) override {}
  void SetPosition(int) override {}
  void ProcessMessages() override {}
  void KeepResponsive() override {
    if (++turns == raise_at_) throw std::runtime_error("pump");
  }
  std::atomic<int> turns{0};

 private:
  int raise_at_;
};

// Waits (up to a generous limit) until done() holds.
template <class Done>
bool Eventually(Done done) {
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::string ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(RunBeside, EachHalfLearnsItsLaneAndTheCallerGivesTurnsWhileASlowHelperFinishes) {
  TurnCounter sink;
  Heartbeat heartbeat(sink);
  const std::thread::id caller = std::this_thread::get_id();
  bool first_on_window = false, second_on_window = true, second_elsewhere = false;
  Heartbeat* second_beat = nullptr;
  RunBeside(
      heartbeat,
      [&](const Lane& lane) {
        first_on_window = lane.window_thread && &lane.heartbeat == &heartbeat;
      },
      [&](const Lane& lane) {
        second_on_window = lane.window_thread;
        second_beat = &lane.heartbeat;
        second_elsewhere = std::this_thread::get_id() != caller;
        // Ends only once the waiting caller has given the window three turns.
        EXPECT_TRUE(Eventually([&] { return sink.turns >= 3; }));
      });
  EXPECT_TRUE(first_on_window);
  EXPECT_FALSE(second_on_window);
  EXPECT_TRUE(second_elsewhere);
  EXPECT_NE(second_beat, &heartbeat);
  EXPECT_GE(sink.turns, 3);
}

TEST(RunBeside, TheFirstHalfsErrorComesFirstAndBothHalvesEnd) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  std::atomic<bool> second_ended{false};
  const auto fail = [](const char* what) { return [what] { throw std::runtime_error(what); }; };
  EXPECT_EQ(ErrorOf([&] {
              RunBeside(heartbeat, fail("first"), [&] {
                std::this_thread::sleep_for(30ms);
                second_ended = true;
                throw std::runtime_error("second");
              });
            }),
            "first");
  EXPECT_TRUE(second_ended);
  EXPECT_EQ(ErrorOf([&] {
              RunBeside(
                  heartbeat, [] {}, fail("second"));
            }),
            "second");
  // The second half fails at once, the first later: still the first's error.
  EXPECT_EQ(ErrorOf([&] {
              RunBeside(
                  heartbeat,
                  [] {
                    std::this_thread::sleep_for(30ms);
                    throw std::runtime_error("first");
                  },
                  fail("second"));
            }),
            "first");
}

TEST(RunBeside, AnErrorOfTheWaitingPumpLeavesOnlyOnceTheHelperHasEnded) {
  TurnCounter sink(1);
  Heartbeat heartbeat(sink);
  std::atomic<bool> second_ended{false};
  EXPECT_EQ(ErrorOf([&] {
              RunBeside(
                  heartbeat, [] {},
                  [&] {
                    EXPECT_TRUE(Eventually([&] { return sink.turns >= 1; }));
                    std::this_thread::sleep_for(20ms);
                    second_ended = true;
                  });
            }),
            "pump");
  EXPECT_TRUE(second_ended);
}

TEST(ResizeBeside, GrowsTheTableToZerosKeepingWhatItHeld) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  std::vector<int64_t> table = {7, 8};
  ResizeBeside(table, 3'000'000, heartbeat);
  ASSERT_EQ(table.size(), 3'000'000u);
  EXPECT_EQ(table[0] + table[1], 15);
  EXPECT_EQ(std::count(table.begin() + 2, table.end(), 0), 3'000'000 - 2);
}

// Items made on two threads, each sleeping a while, take effect in order; the
// first item that failed (in order, not in time) stops the ones after it.
TEST(InOrder, ItemsTakeEffectInTheirOrderAndTheFirstFailureInOrderIsTold) {
  for (const uint32_t failing : {uint32_t{5}, uint32_t{99}}) {
    TurnCounter sink;
    Heartbeat heartbeat(sink);
    InOrder order;
    std::atomic<uint32_t> next{0};
    std::mutex mutex;
    std::vector<uint32_t> effects;
    const auto make = [&](const Lane& lane) {
      for (uint32_t i = next++; i < 12 && !order.Stopped(i); i = next++) {
        try {
          if (i == failing || i == failing + 1) {
            // The later failure happens first.
            std::this_thread::sleep_for(i == failing ? 40ms : 0ms);
            throw std::runtime_error("item " + std::to_string(i));
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 * 7));
          if (!order.AwaitTurn(i, lane.heartbeat)) return;
          {
            const std::lock_guard<std::mutex> lock(mutex);
            effects.push_back(i);
          }
          order.Done(i);
        } catch (...) {
          order.Failed(i, std::current_exception());
          return;
        }
      }
    };
    RunBeside(heartbeat, make, make);
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < std::min<uint32_t>(failing, 12); ++i) expected.push_back(i);
    EXPECT_EQ(effects, expected);
    EXPECT_EQ(ErrorOf([&] { order.RaiseFailure(); }),
              failing < 12 ? "item " + std::to_string(failing) : "");
  }
}

TEST(WriteBehind, FilesTakeTheirNamesInOrderAndAFailureComesBackToTheCaller) {
  test::TempDir dir;
  TurnCounter sink;
  Heartbeat heartbeat(sink);
  {
    WriteBehind out(heartbeat);
    for (const char* name : {"a.obj", "b.obj"}) {
      out.Begin(dir.Path(name));
      out.Append(std::string(3 << 20, name[0]));  // more than the helper's buffers
      out.Commit();
    }
    out.Begin(dir.Path("dropped.obj"));
    out.Append("never committed");
    out.Finish();
  }
  EXPECT_EQ(test::ReadBytes(dir.Path("b.obj")), std::string(3 << 20, 'b'));
  EXPECT_EQ(test::ReadBytes(dir.Path("a.obj")), std::string(3 << 20, 'a'));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("dropped.obj")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Folder()), {}), 2);

  WriteBehind out(heartbeat);
  EXPECT_NE(ErrorOf([&] {
              out.Begin(dir.Path("missing/c.obj"));
              out.Append("v 1 2 3\r\n");
              out.Commit();
              out.Finish();
            }).find("Cannot create file"),
            std::string::npos);
}

}  // namespace
}  // namespace zelfin
