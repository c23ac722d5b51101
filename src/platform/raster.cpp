// raster.cpp - the rasteriser behind the "software" engine and headless runs.
//
// Each quad is a parallelogram (every draw is an affine image of a
// rectangle). A pixel belongs to it when its centre has quad coordinates
// s, t in [0, 1); texel coordinates at pixel centres step by fixed amounts
// along a row and are carried in 16.16 fixed point, so the portable and the
// AVX2 loops compute exactly the same integers and give the same pixels.
// Colours stay straight (not premultiplied): tint times texel, then the blend,
// every product divided by 255 with rounding, as an 8-bit GPU would.
//
// The picture is cut into bands of rows; every band walks the pending quads
// in order, so a pixel sees the same operations in the same order whatever
// the number of threads. Workers are started once and wait between frames.
#include "platform/raster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZP_RASTER_X86 1
#endif

namespace {

constexpr int MaxCanvasSide = 16384;
constexpr int MaxPendingQuads = 16384;
constexpr int BandRows = 32;
// Below this many covered pixels a flush is drawn on the calling thread alone.
constexpr double SmallJobPixels = 32768;
constexpr int MostThreads = 8;
// Quads handed to the workers at a time while a frame is drawn.
constexpr int SubmitQuads = 512;

// RasterQuad::sampler: the kind of fetch in the low bits, and SamplerMasked
// set when texels are alpha-tested.
enum Sampler : uint8_t {
    SamplerFill,     // solid colour written as it is
    SamplerConstant, // one colour blended (a 1 x 1 texture)
    SamplerNearest,
    SamplerBilinear
};
constexpr uint8_t SamplerMasked = 0x80;

// The kind of fetch of a quad, without the mask bit.
inline int samplerKind(const RasterQuad& q) {
    return q.sampler & ~SamplerMasked;
}

// x / 255 rounded, exact for 0 <= x <= 65535.
inline uint32_t div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// Alpha-tests a texel for masked drawing: opaque or nothing.
inline uint32_t maskTexel(uint32_t t) {
    return (t >> 24) >= 128 ? (t | 0xFF000000u) : 0u;
}

// Blends straight source channels onto a destination pixel.
inline uint32_t blendPixel(uint32_t d, uint32_t sr, uint32_t sg, uint32_t sb, uint32_t sa,
                           RasterBlend blend) {
    uint32_t dr = d >> 16 & 255, dg = d >> 8 & 255, db = d & 255;
    uint32_t keep = 255 - sa;
    switch (blend) {
    case RasterBlend::Solid:
        dr = sr, dg = sg, db = sb;
        break;
    case RasterBlend::Alpha:
        dr = div255(sr * sa + dr * keep);
        dg = div255(sg * sa + dg * keep);
        db = div255(sb * sa + db * keep);
        break;
    case RasterBlend::Add:
        dr = std::min(255u, dr + div255(sr * sa));
        dg = std::min(255u, dg + div255(sg * sa));
        db = std::min(255u, db + div255(sb * sa));
        break;
    case RasterBlend::Multiply:
        dr = std::min(255u, div255(dr * sr + dr * keep));
        dg = std::min(255u, div255(dg * sg + dg * keep));
        db = std::min(255u, div255(db * sb + db * keep));
        break;
    }
    return 0xFF000000u | dr << 16 | dg << 8 | db;
}

// The texel nearest to fixed-point coordinates, clamped to the texture.
inline uint32_t fetchNearest(const RasterQuad& q, int32_t u, int32_t v) {
    int x = std::clamp(u >> 16, 0, q.texWidth - 1), y = std::clamp(v >> 16, 0, q.texHeight - 1);
    uint32_t t = q.texels[size_t(y) * size_t(q.texWidth) + size_t(x)];
    return t;
}

// The four texels around fixed-point coordinates mixed by their weights.
inline uint32_t fetchBilinear(const RasterQuad& q, int32_t u, int32_t v, bool masked) {
    u -= 32768, v -= 32768;
    int x0 = u >> 16, y0 = v >> 16;
    uint32_t fx = uint32_t(u >> 8) & 255, fy = uint32_t(v >> 8) & 255;
    int x1 = std::clamp(x0 + 1, 0, q.texWidth - 1), y1 = std::clamp(y0 + 1, 0, q.texHeight - 1);
    x0 = std::clamp(x0, 0, q.texWidth - 1), y0 = std::clamp(y0, 0, q.texHeight - 1);
    const uint32_t* row0 = q.texels + size_t(y0) * size_t(q.texWidth);
    const uint32_t* row1 = q.texels + size_t(y1) * size_t(q.texWidth);
    uint32_t t00 = row0[x0], t10 = row0[x1], t01 = row1[x0], t11 = row1[x1];
    if (masked)
        t00 = maskTexel(t00), t10 = maskTexel(t10), t01 = maskTexel(t01), t11 = maskTexel(t11);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t top = (t00 >> shift & 255) * (256 - fx) + (t10 >> shift & 255) * fx;
        uint32_t bottom = (t01 >> shift & 255) * (256 - fx) + (t11 >> shift & 255) * fx;
        out |= ((top * (256 - fy) + bottom * fy + 32768) >> 16) << shift;
    }
    return out;
}

// The smallest whole number not below x, for |x| well inside 32 bits (no
// library call: this runs once per row of every quad).
__attribute__((always_inline)) inline int ceilInt(double x) {
    int i = int(x);
    return i + (double(i) < x ? 1 : 0);
}

// A coordinate in 16.16 fixed point, rounded, kept well inside 32 bits.
__attribute__((always_inline)) inline int32_t fixed(double value) {
    double scaled = std::clamp(value * 65536.0 + 0.5, -1073741824.0, 1073741824.0);
    int32_t i = int32_t(scaled);
    return i - (double(i) > scaled ? 1 : 0);
}

// The columns [from, to) of a row whose centres lie in the quad.
__attribute__((always_inline)) inline void rowSpan(const RasterQuad& q, int y, int& from, int& to) {
    double centreY = double(y) + 0.5;
    double lo = std::max(q.fromS + q.slopeS * centreY, q.fromT + q.slopeT * centreY);
    double hi = std::min(q.toS + q.slopeS * centreY, q.toT + q.slopeT * centreY);
    from = to = q.left;
    if (!(hi > lo)) return;
    // Bounds beyond the quad's columns only need to stay beyond them.
    const double left = double(q.left), right = double(q.right);
    from = ceilInt(std::clamp(lo - 0.5, left - 1, right));
    to = ceilInt(std::clamp(hi - 0.5, left - 1, right));
    from = std::max(from, q.left), to = std::min(to, q.right);
    if (to < from) to = from;
}

// Where row y of a quad starts: its columns [from, to) and the fixed-point
// texel coordinates at the first; false when the row misses the quad.
// An unturned quad (edges along the rows and columns) has the same columns
// on every row: `straight` passes them in from and to instead.
__attribute__((always_inline)) inline bool rowStart(const RasterQuad& q, int y, int& from, int& to,
                                                    int32_t& u, int32_t& v, bool straight = false) {
    if (!straight) rowSpan(q, y, from, to);
    if (from >= to) return false;
    if (samplerKind(q) >= SamplerNearest) {
        double x = double(from) + 0.5, cy = double(y) + 0.5;
        u = fixed(q.uc + q.ux * x + q.uy * cy);
        v = fixed(q.vc + q.vx * x + q.vy * cy);
    }
    return true;
}

// Draws rows [y0, y1) of a quad into pixels of this stride: the portable
// loop or an AVX2 kernel.
using RowsFunction = void (*)(const RasterQuad& q, uint32_t* pixels, int stride, int y0, int y1);

