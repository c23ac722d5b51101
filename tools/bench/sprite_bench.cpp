// sprite_bench.cpp - sprites per frame at 60 fps through the toolkit's counted
// DrawSprite, against SDL's own testsprite2 on the same private X display.
#include "bench.h"

// Sprites per frame against testsprite2 (being written).
void BenchSprites(BenchTable& table) {
    AddBenchNote(table, "sprites at 60 fps", "not measured yet");
}
