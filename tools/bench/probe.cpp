// probe.cpp - the measurements that run inside a child copy of zp-bench.
#include "bench.h"

// Not a probe's command line yet.
int RunBenchProbe(int, char**) {
    return -1;
}
