// random.cpp - the program's one random generator.
//
// A 64-bit-state PCG (XSH-RR output) of our own, so that the same seed gives
// the same numbers on every machine and library; the standard distributions
// are not used because their results differ between implementations.
#include "platform/internal.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace {

struct RandomState {
    uint64_t state = 0x853c49e6748fea9bULL;
};

RandomState rng;

// Mixes a seed into a well-spread 64-bit state (splitmix64 finaliser).
uint64_t mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Steps the generator and returns 32 fresh bits.
uint32_t next32() {
    uint64_t old = rng.state;
    rng.state = old * 6364136223846793005ULL + 1442695040888963407ULL;
    uint32_t xorshifted = uint32_t(((old >> 18u) ^ old) >> 27u);
    uint32_t rot = uint32_t(old >> 59u);
    return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
}

// 64 fresh bits from two steps.
uint64_t next64() {
    uint64_t high = next32();
    return (high << 32) | next32();
}

} // namespace

// Restarts the sequence from a seed; equal seeds give equal sequences.
void SeedRandom(int64_t seed) {
    rng.state = mix(uint64_t(seed));
    next32();
}

// A whole number between lo and hi, both included; swapped bounds are allowed.
int RandomInt(int lo, int hi) {
    if (lo > hi) std::swap(lo, hi);
    uint64_t range = uint64_t(int64_t(hi) - int64_t(lo)) + 1; // at most 2^32
    // Rejection keeps every value equally likely.
    uint64_t limit = UINT64_MAX - (UINT64_MAX % range);
    uint64_t r;
    do r = next64();
    while (r >= limit);
    return int(int64_t(lo) + int64_t(r % range));
}

// A real in [lo, hi): 24 random bits scaled, never hi itself.
float RandomReal(float lo, float hi) {
    if (!(lo < hi)) return lo;
    float unit = float(next32() >> 8) * (1.0f / 16777216.0f);
    float value = lo + (hi - lo) * unit;
    if (value >= hi) value = std::nextafter(hi, lo); // rounding must not reach hi
    return value;
}

// The whole state of the generator.
uint64_t RandomStateNow() {
    return rng.state;
}

// Puts the generator back to a state taken with RandomStateNow.
void SetRandomState(uint64_t state) {
    rng.state = state;
}
