#pragma once
// The largest single allocation made while a reader runs, for harnesses that
// check a reader never allocates far beyond what its input can justify.
// Sanitizer builds report every allocation's size; plain replay builds rely
// on the reader's own bounds (Largest stays 0).
#include <cstddef>

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*))
    __attribute__((weak));

namespace qvfuzz {

inline bool Tracking = false;
inline std::size_t Largest = 0;

inline void OnMalloc(const volatile void*, std::size_t n) {
  if (Tracking && n > Largest) Largest = n;
}
inline void OnFree(const volatile void*) {}

inline void InstallAllocationWatch() {
  if (__sanitizer_install_malloc_and_free_hooks)
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}

}  // namespace qvfuzz
