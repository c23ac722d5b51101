// pacing_bench.cpp - frame times of the title screen on the real clock.
#include "bench.h"

// Title screen frame pacing (being written).
void BenchPacing(BenchTable& table) {
    AddBenchNote(table, "title frame pacing", "not measured yet");
}