// Draws n pixels of a span with the portable loop.
void spanScalar(const RasterQuad& q, uint32_t* dst, int n, int32_t u, int32_t v, int32_t du,
                int32_t dv) {
    const uint32_t tint = q.tint;
    if (q.sampler == SamplerFill) {
        std::fill_n(dst, n, tint | 0xFF000000u);
        return;
    }
    const uint32_t tr = tint >> 16 & 255, tg = tint >> 8 & 255, tb = tint & 255, ta = tint >> 24;
    if (q.sampler == SamplerConstant) {
        for (int i = 0; i < n; i++) dst[i] = blendPixel(dst[i], tr, tg, tb, ta, q.blend);
        return;
    }
    const bool masked = (q.sampler & SamplerMasked) != 0;
    uint32_t uu = uint32_t(u), vv = uint32_t(v);
    for (int i = 0; i < n; i++, uu += uint32_t(du), vv += uint32_t(dv)) {
        uint32_t t;
        if (samplerKind(q) == SamplerNearest) {
            t = fetchNearest(q, int32_t(uu), int32_t(vv));
            if (masked) t = maskTexel(t);
        } else {
            t = fetchBilinear(q, int32_t(uu), int32_t(vv), masked);
        }
        uint32_t sr = div255((t >> 16 & 255) * tr), sg = div255((t >> 8 & 255) * tg);
        uint32_t sb = div255((t & 255) * tb), sa = div255((t >> 24) * ta);
        dst[i] = blendPixel(dst[i], sr, sg, sb, sa, q.blend);
    }
}

// Draws rows [y0, y1) of a quad with the portable loop.
void rowsScalar(const RasterQuad& q, uint32_t* pixels, int stride, int y0, int y1) {
    const int32_t du = fixed(q.ux), dv = fixed(q.vx);
    for (int y = y0; y < y1; y++) {
        int from = 0, to = 0;
        int32_t u = 0, v = 0;
        if (rowStart(q, y, from, to, u, v))
            spanScalar(q, pixels + size_t(y) * size_t(stride) + size_t(from), to - from, u, v, du,
                       dv);
    }
}

#ifdef ZP_RASTER_X86

#define ZP_AVX2 __attribute__((target("avx2"), always_inline)) inline

ZP_AVX2 __m256i div255v(__m256i x) {
    x = _mm256_add_epi32(x, _mm256_set1_epi32(128));
    return _mm256_srli_epi32(_mm256_add_epi32(x, _mm256_srli_epi32(x, 8)), 8);
}

// Products of values whose product fits 16 bits, in 32-bit lanes.
ZP_AVX2 __m256i mul16(__m256i a, __m256i b) {
    return _mm256_mullo_epi16(a, b);
}

ZP_AVX2 __m256i clampLanes(__m256i x, __m256i high) {
    return _mm256_min_epi32(_mm256_max_epi32(x, _mm256_setzero_si256()), high);
}

// Multiplies eight source pixels (channels in 32-bit lanes) onto dst, in
// 32-bit lanes: the sum needs 17 bits.
ZP_AVX2 __m256i multiply8(__m256i d, __m256i sr, __m256i sg, __m256i sb, __m256i sa) {
    const __m256i byte = _mm256_set1_epi32(255);
    __m256i dr = _mm256_and_si256(_mm256_srli_epi32(d, 16), byte);
    __m256i dg = _mm256_and_si256(_mm256_srli_epi32(d, 8), byte);
    __m256i db = _mm256_and_si256(d, byte);
    __m256i keep = _mm256_sub_epi32(byte, sa);
    dr = _mm256_min_epu32(byte, div255v(_mm256_add_epi32(mul16(dr, sr), mul16(dr, keep))));
    dg = _mm256_min_epu32(byte, div255v(_mm256_add_epi32(mul16(dg, sg), mul16(dg, keep))));
    db = _mm256_min_epu32(byte, div255v(_mm256_add_epi32(mul16(db, sb), mul16(db, keep))));
    __m256i out = _mm256_or_si256(_mm256_slli_epi32(dr, 16), _mm256_slli_epi32(dg, 8));
    return _mm256_or_si256(_mm256_or_si256(out, db), _mm256_set1_epi32(int(0xFF000000u)));
}

// Eight texels alpha-tested for masked drawing.
ZP_AVX2 __m256i mask8(__m256i t) {
    __m256i keep = _mm256_cmpgt_epi32(_mm256_srli_epi32(t, 24), _mm256_set1_epi32(127));
    return _mm256_and_si256(_mm256_or_si256(t, _mm256_set1_epi32(int(0xFF000000u))), keep);
}

// One row of texel pairs a, b mixed in 16-bit lanes by weights ga, fb
// (ga + fb = 256, so a sum is at most 255 * 256), the channels of pixels
// 0, 1 | 4, 5 (low) or 2, 3 | 6, 7 (High), less 32768 as signed lanes.
template <bool High> ZP_AVX2 __m256i mixAcross(__m256i a, __m256i b, __m256i ga, __m256i fb) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i ca = High ? _mm256_unpackhi_epi8(a, zero) : _mm256_unpacklo_epi8(a, zero);
    __m256i cb = High ? _mm256_unpackhi_epi8(b, zero) : _mm256_unpacklo_epi8(b, zero);
    __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(ca, ga), _mm256_mullo_epi16(cb, fb));
    return _mm256_xor_si256(sum, _mm256_set1_epi16(int16_t(0x8000)));
}

// The rows' sums of two pixels (one to each 128-bit half) mixed by their
// (gy, fy) weight pairs and rounded to channels in 32-bit lanes; madd takes
// the 32768 the sums were lessened by times 256 off, and the bias puts it back.
template <bool High> ZP_AVX2 __m256i mixDown(__m256i top, __m256i bottom, __m256i weights) {
    __m256i pairs = High ? _mm256_unpackhi_epi16(top, bottom) : _mm256_unpacklo_epi16(top, bottom);
    const __m256i bias = _mm256_set1_epi32(32768 * 256 + 32768);
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(pairs, weights), bias), 16);
}

// Each pixel's column weights over its four channels, as the byte unpacks
// lay the channels out: fx and gx = 256 - fx for pixels 0, 1 | 4, 5 (low)
// and 2, 3 | 6, 7 (high).
struct ColumnWeights {
    __m256i fxl, fxh, gxl, gxh;
};

// Spreads column weights fx (0..255, one pixel to a 32-bit lane).
ZP_AVX2 ColumnWeights spreadColumns(__m256i fx) {
    const __m256i full = _mm256_set1_epi16(256);
    __m256i fx2 = _mm256_or_si256(fx, _mm256_slli_epi32(fx, 16));
    ColumnWeights c;
    c.fxl = _mm256_unpacklo_epi32(fx2, fx2), c.fxh = _mm256_unpackhi_epi32(fx2, fx2);
    c.gxl = _mm256_sub_epi16(full, c.fxl), c.gxh = _mm256_sub_epi16(full, c.fxh);
    return c;
}

// Row weights fy (0..255, one pixel to a 32-bit lane) as (gy, fy) pairs.
ZP_AVX2 __m256i pairRows(__m256i fy) {
    __m256i gy = _mm256_sub_epi32(_mm256_set1_epi32(256), fy);
    return _mm256_or_si256(gy, _mm256_slli_epi32(fy, 16));
}

