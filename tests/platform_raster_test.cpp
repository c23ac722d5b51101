// platform_raster_test.cpp - the rasteriser of the "software" engine: every
// kind of quad against a small per-pixel reference written here in plain
// floating point, the AVX2 and portable loops and any number of threads
// against each other, bad coordinates, and the same scenes through SDL's own
// software renderer for the draws where that renderer is exact.
#include "platform/platform.h"
#include "platform/raster.h"
#include "platform/video_internal.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <unistd.h>

namespace {

// A texture for the tests: straight ARGB with every kind of alpha.
struct TestTexture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    RasterTexture view(bool filtered, bool masked) const {
        RasterTexture t;
        t.pixels = pixels.data();
        t.width = width;
        t.height = height;
        t.filtered = filtered;
        t.masked = masked;
        return t;
    }
};

TestTexture randomTexture(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    TestTexture t;
    t.width = w;
    t.height = h;
    for (int i = 0; i < w * h; i++) t.pixels.push_back(uint32_t(rng()));
    return t;
}

// One quad as the tests describe it: a rectangle of size w x h with its
// top-left at the pivot, scaled and turned about the pivot.
struct Shape {
    float x = 0, y = 0, w = 16, h = 16;
    float degrees = 0, scaleX = 1, scaleY = 1;
    float shear = 0; // y moves this much per unit of x before turning
    float u0 = 0, v0 = 0, u1 = 16, v1 = 16;
    void corners(float out[8]) const {
        double r = double(degrees) * 3.14159265358979323846 / 180.0;
        double c = std::cos(r), s = std::sin(r);
        auto put = [&](int i, double lx, double ly) {
            ly += shear * lx;
            lx *= scaleX, ly *= scaleY;
            out[2 * i] = float(x + c * lx - s * ly);
            out[2 * i + 1] = float(y + s * lx + c * ly);
        };
        put(0, 0, 0);
        put(1, w, 0);
        put(2, 0, h);
        out[6] = out[7] = 0;
    }
};

struct Draw {
    Shape shape;
    const TestTexture* texture = nullptr; // null: a solid or one-colour fill
    bool filtered = false, masked = false;
    uint32_t tint = 0xFFFFFFFFu;
    RasterBlend blend = RasterBlend::Alpha;
};

// --- the reference: one pixel at a time, in doubles ---

double channel(uint32_t p, int shift) {
    return double(p >> shift & 255);
}

uint32_t texelAt(const TestTexture& t, int x, int y, bool masked) {
    x = std::clamp(x, 0, t.width - 1), y = std::clamp(y, 0, t.height - 1);
    uint32_t p = t.pixels[size_t(y * t.width + x)];
    if (masked) p = (p >> 24) >= 128 ? (p | 0xFF000000u) : 0u;
    return p;
}

// Draws one quad into pixels the slow, obvious way; pixels whose centre lies
// within a hair of an edge or (nearest) of a texel boundary are marked as
// undecided in the mask, since either answer is right there.
void referenceDraw(std::vector<uint32_t>& pixels, std::vector<uint8_t>& undecided, int width,
                   int height, const Draw& d) {
    float c[8];
    d.shape.corners(c);
    double ox = c[0], oy = c[1], ax = c[2] - c[0], ay = c[3] - c[1], bx = c[4] - c[0],
           by = c[5] - c[1];
    double det = ax * by - ay * bx;
    if (std::fabs(det) < 1e-9) return;
    double lengthA = std::hypot(ax, ay), lengthB = std::hypot(bx, by);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            double px = x + 0.5 - ox, py = y + 0.5 - oy;
            double s = (by * px - bx * py) / det, t = (-ay * px + ax * py) / det;
            double edge = std::min({std::fabs(s) * lengthA, std::fabs(1 - s) * lengthA,
                                    std::fabs(t) * lengthB, std::fabs(1 - t) * lengthB});
            bool inside = s >= 0 && s < 1 && t >= 0 && t < 1;
            size_t at = size_t(y * width + x);
            if (edge < 0.01) undecided[at] = 1;
            if (!inside) continue;
            double sr = 255, sg = 255, sb = 255, sa = 255;
            if (d.texture) {
                const TestTexture& tex = *d.texture;
                double u = d.shape.u0 + s * (d.shape.u1 - d.shape.u0);
                double v = d.shape.v0 + t * (d.shape.v1 - d.shape.v0);
                if (!d.filtered) {
                    double fu = u - std::floor(u), fv = v - std::floor(v);
                    if (std::min(fu, 1 - fu) < 0.01 || std::min(fv, 1 - fv) < 0.01)
                        undecided[at] = 1;
                    uint32_t p = texelAt(tex, int(std::floor(u)), int(std::floor(v)), d.masked);
                    sr = channel(p, 16), sg = channel(p, 8), sb = channel(p, 0);
                    sa = channel(p, 24);
                } else {
                    u -= 0.5, v -= 0.5;
                    int x0 = int(std::floor(u)), y0 = int(std::floor(v));
                    double fx = u - x0, fy = v - y0;
                    uint32_t p00 = texelAt(tex, x0, y0, d.masked);
                    uint32_t p10 = texelAt(tex, x0 + 1, y0, d.masked);
                    uint32_t p01 = texelAt(tex, x0, y0 + 1, d.masked);
                    uint32_t p11 = texelAt(tex, x0 + 1, y0 + 1, d.masked);
                    auto mix = [&](int shift) {
                        return (channel(p00, shift) * (1 - fx) + channel(p10, shift) * fx) *
                                   (1 - fy) +
                               (channel(p01, shift) * (1 - fx) + channel(p11, shift) * fx) * fy;
                    };
                    sr = mix(16), sg = mix(8), sb = mix(0), sa = mix(24);
                }
            }
            sr *= channel(d.tint, 16) / 255, sg *= channel(d.tint, 8) / 255;
            sb *= channel(d.tint, 0) / 255, sa *= channel(d.tint, 24) / 255;
            uint32_t dst = pixels[at];
            double out[3], src[3] = {sr, sg, sb};
            for (int k = 0; k < 3; k++) {
                double dc = channel(dst, 16 - 8 * k), a = sa / 255;
                switch (d.texture || d.blend != RasterBlend::Solid ? d.blend : RasterBlend::Solid) {
                case RasterBlend::Solid:
                    out[k] = src[k];
                    break;
                case RasterBlend::Alpha:
                    out[k] = src[k] * a + dc * (1 - a);
                    break;
                case RasterBlend::Add:
                    out[k] = dc + src[k] * a;
                    break;
                case RasterBlend::Multiply:
                    out[k] = src[k] * dc / 255 + dc * (1 - a);
                    break;
                }
                out[k] = std::clamp(std::round(out[k]), 0.0, 255.0);
            }
            pixels[at] =
                0xFF000000u | uint32_t(out[0]) << 16 | uint32_t(out[1]) << 8 | uint32_t(out[2]);
        }
}

