// startup_bench.cpp - how long start-up takes to reach the title screen, and
// the peak memory of a short session.
#include "bench.h"

// Start to title screen.
void BenchStartup(BenchTable& table) {
    AddBenchNote(table, "start to title", "not measured");
}

// Peak memory of a short scripted session.
void BenchMemory(BenchTable& table) {
    AddBenchNote(table, "peak memory", "not measured");
}