// Four texel vectors mixed by the bilinear weights: each channel is
// (c00 gx gy + c10 fx gy + c01 gx fy + c11 fx fy + 32768) >> 16, as
// fetchBilinear computes it. Same is true when every pixel has the same
// row weights, which then need no spreading.
template <bool Same>
ZP_AVX2 __m256i mix8(__m256i t00, __m256i t10, __m256i t01, __m256i t11, const ColumnWeights& c,
                     __m256i w) {
    __m256i topL = mixAcross<false>(t00, t10, c.gxl, c.fxl);
    __m256i topH = mixAcross<true>(t00, t10, c.gxh, c.fxh);
    __m256i botL = mixAcross<false>(t01, t11, c.gxl, c.fxl);
    __m256i botH = mixAcross<true>(t01, t11, c.gxh, c.fxh);
    // pixels 0|4, 1|5, 2|6 and 3|7, four channels each
    __m256i p0 = mixDown<false>(topL, botL, Same ? w : _mm256_shuffle_epi32(w, 0x00));
    __m256i p1 = mixDown<true>(topL, botL, Same ? w : _mm256_shuffle_epi32(w, 0x55));
    __m256i p2 = mixDown<false>(topH, botH, Same ? w : _mm256_shuffle_epi32(w, 0xAA));
    __m256i p3 = mixDown<true>(topH, botH, Same ? w : _mm256_shuffle_epi32(w, 0xFF));
    return _mm256_packus_epi16(_mm256_packus_epi32(p0, p1), _mm256_packus_epi32(p2, p3));
}

// x / 255 rounded in 16-bit lanes, exact for 0 <= x <= 65280 (as div255).
ZP_AVX2 __m256i div255w(__m256i x) {
    x = _mm256_add_epi16(x, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

// Tints eight texels (straight ARGB) and blends them onto eight pixels, two
// pixels' channels to a 16-bit lane group at a time: the same integers as
// blendPixel, twice as many per instruction. Multiply needs 17 bits and
// goes through multiply8 instead.
template <RasterBlend Blend, bool Modulate>
ZP_AVX2 __m256i tintBlend16(__m256i t, __m256i d, __m256i tint16) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi16(255);
    __m256i tl = _mm256_unpacklo_epi8(t, zero), th = _mm256_unpackhi_epi8(t, zero);
    if constexpr (Modulate) {
        tl = div255w(_mm256_mullo_epi16(tl, tint16));
        th = div255w(_mm256_mullo_epi16(th, tint16));
    }
    __m256i dl = _mm256_unpacklo_epi8(d, zero), dh = _mm256_unpackhi_epi8(d, zero);
    __m256i ol, oh;
    if constexpr (Blend == RasterBlend::Solid) {
        ol = tl, oh = th;
    } else {
        // each pixel's alpha across its four channels
        __m256i al = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(tl, 0xFF), 0xFF);
        __m256i ah = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(th, 0xFF), 0xFF);
        if constexpr (Blend == RasterBlend::Alpha) {
            ol = div255w(_mm256_add_epi16(_mm256_mullo_epi16(tl, al),
                                          _mm256_mullo_epi16(dl, _mm256_sub_epi16(full, al))));
            oh = div255w(_mm256_add_epi16(_mm256_mullo_epi16(th, ah),
                                          _mm256_mullo_epi16(dh, _mm256_sub_epi16(full, ah))));
        } else {
            ol = _mm256_min_epu16(full, _mm256_add_epi16(dl, div255w(_mm256_mullo_epi16(tl, al))));
            oh = _mm256_min_epu16(full, _mm256_add_epi16(dh, div255w(_mm256_mullo_epi16(th, ah))));
        }
    }
    return _mm256_or_si256(_mm256_packus_epi16(ol, oh), _mm256_set1_epi32(int(0xFF000000u)));
}

// Where a span's pixels come from, eight at a time.
enum class Fetch { Constant, Nearest, Copy, Bilinear };

// What every row of one quad shares: the tint in each form the blends want,
// and the texel steps and bounds spread over eight lanes.
struct Lanes8 {
    __m256i tr, tg, tb, ta; // tint channels in 32-bit lanes
    __m256i constant;       // the tint as a pixel
    __m256i tint16;         // the tint's channels in 16-bit lanes, two pixels' worth
    __m256i laneU, laneV;   // lane k's texel offset from the first lane
    __m256i stepU, stepV;   // eight pixels' texel step
    __m256i maxX, maxY, width;
    bool plain; // white and opaque: texels as they are
};

// Spreads a quad's tint and texel steps over the lanes.
ZP_AVX2 Lanes8 lanesOf(const RasterQuad& q, int32_t du, int32_t dv) {
    const uint32_t tint = q.tint;
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    Lanes8 l;
    l.tr = _mm256_set1_epi32(int(tint >> 16 & 255));
    l.tg = _mm256_set1_epi32(int(tint >> 8 & 255));
    l.tb = _mm256_set1_epi32(int(tint & 255));
    l.ta = _mm256_set1_epi32(int(tint >> 24));
    l.constant = _mm256_set1_epi32(int(tint));
    l.tint16 =
        _mm256_set1_epi64x(int64_t(uint64_t(tint >> 24) << 48 | uint64_t(tint >> 16 & 255) << 32 |
                                   uint64_t(tint >> 8 & 255) << 16 | uint64_t(tint & 255)));
    l.laneU = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(du));
    l.laneV = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(dv));
    l.stepU = _mm256_set1_epi32(int32_t(uint32_t(du) * 8u));
    l.stepV = _mm256_set1_epi32(int32_t(uint32_t(dv) * 8u));
    l.maxX = _mm256_set1_epi32(q.texWidth - 1);
    l.maxY = _mm256_set1_epi32(q.texHeight - 1);
    l.width = _mm256_set1_epi32(q.texWidth);
    l.plain = tint == 0xFFFFFFFFu;
    return l;
}

// Eight texels mixed from their four neighbours at fixed-point uv, vv.
template <bool Masked>
ZP_AVX2 __m256i bilinear8(const RasterQuad& q, const Lanes8& l, __m256i uv, __m256i vv) {
    const __m256i byte = _mm256_set1_epi32(255);
    const int* texels = reinterpret_cast<const int*>(q.texels);
    const __m256i half = _mm256_set1_epi32(32768);
    __m256i bu = _mm256_sub_epi32(uv, half), bv = _mm256_sub_epi32(vv, half);
    __m256i x0 = _mm256_srai_epi32(bu, 16), y0 = _mm256_srai_epi32(bv, 16);
    __m256i fx = _mm256_and_si256(_mm256_srli_epi32(bu, 8), byte);
    __m256i fy = _mm256_and_si256(_mm256_srli_epi32(bv, 8), byte);
    const __m256i one = _mm256_set1_epi32(1);
    __m256i x1 = clampLanes(_mm256_add_epi32(x0, one), l.maxX);
    __m256i y1 = clampLanes(_mm256_add_epi32(y0, one), l.maxY);
    x0 = clampLanes(x0, l.maxX), y0 = clampLanes(y0, l.maxY);
    __m256i r0 = _mm256_mullo_epi32(y0, l.width), r1 = _mm256_mullo_epi32(y1, l.width);
    __m256i t00 = _mm256_i32gather_epi32(texels, _mm256_add_epi32(r0, x0), 4);
    __m256i t10 = _mm256_i32gather_epi32(texels, _mm256_add_epi32(r0, x1), 4);
    __m256i t01 = _mm256_i32gather_epi32(texels, _mm256_add_epi32(r1, x0), 4);
    __m256i t11 = _mm256_i32gather_epi32(texels, _mm256_add_epi32(r1, x1), 4);
    if constexpr (Masked) t00 = mask8(t00), t10 = mask8(t10), t01 = mask8(t01), t11 = mask8(t11);
    return mix8<false>(t00, t10, t01, t11, spreadColumns(fx), pairRows(fy));
}