// A canvas filled with a fixed busy background, so blends have something to meet.
std::vector<uint32_t> background(int width, int height) {
    std::vector<uint32_t> pixels(size_t(width * height));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            pixels[size_t(y * width + x)] = 0xFF000000u | uint32_t(x * 7 % 256) << 16 |
                                            uint32_t(y * 5 % 256) << 8 |
                                            uint32_t((x + y) * 3 % 256);
    return pixels;
}

// Adds a list of draws to a canvas.
void addDraws(RasterCanvas& canvas, const std::vector<Draw>& draws) {
    for (const Draw& d : draws) {
        float c[8];
        d.shape.corners(c);
        if (d.texture) {
            RasterTexture t = d.texture->view(d.filtered, d.masked);
            RasterAdd(canvas, c, &t, d.shape.u0, d.shape.v0, d.shape.u1, d.shape.v1, d.tint,
                      d.blend);
        } else {
            RasterAdd(canvas, c, nullptr, 0, 0, 1, 1, d.tint, d.blend);
        }
    }
}

// Draws a list with the rasteriser on a canvas of the given size.
std::vector<uint32_t> rasterise(const std::vector<Draw>& draws, int width, int height,
                                int threads = 1, bool simd = true) {
    RasterCanvas canvas;
    EXPECT_TRUE(RasterOpen(canvas, width, height));
    canvas.pixels = background(width, height);
    canvas.threads = threads;
    canvas.simd = simd;
    addDraws(canvas, draws);
    RasterFlush(canvas);
    return canvas.pixels;
}

// Compares the rasteriser with the reference, one draw at a time on top of
// the previous ones; returns the largest channel difference on decided pixels.
int worstDifference(const std::vector<Draw>& draws, int width, int height, int* compared) {
    std::vector<uint32_t> expected = background(width, height);
    std::vector<uint8_t> undecided(size_t(width * height), 0);
    for (const Draw& d : draws) referenceDraw(expected, undecided, width, height, d);
    std::vector<uint32_t> got = rasterise(draws, width, height);
    int worst = 0, count = 0;
    for (size_t i = 0; i < got.size(); i++) {
        if (undecided[i]) continue;
        count++;
        for (int shift = 0; shift < 24; shift += 8)
            worst = std::max(
                worst, std::abs(int(got[i] >> shift & 255) - int(expected[i] >> shift & 255)));
    }
    if (compared) *compared = count;
    return worst;
}

// Every channel of the rasteriser lies within this much of the exact answer.
constexpr int Tolerance = 2;

const TestTexture& sprite() {
    static const TestTexture t = randomTexture(16, 16, 7);
    return t;
}
const TestTexture& oddSprite() {
    static const TestTexture t = randomTexture(13, 11, 9);
    return t;
}

Draw turned(float x, float y, float degrees, float scaleX, float scaleY, bool filtered) {
    Draw d;
    d.shape.x = x, d.shape.y = y, d.shape.degrees = degrees;
    d.shape.scaleX = scaleX, d.shape.scaleY = scaleY;
    d.texture = &sprite();
    d.filtered = filtered;
    return d;
}

TEST(RasterPixels, EachBlendKindWithTintsMatchesTheReference) {
    const RasterBlend blends[3] = {RasterBlend::Alpha, RasterBlend::Add, RasterBlend::Multiply};
    const uint32_t tints[3] = {0xFFFFFFFFu, 0x80FF4020u, 0x3320C0FFu};
    for (bool filtered : {false, true})
        for (RasterBlend blend : blends)
            for (uint32_t tint : tints) {
                Draw d = turned(30, 8, 23, 1.6f, 1.6f, filtered);
                d.blend = blend, d.tint = tint;
                int compared = 0;
                EXPECT_LE(worstDifference({d}, 64, 56, &compared), Tolerance)
                    << "blend " << int(blend) << " tint " << std::hex << tint << " filtered "
                    << filtered;
                EXPECT_GT(compared, 300);
            }
}

