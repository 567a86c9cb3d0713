#pragma once
// The guard of memory-mapped files against pages that cannot be read.
//
// Reading a page of a mapped file that the file no longer has (another program
// made it shorter) or that its disk cannot give (an input/output error) raises
// SIGBUS, which ends the program by default. A mapping watched here reads on
// instead: on such a fault, the rest of the mapping, from the faulting page to
// its end, is replaced by pages of zeros, and the guard notes that it was.
//
// The contract:
//  - The first WatchMapping installs a SIGBUS handler for the whole process,
//    for as long as it runs. A fault outside every watched mapping goes to the
//    handler that was installed before it (by default: the program ends, as
//    it would have without the guard).
//  - Zeros are only ever mapped inside the watched mapping that faulted, never
//    over other memory, whatever other threads watch and unwatch meanwhile.
//  - WatchMapping and UnwatchMapping may be called from any thread, at once.
//    A mapping must stay mapped, and be read no more, until UnwatchMapping
//    for it has returned.
//  - At most kWatchedMappings mappings are watched at once; beyond that,
//    WatchMapping returns kNotWatched and the mapping is read unwatched.
//  - The handler uses only lock-free atomics, mmap and sigaction.
#include <cstddef>

namespace zelfin {

inline constexpr int kWatchedMappings = 64;
inline constexpr int kNotWatched = -1;

// Watches the mapping [begin, begin + length); returns its slot (or kNotWatched).
int WatchMapping(const void* begin, size_t length);

// Ends the watch of slot (kNotWatched: nothing to do).
void UnwatchMapping(int slot);

// Whether a page of the mapping in slot could not be read since it was
// watched, so that zeros stand where the file's bytes were to be.
bool MappingFaulted(int slot);

}  // namespace zelfin