// The texel columns eight pixels of an unturned quad sample, the same on
// every row: the first of eight neighbouring columns that hold them all,
// each lane's two columns counted from it, and the column weights.
struct Columns8 {
    int base;
    __m256i x0, x1;
    ColumnWeights weights;
};

// Finds the columns of eight pixels whose first lane samples at u and the
// others du apart (|du| under a texel, so an enlarged sprite); false when
// they do not lie within eight columns.
ZP_AVX2 bool columnsOf(const RasterQuad& q, const Lanes8& l, int32_t u, int32_t du, Columns8& c) {
    const int w = q.texWidth;
    int first = int32_t(uint32_t(u) - 32768u) >> 16;
    int last = int32_t(uint32_t(u) + 7u * uint32_t(du) - 32768u) >> 16;
    int lo = std::clamp(std::min(first, last), 0, w - 1);
    int hi = std::clamp(std::max(first, last) + 1, 0, w - 1);
    if (w < 8 || hi - lo > 7) return false;
    c.base = std::min(lo, w - 8);
    const __m256i origin = _mm256_set1_epi32(c.base), one = _mm256_set1_epi32(1);
    __m256i bu =
        _mm256_sub_epi32(_mm256_add_epi32(_mm256_set1_epi32(u), l.laneU), _mm256_set1_epi32(32768));
    __m256i x0 = _mm256_srai_epi32(bu, 16);
    c.x1 = _mm256_sub_epi32(clampLanes(_mm256_add_epi32(x0, one), l.maxX), origin);
    c.x0 = _mm256_sub_epi32(clampLanes(x0, l.maxX), origin);
    c.weights = spreadColumns(_mm256_and_si256(_mm256_srli_epi32(bu, 8), _mm256_set1_epi32(255)));
    return true;
}

// Where one row of an unturned quad samples: its two texture rows and their
// (gy, fy) weight pair, the same for every pixel of the row.
struct RowSample {
    const uint32_t *row0, *row1;
    __m256i weights;
    int32_t v; // fixed-point v, for the gathering path
};

// Where the row whose pixels sample at fixed-point v reads.
ZP_AVX2 RowSample rowSampleOf(const RasterQuad& q, int32_t v) {
    const int32_t bv = int32_t(uint32_t(v) - 32768u);
    const int y0 = std::clamp(bv >> 16, 0, q.texHeight - 1);
    const int y1 = std::clamp((bv >> 16) + 1, 0, q.texHeight - 1);
    RowSample r;
    r.row0 = q.texels + size_t(y0) * size_t(q.texWidth);
    r.row1 = q.texels + size_t(y1) * size_t(q.texWidth);
    r.weights = pairRows(_mm256_set1_epi32(int(uint32_t(bv) >> 8 & 255u)));
    r.v = v;
    return r;
}

// Eight texels of one row mixed from their columns: two loads and four
// in-register permutes instead of four gathers, the same pixels.
template <bool Masked> ZP_AVX2 __m256i bilinearColumns8(const Columns8& c, const RowSample& r) {
    __m256i r0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.row0 + c.base));
    __m256i r1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.row1 + c.base));
    if constexpr (Masked) r0 = mask8(r0), r1 = mask8(r1);
    __m256i t00 = _mm256_permutevar8x32_epi32(r0, c.x0),
            t10 = _mm256_permutevar8x32_epi32(r0, c.x1);
    __m256i t01 = _mm256_permutevar8x32_epi32(r1, c.x0),
            t11 = _mm256_permutevar8x32_epi32(r1, c.x1);
    return mix8<true>(t00, t10, t01, t11, c.weights, r.weights);
}

// Eight nearest texels at fixed-point uv, vv; an unturned copy whose eight
// texels lie in one row of the texture loads them at once. u is the row's
// first texel column and i the first lane's pixel in the row.
template <Fetch From, bool Masked>
ZP_AVX2 __m256i nearest8(const RasterQuad& q, const Lanes8& l, __m256i uv, __m256i vv, int32_t u,
                         int32_t v, int i, bool whole) {
    __m256i t;
    int x0 = int32_t(uint32_t(u) + uint32_t(i) * 65536u) >> 16, y = v >> 16;
    if (From == Fetch::Copy && whole && x0 >= 0 && x0 + 7 < q.texWidth && y >= 0 &&
        y < q.texHeight) {
        t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
            q.texels + size_t(y) * size_t(q.texWidth) + size_t(x0)));
    } else {
        __m256i ix = clampLanes(_mm256_srai_epi32(uv, 16), l.maxX);
        __m256i iy = clampLanes(_mm256_srai_epi32(vv, 16), l.maxY);
        t = _mm256_i32gather_epi32(reinterpret_cast<const int*>(q.texels),
                                   _mm256_add_epi32(_mm256_mullo_epi32(iy, l.width), ix), 4);
    }
    if constexpr (Masked) t = mask8(t);
    return t;
}

// Tints eight fetched texels t and blends them onto eight pixels d.
template <RasterBlend Blend, Fetch From>
ZP_AVX2 __m256i shade8(const Lanes8& l, __m256i t, __m256i d) {
    const __m256i byte = _mm256_set1_epi32(255);
    if constexpr (Blend == RasterBlend::Multiply) {
        __m256i sr = _mm256_and_si256(_mm256_srli_epi32(t, 16), byte);
        __m256i sg = _mm256_and_si256(_mm256_srli_epi32(t, 8), byte);
        __m256i sb = _mm256_and_si256(t, byte), sa = _mm256_srli_epi32(t, 24);
        if constexpr (From != Fetch::Constant) {
            sr = div255v(mul16(sr, l.tr)), sg = div255v(mul16(sg, l.tg));
            sb = div255v(mul16(sb, l.tb)), sa = div255v(mul16(sa, l.ta));
        }
        return multiply8(d, sr, sg, sb, sa);
    } else if (Blend == RasterBlend::Alpha && From != Fetch::Constant && l.plain) {
        // Untinted texels each opaque or clear (a sprite's body and the
        // space around it) need no arithmetic: the blend would give exactly
        // t or d, so a select does, without a guess at which.
        __m256i alpha = _mm256_srli_epi32(t, 24);
        __m256i opaque = _mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255));
        __m256i clear = _mm256_cmpeq_epi32(alpha, _mm256_setzero_si256());
        if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(opaque, clear))) == 0xFF)
            return _mm256_blendv_epi8(_mm256_or_si256(d, _mm256_set1_epi32(int(0xFF000000u))), t,
                                      opaque);
        return tintBlend16<Blend, false>(t, d, l.tint16);
    } else {
        return tintBlend16<Blend, From != Fetch::Constant>(t, d, l.tint16);
    }
}

// Eight destination pixels at dst, of which n (under eight) or all belong
// to the span: loaded whole when the rest of eight still lies in this row
// (so in this band), else under the lane mask. Masked stores are slow, so a
// whole eight goes back with the neighbours as they were.
struct Dest8 {
    int* at;
    __m256i live, d;
    bool whole, inRow;
};

// Loads the destination pixels of eight at dst, n of them in the span.
ZP_AVX2 Dest8 loadDest(uint32_t* dst, int n, bool inRow) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    Dest8 p;
    p.at = reinterpret_cast<int*>(dst);
    p.whole = n >= 8, p.inRow = p.whole || inRow;
    p.live = _mm256_cmpgt_epi32(_mm256_set1_epi32(n), lanes);
    p.d = p.inRow ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.at))
                  : _mm256_maskload_epi32(p.at, p.live);
    return p;
}