TEST(RasterPixels, MaskedSolidAndOneColourFillsMatchTheReference) {
    Draw masked = turned(20, 5, 41, 2, 2, false);
    masked.masked = true, masked.tint = 0xFF80C0FFu;
    Draw maskedSmooth = turned(40, 30, -12, 1.3f, 1.3f, true);
    maskedSmooth.masked = true;
    Draw solid;
    solid.shape = {3, 40, 30, 9, 33, 1, 1};
    solid.tint = 0xFF123456u, solid.blend = RasterBlend::Solid;
    Draw glass = solid;
    glass.shape = {50, 2, 14, 50, -8, 1, 1};
    glass.tint = 0x60FFFF00u, glass.blend = RasterBlend::Alpha;
    Draw glow = glass;
    glow.shape.x = 8, glow.tint = 0x90FF0000u, glow.blend = RasterBlend::Add;
    for (const Draw& d : {masked, maskedSmooth, solid, glass, glow})
        EXPECT_LE(worstDifference({d}, 80, 70, nullptr), Tolerance);
    int compared = 0;
    EXPECT_LE(worstDifference({masked, maskedSmooth, solid, glass, glow}, 80, 70, &compared),
              Tolerance);
    EXPECT_GT(compared, 4000);
}

TEST(RasterPixels, OddAnglesScalesAndMirrorsMatchTheReference) {
    const float angles[] = {0, 17, 90, 133.3f, 271.9f};
    const float scales[][2] = {{1, 1}, {3.3f, 3.3f}, {0.45f, 0.6f}, {-1.7f, 1.7f}, {2, -1}};
    for (bool filtered : {false, true})
        for (float angle : angles)
            for (const auto& scale : scales) {
                Draw d = turned(48.3f, 41.7f, angle, scale[0], scale[1], filtered);
                d.tint = 0xC0FFE0A0u;
                d.texture = &oddSprite();
                d.shape.w = 13, d.shape.h = 11, d.shape.u1 = 13, d.shape.v1 = 11;
                int compared = 0;
                EXPECT_LE(worstDifference({d}, 96, 90, &compared), Tolerance)
                    << "angle " << angle << " scale " << scale[0] << "," << scale[1] << " filtered "
                    << filtered;
            }
}

TEST(RasterPixels, CellsOfASheetSampleOnlyTheirOwnTexelsWhenNearest) {
    // The right half of a 32 x 16 sheet, drawn turned: no texel of the left half may show.
    TestTexture sheet;
    sheet.width = 32, sheet.height = 16;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 32; x++) sheet.pixels.push_back(x < 16 ? 0xFFFF0000u : 0xFF00FF00u);
    Draw d = turned(30, 4, 31, 2.2f, 2.2f, false);
    d.texture = &sheet;
    d.shape.u0 = 16, d.shape.u1 = 32;
    RasterCanvas canvas;
    ASSERT_TRUE(RasterOpen(canvas, 72, 72));
    float c[8];
    d.shape.corners(c);
    RasterTexture t = sheet.view(false, false);
    ASSERT_TRUE(RasterAdd(canvas, c, &t, 16, 0, 32, 16, 0xFFFFFFFFu, RasterBlend::Alpha));
    RasterFlush(canvas);
    int green = 0;
    for (uint32_t p : canvas.pixels) {
        EXPECT_EQ(p & 0x00FF0000u, 0u);
        green += p == 0xFF00FF00u;
    }
    // 16 x 16 texels at 2.2 x cover about 1239 pixels.
    EXPECT_NEAR(green, 1239, 40);
}

TEST(RasterPixels, QuadsAcrossTheEdgesAreClippedToTheCanvasAndTheClipRectangle) {
    std::vector<Draw> draws;
    for (float x : {-20.0f, 50.0f})
        for (float y : {-15.0f, 40.0f}) {
            Draw d = turned(x, y, 37, 2.5f, 2.5f, (int(x) + int(y)) % 2 != 0);
            d.tint = 0xD0FFFFFFu;
            draws.push_back(d);
        }
    int compared = 0;
    EXPECT_LE(worstDifference(draws, 64, 48, &compared), Tolerance);
    EXPECT_GT(compared, 64 * 48 * 9 / 10);

    // With a clip rectangle nothing lands outside it.
    RasterCanvas canvas;
    ASSERT_TRUE(RasterOpen(canvas, 40, 30));
    RasterSetView(canvas, 1, 0, 0, 5, 6, 20, 10);
    const float corners[8] = {-100, -100, 200, -100, -100, 200};
    ASSERT_TRUE(RasterAdd(canvas, corners, nullptr, 0, 0, 1, 1, 0xFFFFFFFFu, RasterBlend::Solid));
    RasterFlush(canvas);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++)
            EXPECT_EQ(canvas.pixels[size_t(y * 40 + x)],
                      x >= 5 && x < 25 && y >= 6 && y < 16 ? 0xFFFFFFFFu : 0xFF000000u)
                << x << "," << y;
}

TEST(RasterPixels, TheLogicalMappingScalesAndShiftsEveryQuad) {
    // Logical 10 x 10 at 2.5 x, shifted by 7 across: a logical rectangle at
    // 2, 2 of 4 x 2 covers physical 12..22 by 5..10.
    RasterCanvas canvas;
    ASSERT_TRUE(RasterOpen(canvas, 40, 25));
    RasterSetView(canvas, 2.5f, 7, 0, 7, 0, 25, 25);
    const float corners[8] = {2, 2, 6, 2, 2, 4};
    ASSERT_TRUE(RasterAdd(canvas, corners, nullptr, 0, 0, 1, 1, 0xFF00FF00u, RasterBlend::Solid));
    RasterFlush(canvas);
    for (int y = 0; y < 25; y++)
        for (int x = 0; x < 40; x++)
            EXPECT_EQ(canvas.pixels[size_t(y * 40 + x)],
                      x >= 12 && x < 22 && y >= 5 && y < 10 ? 0xFF00FF00u : 0xFF000000u)
                << x << "," << y;
}

