#pragma once
// Large tables that are read all over: asking the kernel to back them with
// huge pages spares most of the TLB misses of a random access (the machine's
// setting "madvise" grants them only where asked).
#include <cstddef>
#include <vector>

namespace zelfin {

// Advises huge pages for the whole 2 MiB pages within [p, p + bytes).
void AdviseHugePages(const void* p, size_t bytes);

// Reserves room for n elements and advises huge pages for it, before the
// elements are written and their pages come into being.
template <class T>
void ReserveHuge(std::vector<T>& v, size_t n) {
  v.reserve(n);
  AdviseHugePages(v.data(), v.capacity() * sizeof(T));
}

}  // namespace zelfin