// Stores the span's pixels of out where loadDest found them.
ZP_AVX2 void storeDest(const Dest8& p, __m256i out) {
    if (p.whole)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p.at), out);
    else if (p.inRow)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p.at), _mm256_blendv_epi8(p.d, out, p.live));
    else
        _mm256_maskstore_epi32(p.at, p.live, out);
}

// Draws rows [y0, y1) of an unturned, enlarged, filtered quad, columns
// [from, to) on every row, eight columns at a time down a few rows at a time:
// where the eight pixels sample is found once for all the rows, and each
// row's texture rows once for all the columns. Eight pixels whose texels do
// not lie within eight columns gather them instead.
template <RasterBlend Blend, bool Masked>
ZP_AVX2 void rowsBilinearUnturned(const RasterQuad& q, const Lanes8& l, uint32_t* pixels,
                                  int stride, int y0, int y1, int from, int to, int32_t du) {
    constexpr int Rows = 32;
    RowSample rows[Rows];
    const double x = double(from) + 0.5;
    for (int top = y0; top < y1; top += Rows) {
        const int count = std::min(Rows, y1 - top);
        // u is the same on every row (q.uy is 0)
        const int32_t u = fixed(q.uc + q.ux * x + q.uy * (double(top) + 0.5));
        for (int k = 0; k < count; k++)
            rows[k] = rowSampleOf(q, fixed(q.vc + q.vx * x + q.vy * (double(top + k) + 0.5)));
        const int n = to - from;
        for (int i = 0; i < n; i += 8) {
            const int32_t ui = int32_t(uint32_t(u) + uint32_t(i) * uint32_t(du));
            const __m256i uv = _mm256_add_epi32(_mm256_set1_epi32(ui), l.laneU);
            Columns8 c{};
            const bool near = columnsOf(q, l, ui, du, c);
            for (int k = 0; k < count; k++) {
                uint32_t* dst = pixels + size_t(top + k) * size_t(stride) + size_t(from + i);
                Dest8 p = loadDest(dst, n - i, from + i + 8 <= stride);
                __m256i t = near ? bilinearColumns8<Masked>(c, rows[k])
                                 : bilinear8<Masked>(q, l, uv, _mm256_set1_epi32(rows[k].v));
                storeDest(p, shade8<Blend, Fetch::Bilinear>(l, t, p.d));
            }
        }
    }
}

// Draws rows [y0, y1) of an unturned quad drawn at its own size, columns
// [from, to) on every row, whose texels x0.. of each row lie inside the
// texture: each eight pixels take eight neighbouring texels of one row as
// they are, with no per-pixel coordinates at all.
template <RasterBlend Blend, bool Masked>
ZP_AVX2 void rowsCopyUnturned(const RasterQuad& q, const Lanes8& l, uint32_t* pixels, int stride,
                              int y0, int y1, int from, int to, int x0) {
    const double x = double(from) + 0.5;
    const int n = to - from;
    for (int y = y0; y < y1; y++) {
        const int32_t v = fixed(q.vc + q.vx * x + q.vy * (double(y) + 0.5));
        const int ty = std::clamp(v >> 16, 0, q.texHeight - 1);
        const uint32_t* src = q.texels + size_t(ty) * size_t(q.texWidth) + size_t(x0);
        uint32_t* dst = pixels + size_t(y) * size_t(stride) + size_t(from);
        for (int i = 0; i < n; i += 8) {
            Dest8 p = loadDest(dst + i, n - i, from + i + 8 <= stride);
            // the texels past the span may lie past the texture's end
            __m256i t = p.whole
                            ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i))
                            : _mm256_maskload_epi32(reinterpret_cast<const int*>(src + i), p.live);
            if constexpr (Masked) t = mask8(t);
            storeDest(p, shade8<Blend, Fetch::Copy>(l, t, p.d));
        }
    }
}

// Draws rows [y0, y1) of a quad, each eight pixels at a time and the last few
// under a lane mask; every lane computes exactly what spanScalar computes for
// its pixel.
template <RasterBlend Blend, Fetch From, bool Masked>
__attribute__((target("avx2"))) void rowsAvx2T(const RasterQuad& q, uint32_t* pixels, int stride,
                                               int y0, int y1) {
    const int32_t du = fixed(q.ux), dv = fixed(q.vx);
    const Lanes8 l = lanesOf(q, du, dv);
    const bool straight = q.slopeS == 0 && q.slopeT == 0;
    int straightFrom = 0, straightTo = 0;
    if (straight) rowSpan(q, y0, straightFrom, straightTo);
    if constexpr (From == Fetch::Bilinear) {
        // Unturned and enlarged: each row samples one pair of texture rows,
        // at most a texel per pixel apart.
        if (straight && q.uy == 0 && dv == 0 && du > -65536 && du < 65536) {
            if (straightFrom < straightTo)
                rowsBilinearUnturned<Blend, Masked>(q, l, pixels, stride, y0, y1, straightFrom,
                                                    straightTo, du);
            return;
        }
    }
    // An unturned quad starts every row at the same u: only v is found per row.
    const bool sameU = straight && q.uy == 0 && From != Fetch::Constant;
    const double x = double(straightFrom) + 0.5;
    const int32_t firstU = sameU ? fixed(q.uc + q.ux * x + q.uy * (double(y0) + 0.5)) : 0;
    if constexpr (From == Fetch::Copy) {
        const int x0 = firstU >> 16;
        if (sameU && dv == 0 && x0 >= 0 && x0 + (straightTo - straightFrom) <= q.texWidth) {
            if (straightFrom < straightTo)
                rowsCopyUnturned<Blend, Masked>(q, l, pixels, stride, y0, y1, straightFrom,
                                                straightTo, x0);
            return;
        }
    }
    for (int y = y0; y < y1; y++) {
        int from = straightFrom, to = straightTo;
        int32_t u = firstU, v = 0;
        if (sameU) {
            if (from >= to) return;
            v = fixed(q.vc + q.vx * x + q.vy * (double(y) + 0.5));
        } else if (!rowStart(q, y, from, to, u, v, straight)) {
            continue;
        }
        uint32_t* dst = pixels + size_t(y) * size_t(stride) + size_t(from);
        const int n = to - from;
        __m256i uv = _mm256_add_epi32(_mm256_set1_epi32(u), l.laneU);
        __m256i vv = _mm256_add_epi32(_mm256_set1_epi32(v), l.laneV);
        for (int i = 0; i < n; i += 8) {
            Dest8 p = loadDest(dst + i, n - i, from + i + 8 <= stride);
            __m256i t = l.constant;
            if constexpr (From == Fetch::Bilinear)
                t = bilinear8<Masked>(q, l, uv, vv);
            else if constexpr (From != Fetch::Constant)
                t = nearest8<From, Masked>(q, l, uv, vv, u, v, i, p.whole);
            uv = _mm256_add_epi32(uv, l.stepU);
            vv = _mm256_add_epi32(vv, l.stepV);
            storeDest(p, shade8<Blend, From>(l, t, p.d));
        }
    }
}

// The kernels of one blend for every way of fetching.
template <RasterBlend Blend> constexpr RowsFunction kernelsOf(Fetch from, bool masked) {
    switch (from) {
    case Fetch::Constant:
        return rowsAvx2T<Blend, Fetch::Constant, false>;
    case Fetch::Nearest:
        return masked ? rowsAvx2T<Blend, Fetch::Nearest, true>
                      : rowsAvx2T<Blend, Fetch::Nearest, false>;
    case Fetch::Copy:
        return masked ? rowsAvx2T<Blend, Fetch::Copy, true> : rowsAvx2T<Blend, Fetch::Copy, false>;
    default:
        return masked ? rowsAvx2T<Blend, Fetch::Bilinear, true>
                      : rowsAvx2T<Blend, Fetch::Bilinear, false>;
    }
}