// A busy random scene of every kind of quad, many of them across the edges.
std::vector<Draw> randomScene(unsigned seed, int count, int width, int height) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<Draw> draws;
    const RasterBlend blends[4] = {RasterBlend::Solid, RasterBlend::Alpha, RasterBlend::Add,
                                   RasterBlend::Multiply};
    for (int i = 0; i < count; i++) {
        Draw d;
        d.shape.x = unit(rng) * float(width + 60) - 30;
        d.shape.y = unit(rng) * float(height + 60) - 30;
        d.shape.degrees = unit(rng) * 360;
        d.shape.scaleX = 0.3f + unit(rng) * 4, d.shape.scaleY = d.shape.scaleX;
        if (rng() % 5 == 0) d.shape.scaleX = -d.shape.scaleX;
        if (rng() % 4 == 0)
            d.shape.degrees = 0, d.shape.scaleX = d.shape.scaleY = 1;
        else if (rng() % 3 == 0)
            d.shape.degrees = 0; // unturned, enlarged or shrunk
        d.tint = rng() % 4 == 0 ? 0xFFFFFFFFu : uint32_t(rng());
        d.blend = blends[rng() % 4];
        if (rng() % 4 != 0) {
            d.texture = rng() % 2 ? &sprite() : &oddSprite();
            d.shape.w = d.shape.u1 = float(d.texture->width);
            d.shape.h = d.shape.v1 = float(d.texture->height);
            d.filtered = rng() % 2 != 0;
            d.masked = rng() % 3 == 0;
            if (d.blend == RasterBlend::Solid) d.blend = RasterBlend::Alpha;
        } else {
            d.shape.w = 5 + unit(rng) * 200, d.shape.h = 1 + unit(rng) * 12;
        }
        draws.push_back(d);
    }
    return draws;
}

