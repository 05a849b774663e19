// Memory that no routine may touch, marked for AddressSanitizer: the output
// buffer past what a routine reserved, and an input buffer past what was read
// into it. The rooms and reaches are counted by hand, and a store or a load a
// byte past them would otherwise land in the same buffer and go unnoticed.
// In a build without AddressSanitizer both calls are empty and cost nothing.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define ZELK_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELK_POISON 1
#endif
#endif

#ifdef ZELK_POISON
#include <sanitizer/asan_interface.h>
#endif

namespace zelk::detail {

// Any access to the `size` bytes at p fails from now on.
inline void poison(const void* p, std::size_t size) {
#ifdef ZELK_POISON
    ASAN_POISON_MEMORY_REGION(p, size);
#else
    (void)p;
    (void)size;
#endif
}

// The `size` bytes at p may be used again.
inline void unpoison(const void* p, std::size_t size) {
#ifdef ZELK_POISON
    ASAN_UNPOISON_MEMORY_REGION(p, size);
#else
    (void)p;
    (void)size;
#endif
}

}  // namespace zelk::detail