// Draws rows [y0, y1) of a quad with the AVX2 kernel for it.
__attribute__((target("avx2"))) void rowsAvx2(const RasterQuad& q, uint32_t* pixels, int stride,
                                              int y0, int y1) {
    if (q.sampler == SamplerFill) {
        const __m256i c = _mm256_set1_epi32(int(q.tint | 0xFF000000u));
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        for (int y = y0; y < y1; y++) {
            int from = 0, to = 0;
            rowSpan(q, y, from, to);
            uint32_t* dst = pixels + size_t(y) * size_t(stride) + size_t(from);
            int n = to - from, i = 0;
            for (; i + 8 <= n; i += 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), c);
            // the last few under a lane mask, not one at a time
            if (i < n)
                _mm256_maskstore_epi32(reinterpret_cast<int*>(dst + i),
                                       _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), lanes), c);
        }
        return;
    }
    const bool masked = (q.sampler & SamplerMasked) != 0;
    const int kind = samplerKind(q);
    Fetch from = kind == SamplerConstant                    ? Fetch::Constant
                 : kind == SamplerBilinear                  ? Fetch::Bilinear
                 : fixed(q.ux) == 65536 && fixed(q.vx) == 0 ? Fetch::Copy
                                                            : Fetch::Nearest;
    RowsFunction kernel;
    switch (q.blend) {
    case RasterBlend::Solid:
        kernel = kernelsOf<RasterBlend::Solid>(from, masked);
        break;
    case RasterBlend::Alpha:
        kernel = kernelsOf<RasterBlend::Alpha>(from, masked);
        break;
    case RasterBlend::Add:
        kernel = kernelsOf<RasterBlend::Add>(from, masked);
        break;
    default:
        kernel = kernelsOf<RasterBlend::Multiply>(from, masked);
        break;
    }
    kernel(q, pixels, stride, y0, y1);
}

#endif

// Turns 0 <= k X + m0 + mY Y < 1 into bounds on X along each row; when k is
// 0 the condition holds on a range of rows, which narrows top and bottom.
bool edgeBounds(double k, double m0, double mY, double& from, double& to, double& slope,
                double& top, double& bottom) {
    from = -1e300, to = 1e300, slope = 0;
    if (k > 0) {
        from = -m0 / k, to = (1 - m0) / k, slope = -mY / k;
    } else if (k < 0) {
        from = (1 - m0) / k, to = -m0 / k, slope = -mY / k;
    } else if (mY > 0) {
        top = std::max(top, std::ceil(-m0 / mY - 0.5));
        bottom = std::min(bottom, std::ceil((1 - m0) / mY - 0.5));
    } else if (mY < 0) {
        top = std::max(top, std::ceil((1 - m0) / mY - 0.5));
        bottom = std::min(bottom, std::ceil(-m0 / mY - 0.5));
    } else {
        return false;
    }
    return std::isfinite(from) && std::isfinite(to) && std::isfinite(slope) && top < bottom;
}

// Draws the rows [y0, y1) of one quad.
inline void drawQuadRows(RasterCanvas& canvas, const RasterQuad& q, int y0, int y1,
                         RowsFunction rows) {
    rows(q, RasterPicture(canvas), canvas.width, y0, y1);
}

// Draws quads [from, to) of a canvas, only their rows in [y0, y1). A band
// meets only some of a frame's quads, scattered through a long list: they are
// picked a batch at a time from the row spans, and each is fetched into the
// cache while the ones before it draw.
void drawRange(RasterCanvas& canvas, int from, int to, int y0, int y1, RowsFunction span) {
    constexpr int Batch = 64, Ahead = 4;
    const RasterQuad* quads = canvas.quads.data();
    const int* rows = canvas.rowSpans.data();
    int picked[Batch];
    for (int i = from; i < to;) {
        int count = 0;
        for (; i < to && count < Batch; i++)
            if (rows[2 * i] < y1 && rows[2 * i + 1] > y0) picked[count++] = i;
        for (int k = 0; k < count; k++) {
            if (k + Ahead < count) {
                const char* next = reinterpret_cast<const char*>(quads + picked[k + Ahead]);
                for (size_t at = 0; at < sizeof(RasterQuad); at += 64)
                    __builtin_prefetch(next + at);
            }
            const int j = picked[k];
            drawQuadRows(canvas, quads[j], std::max(rows[2 * j], y0), std::min(rows[2 * j + 1], y1),
                         span);
        }
    }
}

constexpr int MostBands = 128;

// One band of rows: how many of the submitted quads it has drawn, and
// whether a thread is drawing it now.
struct Band {
    std::atomic<int> done{0};
    std::atomic<bool> busy{false};
    std::atomic<bool> copied{false}; // its rows are in the copy target
};

// Where a flush copies the finished picture: rows of pitch bytes.
struct CopyTarget {
    uint8_t* pixels = nullptr;
    int pitch = 0, width = 0, height = 0;
};

// Copies rows [y0, y1) of the canvas into the target (as far as both reach).
void copyRows(const RasterCanvas& canvas, const CopyTarget& target, int y0, int y1) {
    if (!RasterPicture(canvas)) return; // a canvas that could not be remade has none
    const int w = std::min(canvas.width, target.width);
    y1 = std::min(y1, target.height);
    for (int y = y0; y < y1; y++)
        std::memcpy(target.pixels + size_t(y) * size_t(target.pitch),
                    RasterPicture(canvas) + size_t(y) * size_t(canvas.width), size_t(w) * 4);
}

// The workers: started once, they draw the quads of the canvas bound to the
// pool while the main thread goes on adding more. Any thread may take any
// band that is behind, but only one at a time, and a band draws its quads in
// the order they were added, so the picture does not depend on who drew what.
struct RasterPool {
    std::mutex lock;
    std::condition_variable wake, finished;
    std::vector<std::thread> workers;
    bool stopping = false;
    // the job: quads [0, submitted) of canvas, in bands of bandRows rows
    RasterCanvas* canvas = nullptr;
    RowsFunction span = nullptr;
    int active = 0; // workers taking part
    std::atomic<int> submitted{0};
    int bandRows = 32, bandCount = 0;
    Band bands[MostBands];
    std::atomic<bool> copying{false}; // the last quads are in: bands copy to target
    CopyTarget target;
    std::atomic<int> waiting{0}; // threads waiting for a band to be finished
    uint64_t submissions = 0;    // counts every hand-over, to wake the workers
    int inside = 0;              // workers between waking and going back to sleep