TEST(RasterPaths, AvxAndPortableLoopsGiveTheSamePixels) {
    if (!RasterHasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
    for (unsigned seed : {1u, 2u, 3u}) {
        std::vector<Draw> scene = randomScene(seed, 300, 173, 131);
        EXPECT_EQ(rasterise(scene, 173, 131, 1, true), rasterise(scene, 173, 131, 1, false))
            << "seed " << seed;
    }
}

// Quads whose texels step by one along a row but also move down it (at half
// size turned 60 degrees, or sheared) are no straight copies.
TEST(RasterPaths, AvxAndPortableLoopsAgreeOnTexelStepsOfOneThatTurn) {
    if (!RasterHasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
    Draw sheared = turned(20, 10, 0, 1, 1, false);
    sheared.shape.shear = 0.5f;
    for (const Draw& d : {turned(30, 12, 60, 0.5f, 0.5f, false), sheared}) {
        EXPECT_EQ(rasterise({d}, 48, 40, 1, true), rasterise({d}, 48, 40, 1, false));
        EXPECT_NE(rasterise({d}, 48, 40), background(48, 40));
    }
}

// The unturned fast paths against the portable loop, where they are most
// likely to slip: cells at the sheet's right and bottom edges, a sheet too
// narrow for eight columns, mirrored and enlarged sprites, and spans ending
// at the canvas's right edge (masked stores) or just inside it (whole ones).
TEST(RasterPaths, UnturnedSpritesAtEdgesGiveThePortablePixels) {
    static const TestTexture sheet = randomTexture(48, 20, 3), narrow = randomTexture(6, 9, 4);
    struct Case {
        const TestTexture* texture;
        float u0, v0, size, x, scaleX, scaleY;
    } cases[] = {
        {&sheet, 32, 4, 16, 10, 2.4f, 2.4f}, {&sheet, 32, 4, 16, 10, -2.4f, 2.4f},
        {&sheet, 0, 0, 16, 3, 1.2f, 1.2f},   {&sheet, 40, 12, 8, 80, 3.7f, 1.5f},
        {&sheet, 30, 3, 18, 1, 1, 1},        {&sheet, 33, 0, 15, 100 - 15, 1, 1},
        {&sheet, 32, 4, 16, 100 - 13, 1, 1}, {&sheet, 20, 2, 16, 100 - 30, 1.9f, 1.9f},
        {&narrow, 0, 0, 6, 40, 4, 4},        {&narrow, 0, 0, 6, 95, 1, 1},
    };
    for (const Case& c : cases)
        for (bool filtered : {false, true}) {
            Draw d;
            d.texture = c.texture, d.filtered = filtered, d.masked = !filtered;
            d.shape.x = c.x, d.shape.y = 5, d.shape.w = d.shape.h = c.size;
            d.shape.scaleX = c.scaleX, d.shape.scaleY = c.scaleY;
            if (c.scaleX < 0) d.shape.x += c.size * -c.scaleX;
            d.shape.u0 = c.u0, d.shape.v0 = c.v0;
            d.shape.u1 = c.u0 + c.size, d.shape.v1 = c.v0 + c.size;
            for (uint32_t tint : {0xFFFFFFFFu, 0xC080FF40u}) {
                d.tint = tint;
                SCOPED_TRACE("x " + std::to_string(c.x) + " scale " + std::to_string(c.scaleX) +
                             (filtered ? " filtered" : " nearest") + " tint " +
                             std::to_string(tint));
                std::vector<uint32_t> fast = rasterise({d}, 100, 60, 1, true);
                EXPECT_EQ(fast, rasterise({d}, 100, 60, 1, false));
                EXPECT_NE(fast, background(100, 60));
            }
        }
}

// A canvas opened on memory it does not own (a window's surface) draws there,
// the same pixels as in its own, and leaves the memory as drawn when closed.
TEST(RasterPaths, ACanvasOnLentMemoryDrawsThere) {
    const std::vector<Draw> scene = randomScene(8, 500, 160, 120);
    std::vector<uint32_t> lent(160 * 120, 0x12345678u);
    RasterCanvas canvas;
    EXPECT_FALSE(RasterOpenOn(canvas, nullptr, 160, 120));
    ASSERT_TRUE(RasterOpenOn(canvas, lent.data(), 160, 120));
    EXPECT_TRUE(canvas.pixels.empty());
    EXPECT_EQ(RasterPicture(canvas), lent.data());
    std::copy_n(background(160, 120).begin(), lent.size(), lent.begin());
    canvas.threads = 2;
    addDraws(canvas, scene);
    RasterFlush(canvas);
    RasterClose(canvas);
    EXPECT_EQ(lent, rasterise(scene, 160, 120));
}

TEST(RasterPaths, OneTwoAndFourThreadsGiveTheSamePixels) {
    std::vector<Draw> scene = randomScene(11, 2000, 320, 240);
    std::vector<uint32_t> one = rasterise(scene, 320, 240, 1);
    EXPECT_EQ(rasterise(scene, 320, 240, 2), one);
    EXPECT_EQ(rasterise(scene, 320, 240, 4), one);
    EXPECT_NE(one, background(320, 240));
}

// A flush into a larger picture (a window surface) leaves the canvas's
// picture in its top-left corner and nothing else, whoever drew the bands.
TEST(RasterPaths, FlushingIntoATargetCopiesEveryBandOnce) {
    const std::vector<Draw> scene = randomScene(5, 2000, 320, 240);
    const int pitch = 330;
    for (int threads : {1, 2, 4}) {
        for (size_t count : {size_t(0), size_t(3), scene.size()}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " quads");
            RasterCanvas canvas;
            ASSERT_TRUE(RasterOpen(canvas, 320, 240));
            canvas.threads = threads;
            addDraws(canvas, {scene.begin(), scene.begin() + std::ptrdiff_t(count)});
            std::vector<uint32_t> target(size_t(pitch) * 250, 0x12345678u);
            RasterFlushTo(canvas, target.data(), pitch * 4, pitch, 250);
            EXPECT_EQ(RasterPending(canvas), 0);
            int wrong = 0;
            for (int y = 0; y < 250; y++)
                for (int x = 0; x < pitch; x++)
                    wrong +=
                        target[size_t(y * pitch + x)] !=
                        (x < 320 && y < 240 ? canvas.pixels[size_t(y * 320 + x)] : 0x12345678u);
            EXPECT_EQ(wrong, 0);
        }
    }
}

// A frame's last quads go to the workers when the caller is about to wait
// (its pacing), unless the job is too small to be worth the hand-over; the
// picture is the same either way.
TEST(RasterPaths, SubmittingHandsOverAllButSmallJobs) {
    const std::vector<Draw> scene = randomScene(6, 300, 320, 240);
    for (size_t count : {size_t(2), scene.size()}) {
        RasterCanvas canvas;
        ASSERT_TRUE(RasterOpen(canvas, 320, 240));
        canvas.pixels = background(320, 240);
        canvas.threads = 2;
        addDraws(canvas, {scene.begin(), scene.begin() + std::ptrdiff_t(count)});
        RasterSubmit(canvas);
        EXPECT_EQ(canvas.submitted, count == 2 ? 0 : RasterPending(canvas)) << count << " quads";
        RasterFlush(canvas);
        EXPECT_EQ(canvas.pixels,
                  rasterise({scene.begin(), scene.begin() + std::ptrdiff_t(count)}, 320, 240));
    }
}

TEST(RasterPaths, AFullBatchIsDrawnBeforeMoreQuadsAreTaken) {
    // More quads than one batch holds, each brightening the same pixel.
    // The queue's storage never grows: the workers read it while it fills.
    RasterCanvas canvas;
    ASSERT_TRUE(RasterOpen(canvas, 4, 4));
    const size_t capacity = canvas.quads.capacity();
    const float corners[8] = {1, 1, 2, 1, 1, 2};
    for (int i = 0; i < 20000; i++) {
        RasterAdd(canvas, corners, nullptr, 0, 0, 1, 1, 0xFF010101u, RasterBlend::Add);
        ASSERT_EQ(canvas.quads.capacity(), capacity) << "after quad " << i;
    }
    EXPECT_LT(RasterPending(canvas), 20000);
    RasterFlush(canvas);
    EXPECT_EQ(canvas.pixels[5], 0xFFFFFFFFu); // saturated, not wrapped
    EXPECT_EQ(canvas.pixels[0], 0xFF000000u);
}

TEST(RasterBadInput, CoordinatesThatCannotDrawLeaveThePictureAlone) {
    RasterCanvas canvas;
    ASSERT_TRUE(RasterOpen(canvas, 32, 32));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const TestTexture& tex = sprite();
    RasterTexture t = tex.view(true, false);
    const float bad[][8] = {{nan, 0, 10, 0, 0, 10},
                            {0, 0, inf, 0, 0, 10},
                            {0, 0, 10, 0, 0, -inf},
                            {0, 0, 0, 0, 0, 10},
                            {5, 5, 5, 5, 5, 5},
                            {1e9f, 1e9f, 1e9f + 64, 1e9f, 1e9f, 1e9f + 64},
                            {-500, 0, -400, 0, -500, 100},
                            {0, 0, 10, 10, 20, 20}};
    for (const auto& corners : bad) {
        EXPECT_FALSE(RasterAdd(canvas, corners, &t, 0, 0, 16, 16, 0xFFFFFFFFu, RasterBlend::Alpha));
        EXPECT_FALSE(
            RasterAdd(canvas, corners, nullptr, 0, 0, 1, 1, 0xFFFFFFFFu, RasterBlend::Solid));
    }
    const float fine[8] = {0, 0, 8, 0, 0, 8};
    EXPECT_FALSE(RasterAdd(canvas, fine, &t, nan, 0, 16, 16, 0xFFFFFFFFu, RasterBlend::Alpha));
    RasterFlush(canvas);
    for (uint32_t p : canvas.pixels) ASSERT_EQ(p, 0xFF000000u);

    // A picture with no pixels, and a canvas that was never opened.
    RasterTexture empty;
    EXPECT_FALSE(RasterAdd(canvas, fine, &empty, 0, 0, 1, 1, 0xFFFFFFFFu, RasterBlend::Alpha));
    RasterCanvas closed;
    EXPECT_FALSE(RasterAdd(closed, fine, nullptr, 0, 0, 1, 1, 0xFFFFFFFFu, RasterBlend::Solid));
    EXPECT_FALSE(RasterOpen(closed, 0, 10));
    EXPECT_FALSE(RasterOpen(closed, 10, -3));
    EXPECT_FALSE(RasterOpen(closed, 100000, 10));
}

TEST(RasterBadInput, HugeAndTurnedHugeQuadsCoverExactlyTheCanvas) {
    RasterCanvas canvas;
    ASSERT_TRUE(RasterOpen(canvas, 50, 40));
    RasterTexture t = sprite().view(false, false);
    const float huge[8] = {-3e7f, -3e7f, 3e7f, -2.9e7f, -2.9e7f, 3e7f};
    ASSERT_TRUE(RasterAdd(canvas, huge, &t, 0, 0, 16, 16, 0xFFFFFFFFu, RasterBlend::Alpha));
    RasterFlush(canvas);
    // A quad of 16 texels over sixty million pixels: one texel's colour everywhere.
    for (uint32_t p : canvas.pixels) EXPECT_EQ(p & 0xFF000000u, 0xFF000000u);
    const float flood[8] = {-1e6f, -1e6f, 1e6f, -1e6f, -1e6f, 1e6f};
    ASSERT_TRUE(RasterAdd(canvas, flood, nullptr, 0, 0, 1, 1, 0xFF336699u, RasterBlend::Solid));
    RasterFlush(canvas);
    for (uint32_t p : canvas.pixels) EXPECT_EQ(p, 0xFF336699u);
}

// --- the whole video back-end, against SDL's own software renderer ---

// Starts the real platform on the virtual clock with silent sound, headless
// or in a window on the current X display.
bool startRealPlatform(bool headless) {
    PlatformShutdown();
    PlatformConfig config;
    config.headless = headless;
    config.virtualClock = true;
    config.silentAudio = true;
    config.endThrows = true;
    config.seed = 1;
    return PlatformInit(config);
}

struct AgainstSdl : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(startRealPlatform(true)) << PlatformError(); }
    void TearDown() override { PlatformShutdown(); }

    // Opens the display on one renderer, draws the scene and grabs it.
    Pixmap drawWith(bool sdl, void (*scene)(int image)) {
        UseSdlSoftwareRenderer(sdl);
        EXPECT_TRUE(OpenDisplay(120, 90, 0, 60)) << PlatformError();
        EXPECT_EQ(videoState.raster, !sdl);
        int image = CreateImage(16, 16, 0);
        ImageRecord* record = FindImage(image);
        record->surface.pixels = sprite().pixels;
        ClearScreen();
        ResetVideoDrawState();
        scene(image);
        Pixmap out = GrabPixmap(0, 0, 120, 90);
        FreeImage(image);
        CloseDisplay();
        return out;
    }

    // Largest channel difference between the two renderers' pictures.
    int worst(void (*scene)(int image)) {
        Pixmap ours = drawWith(false, scene), theirs = drawWith(true, scene);
        int most = 0;
        for (size_t i = 0; i < ours.pixels.size(); i++)
            for (int shift = 0; shift < 24; shift += 8)
                most = std::max(most, std::abs(int(ours.pixels[i] >> shift & 255) -
                                               int(theirs.pixels[i] >> shift & 255)));
        return most;
    }
};

