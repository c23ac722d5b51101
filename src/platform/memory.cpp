// memory.cpp - memory figures for the statistics overlay.
//
// The program has no garbage collector; a "collection pass" hands the
// allocator's free pages back to the system, and the figure in use is what
// malloc has handed out and not yet been given back.
#include "platform/internal.h"

#include <malloc.h>

// Under AddressSanitizer its own allocator stands in for malloc, and malloc's
// figures stay at zero; the sanitizer keeps the count instead.
#if defined(__SANITIZE_ADDRESS__)
#define ZP_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZP_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef ZP_ADDRESS_SANITIZER
#include <cstddef>
// From the sanitizer's run-time (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

struct MemoryState {
    int passes = 0;
};

MemoryState memory;

} // namespace

// Trims the heap and returns how many passes have run so far.
int CollectMemory() {
    malloc_trim(0);
    return ++memory.passes;
}

// Bytes currently allocated through malloc/new.
int64_t MemoryInUse() {
#ifdef ZP_ADDRESS_SANITIZER
    return int64_t(__sanitizer_get_current_allocated_bytes());
#else
    struct mallinfo2 info = mallinfo2();
    return int64_t(info.uordblks) + int64_t(info.hblkhd);
#endif
}
