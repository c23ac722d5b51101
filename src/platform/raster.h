// raster.h - the platform's own rasteriser: draws a frame's quads (textured
// affine quads, solid fills) into a picture in CPU memory, split into bands of
// rows over a small pool of worker threads, with AVX2 inner loops when the
// processor has them and a portable path that gives the same pixels.
//
// A canvas collects quads already mapped to its pixels; RasterFlush draws the
// pending ones in order. Pixels are 0xAARRGGBB and the picture stays opaque.
#pragma once

#include <cstdint>
#include <vector>

// How a quad's colour meets the picture.
enum class RasterBlend : uint8_t {
    Solid,   // the tint replaces the pixel
    Alpha,   // src * a + dst * (1 - a)
    Add,     // dst + src * a
    Multiply // src * dst + dst * (1 - a)
};

// A picture a quad samples; pixels are straight (not premultiplied) ARGB.
struct RasterTexture {
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    bool filtered = false; // bilinear, else nearest
    bool masked = false;   // texels are alpha-tested at 128 before use
};

// One quad ready to draw: a parallelogram in canvas pixels with the inverse
// mapping to texel coordinates, and the rows and columns it may touch.
struct RasterQuad {
    // texel (u, v) at canvas point (X, Y): u = uc + ux X + uy Y, likewise v.
    double uc, ux, uy, vc, vx, vy;
    // the quad's own coordinates s, t in [0, 1) as bounds on X along a row:
    // lo = from + slope Y <= X < to + slope Y
    double fromS, toS, slopeS, fromT, toT, slopeT;
    const uint32_t* texels;
    int texWidth, texHeight;
    int top, bottom, left, right; // clipped pixel bounds, bottom and right exclusive
    uint32_t tint;                // ARGB
    RasterBlend blend;
    uint8_t sampler; // see raster.cpp
};

// A picture being drawn and the quads waiting for it.
struct RasterCanvas {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // the picture, unless it is drawn in lent memory
    uint32_t* lent = nullptr;     // memory drawn in instead (RasterOpenOn)
    // where drawing may land (the letterboxed drawing area)
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
    // the logical-to-physical mapping folded into every quad
    float scale = 1, offsetX = 0, offsetY = 0;
    std::vector<RasterQuad> quads; // capacity reserved once, never grows
    std::vector<int> rowSpans;     // top and bottom row of each pending quad
    int submitted = 0;             // quads handed to the workers so far
    int threads = 0;               // 0 = the pool's size
    bool simd = true;              // AVX2 when the processor has it
};

// Makes (or remakes) a canvas of this size, black, clipped to all of it;
// false when the size is absurd or memory runs out.
bool RasterOpen(RasterCanvas& canvas, int width, int height);
// Makes (or remakes) a canvas drawn straight into memory it does not own,
// width x height pixels with rows back to back (a window's own picture), so
// a frame needs no copy at its end; black, clipped to all of it. The memory
// must stay until the canvas is closed or opened again.
bool RasterOpenOn(RasterCanvas& canvas, uint32_t* memory, int width, int height);
// Where the canvas's picture is: its pixels or the lent memory (null when
// it has none).
uint32_t* RasterPicture(const RasterCanvas& canvas);
// Frees the canvas's memory (lent memory goes back untouched).
void RasterClose(RasterCanvas& canvas);
// Sets the logical mapping and the clip rectangle (pending quads keep theirs).
void RasterSetView(RasterCanvas& canvas, float scale, float offsetX, float offsetY, int clipLeft,
                   int clipTop, int clipWidth, int clipHeight);
// Fills the whole canvas with an opaque colour (pending quads are drawn first).
void RasterClear(RasterCanvas& canvas, uint32_t colour);
// Adds a quad of logical corners x0,y0 (s=0,t=0), x1,y1 (s=1), x3,y3 (t=1),
// sampling texel rectangle u0..u1, v0..v1 of the texture (null = solid
// colour). A quad that cannot draw anything (not finite, no area, off the
// canvas) is left out. Returns false when the quad was left out.
bool RasterAdd(RasterCanvas& canvas, const float corners[8], const RasterTexture* texture, float u0,
               float v0, float u1, float v1, uint32_t tint, RasterBlend blend);
// Hands the pending quads to the workers now, so that they draw while the
// caller waits for something else (a frame's pacing); a job too small to be
// worth a hand-over stays for the flush.
void RasterSubmit(RasterCanvas& canvas);
// Draws the pending quads.
void RasterFlush(RasterCanvas& canvas);
// Draws the pending quads and copies the picture into rows of pitch bytes
// (width x height pixels, ARGB): the workers copy each band of rows as soon as
// it is finished, while the others are still being drawn.
void RasterFlushTo(RasterCanvas& canvas, void* pixels, int pitch, int width, int height);
// Number of quads waiting.
int RasterPending(const RasterCanvas& canvas);
// True when this processor runs the AVX2 inner loops.
bool RasterHasAvx2();
// The size of the worker pool (the main thread included).
int RasterPoolSize();
