#include "platform/mapping_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zelfin {
namespace {

static_assert(std::atomic<uintptr_t>::is_always_lock_free &&
                  std::atomic<uint32_t>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the signal handler may use lock-free atomics only");

// One watched mapping. Its range changes under a sequence number that is odd
// while it changes, so that the handler never pairs the start of one range
// with the end of another.
struct Slot {
  std::atomic<bool> taken{false};  // from WatchMapping until UnwatchMapping
  std::atomic<uint32_t> sequence{0};
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<bool> faulted{false};
};

Slot g_slots[kWatchedMappings];
uintptr_t g_page_mask = 0;  // set before the handler is installed
struct sigaction g_previous;

void SetRange(Slot& slot, uintptr_t begin, uintptr_t end) {
  slot.sequence.fetch_add(1);
  slot.begin.store(begin);
  slot.end.store(end);
  slot.sequence.fetch_add(1);
}

// The slot's range as it stood at one moment. While another thread changes
// it, this waits: that thread never stops for this one.
void RangeOf(const Slot& slot, uintptr_t& begin, uintptr_t& end) {
  for (;;) {
    const uint32_t before = slot.sequence.load();
    if (before % 2 != 0) continue;
    begin = slot.begin.load();
    end = slot.end.load();
    if (slot.sequence.load() == before) return;
  }
}

// A fault of no watched mapping: to the handler installed before, or as the
// system would have it. A fault's read is done again when the handler returns,
// and then meets the default action; a signal sent by a program is raised again.
void PassOn(int signal, siginfo_t* info, void* context) {
  if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
    g_previous.sa_sigaction(signal, info, context);
    return;
  }
  if ((g_previous.sa_flags & SA_SIGINFO) == 0 && g_previous.sa_handler != SIG_DFL &&
      g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(signal);
    return;
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(SIGBUS, &fallback, nullptr);
  if (info->si_code <= 0) raise(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (Slot& slot : g_slots) {
    uintptr_t begin = 0, end = 0;
    RangeOf(slot, begin, end);
    if (address < begin || address >= end) continue;
    const uintptr_t page = address & g_page_mask;
    if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) {
      break;
    }
    slot.faulted.store(true);
    return;
  }
  PassOn(signal, info, context);
}

void InstallHandler() {
  g_page_mask = ~(static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &g_previous);
}

}  // namespace

int WatchMapping(const void* begin, size_t length) {
  static std::once_flag installed;
  std::call_once(installed, InstallHandler);
  const uintptr_t start = reinterpret_cast<uintptr_t>(begin);
  for (int i = 0; i < kWatchedMappings; ++i) {
    Slot& slot = g_slots[i];
    bool free = false;
    if (!slot.taken.compare_exchange_strong(free, true)) continue;
    slot.faulted.store(false);
    SetRange(slot, start, start + length);
    return i;
  }
  return kNotWatched;
}

void UnwatchMapping(int slot) {
  if (slot == kNotWatched) return;
  SetRange(g_slots[slot], 0, 0);
  g_slots[slot].taken.store(false);
}

bool MappingFaulted(int slot) {
  return slot != kNotWatched && g_slots[slot].faulted.load();
}

}  // namespace zelfin
