// memory.cpp - memory figures for the statistics overlay.
//
// The program has no garbage collector; a "collection pass" hands the
// allocator's free pages back to the system, and the figure in use is what
// malloc has handed out and not yet been given back.
#include "platform/internal.h"

#include <malloc.h>

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
    struct mallinfo2 info = mallinfo2();
    return int64_t(info.uordblks) + int64_t(info.hblkhd);
}