TEST_F(AgainstSdl, UnturnedCopiesInEveryBlendKindWithTints) {
    EXPECT_LE(worst([](int image) {
                  const int blends[4] = {BlendMask, BlendAlpha, BlendAdd, BlendMultiply};
                  for (int i = 0; i < 4; i++) {
                      SetBlend(blends[i]);
                      SetColor(255, 255, 255);
                      SetAlpha(1);
                      DrawImageFrame(image, float(5 + 26 * i), 5, 0);
                      SetColor(200, 90, 255);
                      SetAlpha(0.6f);
                      DrawImageFrame(image, float(5 + 26 * i), 30, 0);
                      // partly off the screen
                      DrawImageFrame(image, float(-7 + 126 * (i % 2)), float(60 + 20 * (i / 2)), 0);
                  }
              }),
              Tolerance);
}

TEST_F(AgainstSdl, RectanglesAndStraightLines) {
    EXPECT_LE(worst([](int) {
                  SetColor(30, 200, 90);
                  DrawRect(3, 4, 50, 20);
                  SetAlpha(0.5f);
                  SetColor(250, 10, 100);
                  DrawRect(20, 10, 60, 40);
                  SetBlend(BlendAdd);
                  DrawRect(70, 50, 80, 60);
                  SetBlend(BlendMultiply);
                  SetColor(128, 255, 64);
                  DrawRect(-10, 60, 50, 50);
                  SetBlend(BlendAlpha);
                  SetAlpha(1);
                  DrawLine(5, 80, 100, 80);
                  DrawLine(110, 5, 110, 70);
              }),
              Tolerance);
}

