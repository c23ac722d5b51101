// web_memory.cpp - memory figures for the statistics overlay in the browser.
//
// The WebAssembly heap only grows, so a collection pass gives nothing back;
// the figure in use is what malloc has handed out.
#include "platform/internal.h"

#include <malloc.h>

namespace {

struct MemoryState {
    int passes = 0;
};

MemoryState memory;

} // namespace

// Counts the passes; the heap has nothing to trim.
int CollectMemory() {
    return ++memory.passes;
}

// Bytes currently allocated through malloc/new.
int64_t MemoryInUse() {
    struct mallinfo info = mallinfo();
    return int64_t(unsigned(info.uordblks));
}
