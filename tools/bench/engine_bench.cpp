// engine_bench.cpp - the engine test's own verdict on each engine under Xvfb.
#include "bench.h"

// The engine test on each engine (being written).
void BenchEngineTest(BenchTable& table) {
    AddBenchNote(table, "engine test", "not measured yet");
}