TEST_F(AgainstSdl, LetterboxedLogicalScreenLandsInTheMiddle) {
    UseSdlSoftwareRenderer(false);
    ASSERT_TRUE(OpenDisplay(200, 150, 0, 60));
    SetLogicalSize(100, 100); // 1.5 x, bars of 25 pixels left and right
    ClearScreen();
    SetColor(255, 0, 0);
    DrawRect(-50, -50, 400, 400); // clipped to the logical screen
    Pixmap p = GrabPixmap(0, 0, 200, 150);
    auto at = [&](int x, int y) { return p.pixels[size_t(y * 200 + x)]; };
    EXPECT_EQ(at(24, 75), 0xFF000000u);
    EXPECT_EQ(at(25, 75), 0xFFFF0000u);
    EXPECT_EQ(at(174, 0), 0xFFFF0000u);
    EXPECT_EQ(at(175, 149), 0xFF000000u);
    const uint32_t* frame = nullptr;
    int w = 0, h = 0;
    ASSERT_TRUE(FinishedFrame(frame, w, h));
    EXPECT_EQ(w, 200);
    EXPECT_EQ(frame[75 * 200 + 100], 0xFFFF0000u);
}

// --- a real window under a private X server ---

// A private X server for the window tests; display "" when none could start.
struct PrivateX {
    int pid = 0;
    std::string display;
    // Tests may run side by side, so each asks in its own range of numbers.
    PrivateX(int first, int last) {
        if (!ProgramInPath("Xvfb") || !ProgramInPath("xdotool")) return;
        int number = 0, count = last - first + 1;
        for (int k = 0; k < count && number == 0; ++k) {
            int n = first + (int(getpid()) + k) % count;
            if (!PathExists("/tmp/.X11-unix/X" + std::to_string(n)) &&
                !PathExists("/tmp/.X" + std::to_string(n) + "-lock"))
                number = n;
        }
        if (number == 0) return;
        std::string name = ":" + std::to_string(number);
        pid = StartProcess({"Xvfb", name, "-screen", "0", "800x600x24", "-nolisten", "tcp"});
        if (pid <= 0) return;
        for (int waited = 0;
             waited < 15000 && !PathExists("/tmp/.X11-unix/X" + std::to_string(number));
             waited += 50)
            usleep(50000);
        display = name;
        setenv("DISPLAY", display.c_str(), 1);
    }
    ~PrivateX() {
        PlatformShutdown();
        unsetenv("DISPLAY");
        if (pid > 0) StopProcess(pid);
    }
};

// A scene of every kind of draw: turned, scaled, mirrored, tinted sprites,
// smooth and crisp, in each blend, over stripes of colour.
void busyScene(int crisp, int smooth) {
    ResetVideoDrawState();
    for (int i = 0; i < 12; i++) {
        SetColor(40 + 17 * i, 200 - 13 * i, 90 + 11 * i);
        DrawRect(0, float(i * 10), 160, 10);
    }
    const int blends[4] = {BlendMask, BlendAlpha, BlendAdd, BlendMultiply};
    for (int i = 0; i < 16; i++) {
        SetBlend(blends[i % 4]);
        SetColor(255, 255 - 9 * i, 128 + 7 * i);
        SetAlpha(0.35f + 0.04f * float(i));
        SetDrawRotation(float(i) * 23.7f + 3.1f);
        SetDrawScale(i % 5 == 0 ? -1.6f : 0.7f + 0.15f * float(i % 7), 0.8f + 0.1f * float(i % 4));
        DrawImageFrame(i % 2 ? smooth : crisp, float(12 + (i % 4) * 38), float(14 + (i / 4) * 28),
                       0);
    }
}

