// sprite_search.cpp - the pieces of the sprite benchmark that need no display:
// the benchmark picture and its BMP copy for testsprite2, reading
// testsprite2's frame-rate report, and the coarse search for the largest
// sprite count that holds the frame rate.
#include "bench.h"

#include <cmath>
#include <cstdlib>

// The benchmark sprite: a round shaded body with a ring and an eye on black,
// the mask colour of both programs (testsprite2 keys on the top-left pixel).
Pixmap BenchSpritePicture() {
    const int side = 32;
    Pixmap p;
    p.width = p.height = side;
    p.pixels.assign(side * side, 0xFF000000u);
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            double dx = x + 0.5 - 16, dy = y + 0.5 - 16, d = std::sqrt(dx * dx + dy * dy);
            if (d > 15) continue;
            uint32_t r = 40 + uint32_t(180 * (1 - d / 15)), g = 200 - uint32_t(6 * d),
                     b = 90 + uint32_t(8 * d);
            if (d > 12.5) r = 250, g = 220, b = 40; // the ring
            double ex = x + 0.5 - 20, ey = y + 0.5 - 12;
            if (ex * ex + ey * ey < 12) r = g = b = 255;     // the eye
            if (ex * ex + ey * ey < 3) r = 1, g = 1, b = 30; // its pupil (not the mask black)
            p.pixels[size_t(y * side + x)] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    return p;
}

// The picture as an uncompressed 24-bit BMP file (rows bottom to top, each
// padded to a multiple of 4 bytes); empty for an empty picture.
std::vector<uint8_t> EncodeBmp24(const Pixmap& p) {
    if (p.width <= 0 || p.height <= 0 || p.pixels.size() != size_t(p.width) * size_t(p.height))
        return {};
    const uint32_t row = (uint32_t(p.width) * 3 + 3) / 4 * 4, data = row * uint32_t(p.height);
    std::vector<uint8_t> out(54 + data, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) out[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, 54 + data);
    put32(10, 54); // where the pixels start
    put32(14, 40); // size of the info header
    put32(18, uint32_t(p.width));
    put32(22, uint32_t(p.height));
    out[26] = 1;  // planes
    out[28] = 24; // bits per pixel
    put32(34, data);
    for (int y = 0; y < p.height; y++) {
        for (int x = 0; x < p.width; x++) {
            uint32_t c = p.pixels[size_t(y) * size_t(p.width) + size_t(x)];
            size_t at = 54 + size_t(p.height - 1 - y) * row + size_t(x) * 3;
            out[at] = uint8_t(c), out[at + 1] = uint8_t(c >> 8), out[at + 2] = uint8_t(c >> 16);
        }
    }
    return out;
}

// The figure of testsprite2's first "N frames per second" report, or -1.
double PeerFramesPerSecond(const std::string& output) {
    const std::string words = " frames per second";
    size_t at = output.find(words);
    if (at == std::string::npos || at == 0) return -1;
    size_t start = output.find_last_of(" \t\n", at - 1);
    start = start == std::string::npos ? 0 : start + 1;
    char* end = nullptr;
    double fps = std::strtod(output.c_str() + start, &end);
    return end == output.c_str() + at && fps >= 0 ? fps : -1;
}

// One step of the search: doubling until a count fails, then halving the gap
// between the largest count that held and the smallest that did not.
void AdvanceSearch(SpriteSearch& s, bool held) {
    if (held)
        s.lo = s.next;
    else
        s.hi = s.next;
    s.next = s.hi < 0 ? s.next * 2 : (s.lo + s.hi) / 2;
    if (s.next < 1) s.next = 1;
}

// True when the gap is within 5 % (or one sprite): more steps would only
// measure noise.
bool SearchSettled(const SpriteSearch& s) {
    return s.hi >= 0 && s.hi - s.lo <= s.lo / 20 + 1;
}
