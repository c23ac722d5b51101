// round_bench.cpp - the cost of one frame of a busy round.
#include "bench.h"

// Not measured yet: the round's frame benchmark is added with the round itself.
void BenchRoundFrame(BenchTable& table) {
    AddBenchNote(table, "round frame", "not measured");
}