TEST(RasterWindow, PicturesMatchSdlsOpenGlRenderer) {
    PrivateX server(71, 75);
    if (server.display.empty()) GTEST_SKIP() << "no private X server";
    ASSERT_TRUE(startRealPlatform(false)) << PlatformError();
    SetCentreAnchoring(true);
    int crisp = CreateImage(16, 16, 0), smooth = CreateImage(13, 11, ImageFiltered);
    FindImage(crisp)->surface.pixels = sprite().pixels;
    FindImage(smooth)->surface.pixels = oddSprite().pixels;
    Pixmap pictures[2];
    KeepSoftwareGl(true); // SDL's OpenGL renderer, whatever its driver
    for (int engine : {0, 2}) {
        SetGraphicsEngine(engine);
        ASSERT_TRUE(OpenDisplay(320, 240, 0, 60)) << PlatformError();
        if (engine == 0 && OpenedEngineName() != "opengl") GTEST_SKIP() << "no OpenGL here";
        SetLogicalSize(160, 120);
        ClearScreen();
        busyScene(crisp, smooth);
        pictures[engine / 2] = GrabPixmap(0, 0, 320, 240);
    }
    // Pixels differ beyond the tolerance only where an edge or a texel
    // boundary falls within a hair of a pixel centre.
    int beyond = 0, worst = 0;
    for (size_t i = 0; i < pictures[0].pixels.size(); i++) {
        int most = 0;
        for (int shift = 0; shift < 24; shift += 8)
            most = std::max(most, std::abs(int(pictures[0].pixels[i] >> shift & 255) -
                                           int(pictures[1].pixels[i] >> shift & 255)));
        worst = std::max(worst, most);
        beyond += most > Tolerance;
    }
    EXPECT_LT(beyond, 320 * 240 / 200) << "worst difference " << worst;
    std::printf("pixels beyond %d of OpenGL's: %d of %d (worst %d)\n", Tolerance, beyond, 320 * 240,
                worst);
}

TEST(RasterWindow, MapsThePointerFollowsAResizeAndSurvivesEngineSwitches) {
    PrivateX server(76, 80);
    if (server.display.empty()) GTEST_SKIP() << "no private X server";
    std::string display = server.display;
    ASSERT_TRUE(startRealPlatform(false)) << PlatformError();
    UseSdlSoftwareRenderer(false);
    SetWindowTitle("raster window test");
    SetGraphicsEngine(2);
    ASSERT_TRUE(OpenDisplay(320, 240, 0, 60)) << PlatformError();
    EXPECT_TRUE(videoState.raster);
    EXPECT_EQ(OpenedEngineName(), "software");
    // Xvfb's window surface has the picture's layout: drawn in place, no copy.
    EXPECT_NE(videoState.canvas.lent, nullptr);
    SetLogicalSize(160, 120);
    // Window point 100, 60 is logical 50, 30 at twice the size.
    int x = 100, y = 60;
    VideoWindowToLogical(x, y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 30);
    ClearScreen();
    SetColor(0, 0, 255);
    DrawRect(0, 0, 160, 120);
    Flip(0);
    EXPECT_EQ(GrabPixmap(0, 0, 320, 240).pixels[size_t(239 * 320 + 319)], 0xFF0000FFu);

    // A window made larger by someone else gets a picture of its new size.
    int sized = WaitProcess(StartProcess({"xdotool", "search", "--name", "raster window test",
                                          "windowsize", "480", "240"},
                                         {"DISPLAY=" + display}),
                            10000);
    for (int tries = 0; tries < 100 && PhysicalWidth() != 480; tries++) {
        usleep(20000);
        Flip(0);
    }
    EXPECT_EQ(sized, 0) << "xdotool could not resize the window";
    if (sized == 0) {
        EXPECT_EQ(PhysicalWidth(), 480);
        EXPECT_NE(videoState.canvas.lent, nullptr); // in the new surface
        // 160 x 120 in 480 x 240: twice the size, 80-pixel bars on both sides.
        ClearScreen();
        SetColor(255, 0, 0);
        DrawRect(0, 0, 160, 120);
        Pixmap p = GrabPixmap(0, 0, 480, 240);
        EXPECT_EQ(p.pixels[size_t(100 * 480 + 79)], 0xFF000000u);
        EXPECT_EQ(p.pixels[size_t(100 * 480 + 80)], 0xFFFF0000u);
        EXPECT_EQ(p.pixels[size_t(100 * 480 + 399)], 0xFFFF0000u);
        EXPECT_EQ(p.pixels[size_t(100 * 480 + 400)], 0xFF000000u);
    }

    // A green square drawn and shown; the colour of one of its pixels.
    auto drawGreenSquare = [] {
        SetLogicalSize(0, 0);
        ClearScreen();
        SetColor(0, 255, 0);
        DrawRect(10, 10, 5, 5);
        Flip(0);
        return GrabPixmap(12, 12, 1, 1).pixels[0];
    };
    // A GL engine on a driver without a graphics card (Xvfb's) gives way to
    // the rasteriser on the same window, unless told to stay.
    SetGraphicsEngine(1);
    ASSERT_TRUE(OpenDisplay(320, 240, 0, 60)) << PlatformError();
    bool software = DisplayDriverReport().find("rasteriser draws") != std::string::npos;
    EXPECT_EQ(videoState.raster, software) << DisplayDriverReport();
    if (software) {
        EXPECT_EQ(drawGreenSquare(), 0xFF00FF00u);
    }
    // Switching to another engine and back, as the settings panel does.
    KeepSoftwareGl(true);
    ASSERT_TRUE(OpenDisplay(320, 240, 0, 60)) << PlatformError();
    EXPECT_FALSE(videoState.raster);
    SetGraphicsEngine(2);
    ASSERT_TRUE(OpenDisplay(200, 100, 0, 60)) << PlatformError();
    EXPECT_TRUE(videoState.raster);
    EXPECT_EQ(PhysicalWidth(), 200);
    EXPECT_EQ(drawGreenSquare(), 0xFF00FF00u);
}

} // namespace