    ~RasterPool() {
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& t : workers) t.join();
    }

    // Takes every band that is behind and free, and brings it up to date;
    // true when any work was done.
    bool takeBands(int first) {
        bool worked = false;
        for (int k = 0; k < bandCount; k++) {
            Band& band = bands[(first + k) % bandCount];
            if (!behind(band)) continue;
            if (band.busy.exchange(true, std::memory_order_acq_rel)) continue;
            // The copy flag is set after the last quads were submitted, so
            // a band that sees it also sees every quad of the frame.
            bool copy = copying.load(std::memory_order_acquire);
            int from = band.done.load(std::memory_order_relaxed);
            int upTo = submitted.load(std::memory_order_acquire);
            int b = (first + k) % bandCount;
            int y0 = b * bandRows, y1 = std::min(y0 + bandRows, canvas->height);
            drawRange(*canvas, from, upTo, y0, y1, span);
            if (copy && !band.copied.load(std::memory_order_relaxed)) {
                copyRows(*canvas, target, y0, y1);
                band.copied.store(true);
            }
            // Sequentially consistent, so that a thread that has just said it
            // waits either sees the band free or is woken here.
            band.done.store(upTo);
            band.busy.store(false);
            worked = true;
            if (waiting.load() > 0) {
                std::lock_guard<std::mutex> hold(lock);
                finished.notify_all();
            }
        }
        return worked;
    }

    // True when a band has submitted quads left to draw, or rows to copy.
    bool behind(const Band& band) const {
        bool copy = copying.load(std::memory_order_acquire);
        if (band.done.load(std::memory_order_acquire) < submitted.load(std::memory_order_acquire))
            return true;
        return copy && !band.copied.load(std::memory_order_acquire);
    }

    // True when every band has drawn every submitted quad (and copied its rows).
    bool allDone() const {
        for (int b = 0; b < bandCount; b++)
            if (behind(bands[b])) return false;
        return true;
    }

    // A worker's life: wait for new quads, then help with the bands.
    void run(int index) {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            wake.wait(hold, [&] {
                return stopping || (index < active && canvas && submissions != seen);
            });
            if (stopping) return;
            seen = submissions;
            inside++;
            hold.unlock();
            takeBands(index * 7);
            hold.lock();
            if (--inside == 0) finished.notify_all();
        }
    }

    // Starts workers until there are this many.
    void grow(int count) {
        while (int(workers.size()) < count) {
            int index = int(workers.size());
            workers.emplace_back([this, index] { run(index); });
        }
    }
};

RasterPool& pool() {
    static RasterPool instance;
    return instance;
}

// Threads the pool uses by default: the processor's cores, at most four.
int defaultThreads() {
    static const int count = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    return count;
}

RowsFunction chooseSpan(bool simd) {
#ifdef ZP_RASTER_X86
    if (simd && RasterHasAvx2()) return rowsAvx2;
#endif
    (void)simd;
    return rowsScalar;
}

// Draws what is left of the bound canvas's submitted quads, helping the
// workers, and waits for the bands they are still drawing (lock not held).
void drainBands(RasterPool& p) {
    while (!p.allDone()) {
        if (p.takeBands(0)) continue;
        // Every band that is behind is being drawn by a worker: wait for one.
        std::unique_lock<std::mutex> hold(p.lock);
        p.waiting++;
        p.finished.wait(hold, [&] {
            if (p.allDone()) return true;
            for (int b = 0; b < p.bandCount; b++)
                if (p.behind(p.bands[b]) && !p.bands[b].busy.load()) return true;
            return false;
        });
        p.waiting--;
    }
}

// Lets go of the pool's hold on a canvas: its submitted quads are drawn and
// dropped from the canvas.
void release(RasterPool& p) {
    if (!p.canvas) return;
    drainBands(p);
    // No worker may still look at the job when it changes.
    std::unique_lock<std::mutex> hold(p.lock);
    p.finished.wait(hold, [&] { return p.inside == 0; });
    RasterCanvas& old = *p.canvas;
    int drawn = p.submitted.load();
    old.quads.erase(old.quads.begin(), old.quads.begin() + drawn);
    old.rowSpans.erase(old.rowSpans.begin(), old.rowSpans.begin() + 2 * drawn);
    old.submitted = 0;
    p.canvas = nullptr;
    p.submitted = 0;
    p.copying = false;
    for (int b = 0; b < p.bandCount; b++) p.bands[b].done = 0, p.bands[b].copied = false;
}

// Hands the canvas's quads added so far to the workers, binding the pool to
// the canvas (and the thread count and loops it asks for) on the first call.
void submit(RasterCanvas& canvas) {
    RasterPool& p = pool();
    if (p.canvas != &canvas) {
        release(p);
        std::lock_guard<std::mutex> hold(p.lock);
        int threads = canvas.threads > 0 ? std::min(canvas.threads, MostThreads) : defaultThreads();
        p.grow(threads);
        p.canvas = &canvas;
        p.span = chooseSpan(canvas.simd);
        p.active = threads;
        p.bandRows = std::max(BandRows, (canvas.height + MostBands - 1) / MostBands);
        p.bandCount = (canvas.height + p.bandRows - 1) / p.bandRows;
    }
    {
        std::lock_guard<std::mutex> hold(p.lock);
        canvas.submitted = int(canvas.quads.size());
        p.submitted.store(canvas.submitted, std::memory_order_release);
        p.submissions++;
    }
    p.wake.notify_all();
}

// The pixels the pending quads may cover, at most.
double pendingPixels(const RasterCanvas& canvas) {
    double pixels = 0;
    for (const RasterQuad& q : canvas.quads)
        pixels += double(q.right - q.left) * double(q.bottom - q.top);
    return pixels;
}

// Draws every quad of the canvas and leaves it with none pending; with a
// target, each band is copied there as soon as it is finished.
void finish(RasterCanvas& canvas, const CopyTarget* target) {
    RasterPool& p = pool();
    if (canvas.quads.empty()) {
        if (target) copyRows(canvas, *target, 0, canvas.height);
        return;
    }
    if (canvas.submitted == 0) {
        // Nothing is with the workers: a small job is drawn here and now.
        if (pendingPixels(canvas) < SmallJobPixels || canvas.threads == 1) {
            // Band by band, so that the rows being drawn stay in the cache.
            RowsFunction rows = chooseSpan(canvas.simd);
            for (int y = 0; y < canvas.height; y += BandRows)
                drawRange(canvas, 0, int(canvas.quads.size()), y,
                          std::min(y + BandRows, canvas.height), rows);
            canvas.quads.clear();
            canvas.rowSpans.clear();
            if (target) copyRows(canvas, *target, 0, canvas.height);
            return;
        }
    }
    submit(canvas);
    if (target) {
        p.target = *target;
        p.copying.store(true);
        {
            std::lock_guard<std::mutex> hold(p.lock);
            p.submissions++;
        }
        p.wake.notify_all();
    }
    release(p);
}

} // namespace

bool RasterHasAvx2() {
#ifdef ZP_RASTER_X86
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

int RasterPoolSize() {
    return defaultThreads();
}

namespace {

// Opens a canvas on its own pixels or, when memory is given, on that.
bool openCanvas(RasterCanvas& canvas, uint32_t* memory, int width, int height) {
    if (width <= 0 || height <= 0 || width > MaxCanvasSide || height > MaxCanvasSide) return false;
    RasterFlush(canvas);
    try {
        if (memory) {
            canvas.pixels = {};
            std::fill_n(memory, size_t(width) * size_t(height), 0xFF000000u);
        } else {
            canvas.pixels.assign(size_t(width) * size_t(height), 0xFF000000u);
        }
        canvas.lent = memory;
        canvas.quads.reserve(MaxPendingQuads);
        canvas.rowSpans.reserve(size_t(MaxPendingQuads) * 2);
    } catch (const std::bad_alloc&) {
        RasterClose(canvas);
        return false;
    }
    canvas.width = width;
    canvas.height = height;
    RasterSetView(canvas, 1, 0, 0, 0, 0, width, height);
    return true;
}

} // namespace

bool RasterOpen(RasterCanvas& canvas, int width, int height) {
    return openCanvas(canvas, nullptr, width, height);
}

bool RasterOpenOn(RasterCanvas& canvas, uint32_t* memory, int width, int height) {
    return memory && openCanvas(canvas, memory, width, height);
}

uint32_t* RasterPicture(const RasterCanvas& canvas) {
    if (canvas.lent) return canvas.lent;
    // the picture is the canvas's to change, though the record is shared
    return canvas.pixels.empty() ? nullptr : const_cast<uint32_t*>(canvas.pixels.data());
}

void RasterClose(RasterCanvas& canvas) {
    RasterFlush(canvas);
    canvas.pixels = {};
    canvas.lent = nullptr;
    canvas.quads = {};
    canvas.rowSpans = {};
    canvas.width = canvas.height = 0;
}

void RasterSetView(RasterCanvas& canvas, float scale, float offsetX, float offsetY, int clipLeft,
                   int clipTop, int clipWidth, int clipHeight) {
    canvas.scale = std::isfinite(scale) && scale > 0 ? scale : 1.0f;
    canvas.offsetX = std::isfinite(offsetX) ? offsetX : 0.0f;
    canvas.offsetY = std::isfinite(offsetY) ? offsetY : 0.0f;
    canvas.clipLeft = std::clamp(clipLeft, 0, canvas.width);
    canvas.clipTop = std::clamp(clipTop, 0, canvas.height);
    canvas.clipRight = std::clamp(clipLeft + std::max(clipWidth, 0), canvas.clipLeft, canvas.width);
    canvas.clipBottom =
        std::clamp(clipTop + std::max(clipHeight, 0), canvas.clipTop, canvas.height);
}

void RasterClear(RasterCanvas& canvas, uint32_t colour) {
    if (!RasterPicture(canvas)) return;
    // Quads not yet with the workers would be wiped anyway.
    if (canvas.submitted == 0) canvas.quads.clear(), canvas.rowSpans.clear();
    if (canvas.threads == 1) {
        RasterFlush(canvas);
        std::fill_n(RasterPicture(canvas), size_t(canvas.width) * size_t(canvas.height),
                    colour | 0xFF000000u);
        return;
    }
    // The clear joins the queue as a fill of every pixel, so that the
    // workers do it in turn and the caller need not wait for them.
    if (canvas.quads.size() >= size_t(MaxPendingQuads)) RasterFlush(canvas);
    RasterQuad q{};
    q.fromS = q.fromT = -1e300;
    q.toS = q.toT = 1e300;
    q.left = q.top = 0;
    q.right = canvas.width, q.bottom = canvas.height;
    q.tint = colour | 0xFF000000u;
    q.blend = RasterBlend::Solid;
    q.sampler = SamplerFill;
    canvas.quads.push_back(q);
    canvas.rowSpans.push_back(q.top);
    canvas.rowSpans.push_back(q.bottom);
    submit(canvas);
}

bool RasterAdd(RasterCanvas& canvas, const float corners[8], const RasterTexture* texture, float u0,
               float v0, float u1, float v1, uint32_t tint, RasterBlend blend) {
    if (!RasterPicture(canvas)) return false;
    if (texture && (!texture->pixels || texture->width <= 0 || texture->height <= 0)) return false;
    // Corners on the canvas: origin o, edges a (along s) and b (along t).
    const double scale = canvas.scale;
    double ox = corners[0] * scale + canvas.offsetX, oy = corners[1] * scale + canvas.offsetY;
    double ax = (double(corners[2]) - corners[0]) * scale,
           ay = (double(corners[3]) - corners[1]) * scale;
    double bx = (double(corners[4]) - corners[0]) * scale,
           by = (double(corners[5]) - corners[1]) * scale;
    double det = ax * by - ay * bx;
    if (!std::isfinite(ox) || !std::isfinite(oy) || !std::isfinite(det) || std::fabs(det) < 1e-9)
        return false;
    double xs[4] = {ox, ox + ax, ox + ax + bx, ox + bx},
           ys[4] = {oy, oy + ay, oy + ay + by, oy + by};
    double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
    double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
    if (!std::isfinite(minX + maxX + minY + maxY)) return false;
    // Pixels whose centres may fall inside, within the clip rectangle.
    double left = std::max(std::floor(minX), double(canvas.clipLeft));
    double right = std::min(std::ceil(maxX), double(canvas.clipRight));
    double top = std::max(std::floor(minY), double(canvas.clipTop));
    double bottom = std::min(std::ceil(maxY), double(canvas.clipBottom));
    if (!(left < right && top < bottom)) return false;
    if (canvas.quads.size() >= size_t(MaxPendingQuads)) RasterFlush(canvas);

    RasterQuad q{};
    // Inverse of the edge matrix: (s, t) = M^-1 (P - o), so the quad's own
    // coordinates are s = sc + sx X + sy Y and t = tc + tx X + ty Y.
    const double sx = by / det, sy = -bx / det, sc = -(sx * ox + sy * oy);
    const double tx = -ay / det, ty = ax / det, tc = -(tx * ox + ty * oy);
    if (!edgeBounds(sx, sc, sy, q.fromS, q.toS, q.slopeS, top, bottom) ||
        !edgeBounds(tx, tc, ty, q.fromT, q.toT, q.slopeT, top, bottom))
        return false;
    q.left = int(left), q.right = int(right), q.top = int(top), q.bottom = int(bottom);
    q.blend = blend;
    q.tint = tint;
    if (!texture) {
        // Solid fills are opaque; anything else is blended as one colour.
        q.sampler = blend == RasterBlend::Solid ? SamplerFill : SamplerConstant;
    } else if (texture->width == 1 && texture->height == 1) {
        uint32_t t = texture->masked ? maskTexel(texture->pixels[0]) : texture->pixels[0];
        uint32_t r = div255((t >> 16 & 255) * (tint >> 16 & 255));
        uint32_t g = div255((t >> 8 & 255) * (tint >> 8 & 255));
        uint32_t b = div255((t & 255) * (tint & 255)), a = div255((t >> 24) * (tint >> 24));
        q.tint = a << 24 | r << 16 | g << 8 | b;
        q.sampler = blend == RasterBlend::Solid ? SamplerFill : SamplerConstant;
    } else {
        double du = double(u1) - u0, dv = double(v1) - v0;
        if (!std::isfinite(du) || !std::isfinite(dv) || !std::isfinite(double(u0)) ||
            !std::isfinite(double(v0)))
            return false;
        q.ux = du * sx, q.uy = du * sy, q.uc = u0 + du * sc;
        q.vx = dv * tx, q.vy = dv * ty, q.vc = v0 + dv * tc;
        q.texels = texture->pixels;
        q.texWidth = texture->width;
        q.texHeight = texture->height;
        q.sampler = uint8_t(texture->filtered ? SamplerBilinear : SamplerNearest) |
                    uint8_t(texture->masked ? SamplerMasked : 0);
        if (blend == RasterBlend::Solid) q.blend = RasterBlend::Alpha;
    }
    canvas.quads.push_back(q);
    canvas.rowSpans.push_back(q.top);
    canvas.rowSpans.push_back(q.bottom);
    // Workers start on a frame while it is still being drawn.
    if (canvas.threads != 1 && int(canvas.quads.size()) - canvas.submitted >= SubmitQuads)
        submit(canvas);
    return true;
}

void RasterSubmit(RasterCanvas& canvas) {
    if (canvas.threads == 1 || int(canvas.quads.size()) <= canvas.submitted) return;
    if (canvas.submitted == 0 && pendingPixels(canvas) < SmallJobPixels) return;
    submit(canvas);
}

void RasterFlush(RasterCanvas& canvas) {
    if (!canvas.quads.empty()) finish(canvas, nullptr);
}

void RasterFlushTo(RasterCanvas& canvas, void* pixels, int pitch, int width, int height) {
    CopyTarget target{static_cast<uint8_t*>(pixels), pitch, width, height};
    finish(canvas, &target);
}

int RasterPending(const RasterCanvas& canvas) {
    return int(canvas.quads.size());
}
