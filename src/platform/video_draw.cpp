// video_draw.cpp - the draw state and the drawing operations.
//
// With the "software" engine (and headless) the quads go to our own
// rasteriser (raster.h) instead, already in texel units and untouched by the
// splitting below, which only SDL's renderer needs.
//
// Colour, alpha, blend, scale and rotation are global state applied to every
// draw until changed. On the SDL back-end every rectangle, line, sprite and
// glyph becomes a textured quad (rectangles and lines use a white pixel) that
// is appended to one batch; a run of quads with the same texture and blend
// goes to SDL_RenderGeometry in one call. The batch buffers are reserved once
// and never grow: a full batch is simply sent.
//
// On the virtual clock drawing time is not measured by real time, so a quad
// that cannot change a pixel (fully transparent under alpha or add blending,
// or wholly outside the drawing area) is charged its virtual cost and then
// dropped before the software renderer would rasterise it. On the real clock
// such quads are drawn like any other, since the engine test times them.
#include "platform/video_internal.h"

#include <SDL.h>
#include <algorithm>
#include <cmath>

namespace {

constexpr int BatchQuads = 4096;

struct Batch {
    std::vector<SDL_Vertex> vertices;
    std::vector<int> indices;
    SDL_Texture* texture = nullptr;
    SDL_BlendMode blend = SDL_BLENDMODE_BLEND;
};

Batch batch;

// Where a draw's local points go on screen: pivot + rotate(scale * point).
struct Transform {
    float px, py;
    float xx, xy, yx, yy; // the 2x2 matrix of scale then rotation
};

// Cosine and sine of the last rotation used, so runs of draws at one angle
// do not recompute them.
struct Turn {
    float degrees = 0, c = 1, s = 0;
};

Turn turn;

// The transform of the current scale and rotation about a pivot.
Transform transformAt(float px, float py) {
    if (videoState.rotation != turn.degrees) {
        double radians = double(videoState.rotation) * 3.14159265358979323846 / 180.0;
        turn = {videoState.rotation, float(std::cos(radians)), float(std::sin(radians))};
    }
    float c = turn.c, s = turn.s;
    return {px,
            py,
            c * videoState.scaleX,
            -s * videoState.scaleY,
            s * videoState.scaleX,
            c * videoState.scaleY};
}

// Applies a transform to a local point.
SDL_FPoint apply(const Transform& t, float x, float y) {
    return {t.px + t.xx * x + t.xy * y, t.py + t.yx * x + t.yy * y};
}

// SDL's blend mode for the current draw blend.
SDL_BlendMode sdlBlend() {
    switch (videoState.blend) {
    case BlendAdd:
        return SDL_BLENDMODE_ADD;
    case BlendMultiply:
        return SDL_BLENDMODE_MUL;
    default:
        return SDL_BLENDMODE_BLEND;
    }
}

// The tint of the current colour and alpha; masked drawing ignores alpha.
SDL_Color tint() {
    int a = videoState.blend == BlendMask ? 255 : int(videoState.alpha * 255.0f + 0.5f);
    return {Uint8(videoState.r), Uint8(videoState.g), Uint8(videoState.b), Uint8(a)};
}

// True when drawing can reach the screen at all.
bool canDraw() {
    return !videoState.recording && (videoState.renderer || videoState.raster);
}

// The rasteriser's blend for the current draw blend (textured quads).
RasterBlend rasterBlend() {
    switch (videoState.blend) {
    case BlendAdd:
        return RasterBlend::Add;
    case BlendMultiply:
        return RasterBlend::Multiply;
    default:
        return RasterBlend::Alpha; // masked drawing is alpha-tested texels blended
    }
}

// Hands one quad (corners clockwise from top-left) to the rasteriser; a null
// surface is an opaque solid fill.
void pushRaster(const Surface* surface, const SDL_FPoint corners[4], float u0, float v0, float u1,
                float v1, SDL_Color color);

// True when a draw in the current state cannot change a pixel and may be
// dropped: only on the virtual clock, and only for alpha or add blending at
// alpha 0 (masked drawing ignores alpha, multiply darkens whatever the alpha).
bool droppedAsInvisible() {
    if (videoState.blend != BlendAlpha && videoState.blend != BlendAdd) return false;
    if (tint().a != 0 || !ClockIsVirtual()) return false;
    videoState.droppedDraws++;
    return true;
}

// True when a quad lies wholly outside the logical drawing area (with a pixel
// to spare for smooth sampling) and the virtual clock lets it be dropped.
bool droppedAsOutside(const SDL_FPoint corners[4]) {
    float left = corners[0].x, right = left, top = corners[0].y, bottom = top;
    for (int i = 1; i < 4; i++) {
        left = std::min(left, corners[i].x), right = std::max(right, corners[i].x);
        top = std::min(top, corners[i].y), bottom = std::max(bottom, corners[i].y);
    }
    const float margin = 1;
    bool outside = right < -margin || bottom < -margin || left > float(LogicalWidth()) + margin ||
                   top > float(LogicalHeight()) + margin;
    // NaN corners compare false everywhere and are left to SDL, as before.
    if (!outside || !ClockIsVirtual()) return false;
    videoState.droppedDraws++;
    return true;
}

// Appends one quad (corners clockwise from top-left) to the batch as it is.
void pushPiece(SDL_Texture* texture, const SDL_FPoint corners[4], float u0, float v0, float u1,
               float v1, SDL_Color color) {
    if (droppedAsOutside(corners)) return;
    // Untextured quads are opaque solid fills (see solidFill).
    SDL_BlendMode blend = texture ? sdlBlend() : SDL_BLENDMODE_NONE;
    if (batch.texture != texture || batch.blend != blend ||
        batch.vertices.size() + 4 > batch.vertices.capacity()) {
        FlushBatch();
        batch.texture = texture;
        batch.blend = blend;
    }
    int base = int(batch.vertices.size());
    batch.vertices.push_back({corners[0], color, {u0, v0}});
    batch.vertices.push_back({corners[1], color, {u1, v0}});
    batch.vertices.push_back({corners[2], color, {u1, v1}});
    batch.vertices.push_back({corners[3], color, {u0, v1}});
    const int order[6] = {0, 1, 2, 0, 2, 3};
    for (int i : order) batch.indices.push_back(base + i);
}

// The point a fraction t of the way from a to b.
SDL_FPoint lerp(SDL_FPoint a, SDL_FPoint b, float t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// Appends one quad (corners clockwise from top-left) to the batch. The
// software renderer walks every pixel of a triangle's bounding box, so a long
// thin quad at an angle (a stripe across the screen) costs as much as the
// whole screen; such a quad goes in as a row of short pieces along its
// length, which share their cut points exactly and so cover the same area.
void pushQuad(SDL_Texture* texture, const SDL_FPoint corners[4], float u0, float v0, float u1,
              float v1, SDL_Color color) {
    float left = corners[0].x, right = left, top = corners[0].y, bottom = top;
    for (int i = 1; i < 4; i++) {
        left = std::min(left, corners[i].x), right = std::max(right, corners[i].x);
        top = std::min(top, corners[i].y), bottom = std::max(bottom, corners[i].y);
    }
    float ax = corners[1].x - corners[0].x, ay = corners[1].y - corners[0].y; // along u
    float bx = corners[3].x - corners[0].x, by = corners[3].y - corners[0].y; // along v
    float box = (right - left) * (bottom - top), area = std::fabs(ax * by - ay * bx);
    constexpr float SplitBox = 16384, ShortestPiece = 16;
    constexpr int MostPieces = 256;
    if (!(box > SplitBox && box > 4 * area))
        return pushPiece(texture, corners, u0, v0, u1, v1, color);
    float lengthU = std::sqrt(ax * ax + ay * ay), lengthV = std::sqrt(bx * bx + by * by);
    bool alongU = lengthU >= lengthV;
    float piece = std::max(std::min(lengthU, lengthV), ShortestPiece);
    int count = std::clamp(int(std::ceil((alongU ? lengthU : lengthV) / piece)), 1, MostPieces);
    // Cut points on the two long sides; the first and last are the corners.
    SDL_FPoint a0 = corners[0], a1 = alongU ? corners[1] : corners[3];
    SDL_FPoint b0 = alongU ? corners[3] : corners[1], b1 = corners[2];
    SDL_FPoint fromA = a0, fromB = b0;
    float from = alongU ? u0 : v0, span = alongU ? u1 - u0 : v1 - v0;
    for (int i = 1; i <= count; i++) {
        float t = float(i) / float(count);
        SDL_FPoint toA = i == count ? a1 : lerp(a0, a1, t), toB = i == count ? b1 : lerp(b0, b1, t);
        float to = i == count ? (alongU ? u1 : v1) : from + span / float(count);
        if (alongU) {
            SDL_FPoint quad[4] = {fromA, toA, toB, fromB};
            pushPiece(texture, quad, from, v0, to, v1, color);
        } else {
            SDL_FPoint quad[4] = {fromA, fromB, toB, toA};
            pushPiece(texture, quad, u0, from, u1, to, color);
        }
        fromA = toA, fromB = toB, from = to;
    }
}

void pushRaster(const Surface* surface, const SDL_FPoint corners[4], float u0, float v0, float u1,
                float v1, SDL_Color color) {
    if (droppedAsOutside(corners)) return;
    const float points[8] = {corners[0].x, corners[0].y, corners[1].x,
                             corners[1].y, corners[3].x, corners[3].y};
    uint32_t tint = uint32_t(color.a) << 24 | uint32_t(color.r) << 16 | uint32_t(color.g) << 8 |
                    uint32_t(color.b);
    if (!surface) {
        RasterAdd(videoState.canvas, points, nullptr, 0, 0, 1, 1, tint, RasterBlend::Solid);
        return;
    }
    RasterTexture texture;
    texture.pixels = surface->pixels.data();
    texture.width = surface->width;
    texture.height = surface->height;
    texture.filtered = surface->filtered;
    texture.masked = videoState.blend == BlendMask;
    RasterAdd(videoState.canvas, points, &texture, u0, v0, u1, v1, tint, rasterBlend());
}

// Adds a quad of local rectangle (x, y, w, h) under a transform, sampling a
// sub-rectangle of a surface given in its pixels.
void pushSurfaceQuad(Surface& surface, const Transform& t, float x, float y, float w, float h,
                     int sx, int sy, int sw, int sh) {
    if (videoState.raster) {
        if (surface.pixels.empty()) return;
        SDL_FPoint corners[4] = {apply(t, x, y), apply(t, x + w, y), apply(t, x + w, y + h),
                                 apply(t, x, y + h)};
        return pushRaster(&surface, corners, float(sx), float(sy), float(sx + sw), float(sy + sh),
                          tint());
    }
    SDL_Texture* texture = SurfaceTexture(surface, videoState.blend == BlendMask);
    if (!texture) return;
    SDL_FPoint corners[4] = {apply(t, x, y), apply(t, x + w, y), apply(t, x + w, y + h),
                             apply(t, x, y + h)};
    float iw = 1.0f / float(surface.width), ih = 1.0f / float(surface.height);
    pushQuad(texture, corners, float(sx) * iw, float(sy) * ih, float(sx + sw) * iw,
             float(sy + sh) * ih, tint());
}

// True when a rectangle or line in the current state simply covers its pixels
// with the colour: opaque under alpha or mask blending. Such quads go to the
// renderer untextured, which the software renderer fills far faster than it
// samples and blends the white pixel, with the same pixels as the result.
bool solidFill() {
    return (videoState.blend == BlendAlpha || videoState.blend == BlendMask) && tint().a == 255;
}

// The width of a line in logical pixels: one, or as many as make one physical
// pixel when the logical picture is shown smaller than it is drawn, so that a
// thin line does not fall between the physical pixels and come out dashed.
float lineWidth() {
    int lw = LogicalWidth(), lh = LogicalHeight();
    if (lw <= 0 || lh <= 0 || videoState.physicalWidth <= 0 || videoState.physicalHeight <= 0)
        return 1;
    float shown = std::min(float(videoState.physicalWidth) / float(lw),
                           float(videoState.physicalHeight) / float(lh));
    return shown < 1 ? 1 / shown : 1;
}

// Makes sure the white pixel exists for rectangles and lines.
Surface& whitePixel() {
    Surface& white = videoState.white;
    if (white.pixels.empty()) {
        white.width = white.height = 1;
        white.pixels.assign(1, 0xFFFFFFFFu);
    }
    return white;
}

} // namespace

// Sends the pending quads to the renderer.
void FlushBatch() {
    if (batch.vertices.capacity() < size_t(BatchQuads) * 4) {
        batch.vertices.reserve(size_t(BatchQuads) * 4);
        batch.indices.reserve(size_t(BatchQuads) * 6);
    }
    if (videoState.raster) RasterFlush(videoState.canvas);
    if (batch.vertices.empty()) return;
    if (videoState.renderer) {
        if (batch.texture)
            SDL_SetTextureBlendMode(batch.texture, batch.blend);
        else
            SDL_SetRenderDrawBlendMode(videoState.renderer, batch.blend);
        SDL_RenderGeometry(videoState.renderer, batch.texture, batch.vertices.data(),
                           int(batch.vertices.size()), batch.indices.data(),
                           int(batch.indices.size()));
    }
    batch.vertices.clear();
    batch.indices.clear();
    batch.texture = nullptr;
}

// The draw state a fresh start has: white, opaque, alpha blend, no transform.
void ResetVideoDrawState() {
    videoState.r = videoState.g = videoState.b = 255;
    videoState.alpha = 1;
    videoState.blend = BlendAlpha;
    videoState.scaleX = videoState.scaleY = 1;
    videoState.rotation = 0;
    videoState.font = 0;
    batch.vertices.clear();
    batch.indices.clear();
    batch.texture = nullptr;
}

// Sets the colour; each part is kept within 0..255.
void SetColor(int r, int g, int b) {
    videoState.r = std::clamp(r, 0, 255);
    videoState.g = std::clamp(g, 0, 255);
    videoState.b = std::clamp(b, 0, 255);
}

// Sets the alpha, kept within 0..1 (NaN counts as 0).
void SetAlpha(float alpha) {
    videoState.alpha = alpha >= 0 ? std::min(alpha, 1.0f) : 0.0f;
}

// Sets the blend mode; an unknown mode leaves it unchanged.
void SetBlend(int mode) {
    if (mode >= BlendMask && mode <= BlendMultiply) videoState.blend = mode;
}

// Sets the scale of later draws; negative mirrors.
void SetDrawScale(float sx, float sy) {
    videoState.scaleX = std::isfinite(sx) ? sx : 1.0f;
    videoState.scaleY = std::isfinite(sy) ? sy : 1.0f;
}

// Sets the rotation of later draws, degrees clockwise on screen.
void SetDrawRotation(float degrees) {
    videoState.rotation = std::isfinite(degrees) ? degrees : 0;
}

void GetDrawScale(float& sx, float& sy) {
    sx = videoState.scaleX;
    sy = videoState.scaleY;
}

float GetDrawAlpha() {
    return videoState.alpha;
}
int GetDrawBlend() {
    return videoState.blend;
}

void GetColor(int& r, int& g, int& b) {
    r = videoState.r;
    g = videoState.g;
    b = videoState.b;
}

float GetDrawRotation() {
    return videoState.rotation;
}

// Clears the whole back buffer to black.
void ClearScreen() {
    if (videoState.recording) {
        Record(DrawKind::Clear, 0, 0, 0, 0, 0, 0, nullptr);
    } else if (videoState.raster) {
        RasterClear(videoState.canvas, 0xFF000000u);
    } else if (videoState.renderer) {
        FlushBatch();
        SDL_SetRenderDrawColor(videoState.renderer, 0, 0, 0, 255);
        SDL_RenderClear(videoState.renderer);
    }
}

// A filled rectangle with its top-left at x, y, scaled and turned about it.
void DrawRect(float x, float y, float w, float h) {
    ChargeDrawCost();
    if (videoState.recording) return Record(DrawKind::Rect, x, y, w, h, 0, 0, nullptr);
    if (!canDraw() || droppedAsInvisible()) return;
    Transform t = transformAt(x, y);
    if (solidFill()) {
        SDL_FPoint corners[4] = {apply(t, 0, 0), apply(t, w, 0), apply(t, w, h), apply(t, 0, h)};
        if (videoState.raster) return pushRaster(nullptr, corners, 0, 0, 1, 1, tint());
        return pushQuad(nullptr, corners, 0, 0, 1, 1, tint());
    }
    pushSurfaceQuad(whitePixel(), t, 0, 0, w, h, 0, 0, 1, 1);
}

// A one-pixel line; scale and rotation act about its first point.
void DrawLine(float x1, float y1, float x2, float y2) {
    ChargeDrawCost();
    if (videoState.recording) return Record(DrawKind::Line, x1, y1, x2, y2, 0, 0, nullptr);
    if (!canDraw() || droppedAsInvisible()) return;
    Transform t = transformAt(x1, y1);
    // Integer points name pixels, so the line runs through pixel centres.
    SDL_FPoint a = apply(t, 0, 0), b = apply(t, x2 - x1, y2 - y1);
    a.x += 0.5f, a.y += 0.5f, b.x += 0.5f, b.y += 0.5f;
    float dx = b.x - a.x, dy = b.y - a.y;
    float length = std::sqrt(dx * dx + dy * dy);
    // A line of no length is a single pixel; otherwise a quad one pixel wide
    // (one physical pixel at least) that reaches half its width beyond each
    // end, so the end pixels are lit.
    float ux = length > 0 ? dx / length : 1.0f, uy = length > 0 ? dy / length : 0.0f;
    float half = 0.5f * lineWidth();
    float hx = ux * half, hy = uy * half; // along the line
    float nx = -hy, ny = hx;              // across it
    SDL_FPoint corners[4] = {{a.x - hx + nx, a.y - hy + ny},
                             {b.x + hx + nx, b.y + hy + ny},
                             {b.x + hx - nx, b.y + hy - ny},
                             {a.x - hx - nx, a.y - hy - ny}};
    if (videoState.raster)
        return pushRaster(solidFill() ? nullptr : &whitePixel(), corners, 0, 0, 1, 1, tint());
    if (solidFill()) return pushQuad(nullptr, corners, 0, 0, 1, 1, tint());
    SDL_Texture* texture = SurfaceTexture(whitePixel(), videoState.blend == BlendMask);
    if (texture) pushQuad(texture, corners, 0, 0, 1, 1, tint());
}

// One frame of an image placed by its handle, scaled and turned about it.
void DrawImageFrame(int image, float x, float y, int frame) {
    ImageRecord* record = FindImage(image);
    if (!record || frame < 0 || frame >= record->frames) return;
    ChargeDrawCost();
    float cw = float(record->cellWidth), ch = float(record->cellHeight);
    if (videoState.recording) return Record(DrawKind::Image, x, y, cw, ch, image, frame, nullptr);
    if (!canDraw() || droppedAsInvisible()) return;
    int sx = (frame % record->columns) * record->cellWidth;
    int sy = (frame / record->columns) * record->cellHeight;
    pushSurfaceQuad(record->surface, transformAt(x, y), -record->handleX, -record->handleY, cw, ch,
                    sx, sy, record->cellWidth, record->cellHeight);
}

// Text in the current font with its top-left at x, y, scaled and turned
// about it; each byte is one Latin-1 character.
void DrawString(const std::string& text, float x, float y) {
    ChargeDrawCost();
    if (videoState.recording) return Record(DrawKind::Text, x, y, 0, 0, 0, 0, &text);
    FontRecord* font = FindFont(videoState.font);
    if (!font || !canDraw() || font->atlas.pixels.empty() || droppedAsInvisible()) return;
    Transform t = transformAt(x, y);
    int pen = 0;
    for (char c : text) {
        const Glyph& glyph = GlyphOf(*font, static_cast<unsigned char>(c));
        if (glyph.width > 0 && glyph.height > 0)
            pushSurfaceQuad(font->atlas, t, float(pen + glyph.left),
                            float(font->ascent - glyph.top), float(glyph.width),
                            float(glyph.height), glyph.atlasX, glyph.atlasY, glyph.width,
                            glyph.height);
        pen += glyph.advance;
    }
}

// Reads the whole output at physical size; the logical scaling is lifted
// for the read so that nothing is cropped or scaled.
bool ReadOutput(std::vector<uint32_t>& pixels, int& width, int& height) {
    const uint32_t* frame = nullptr;
    if (FinishedFrame(frame, width, height)) {
        pixels.assign(frame, frame + size_t(width) * size_t(height));
        return true;
    }
    SDL_Renderer* renderer = videoState.renderer;
    if (!renderer || videoState.recording) return false;
    FlushBatch();
    if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0 || width <= 0 || height <= 0)
        return false;
    int lw = 0, lh = 0;
    SDL_RenderGetLogicalSize(renderer, &lw, &lh);
    if (lw > 0) SDL_RenderSetLogicalSize(renderer, 0, 0);
    pixels.assign(size_t(width) * size_t(height), 0);
    bool ok = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(),
                                   width * 4) == 0;
    if (lw > 0) SDL_RenderSetLogicalSize(renderer, lw, lh);
    if (!ok) SetPlatformError(std::string("cannot read the screen: ") + SDL_GetError());
    return ok;
}

bool FinishedFrame(const uint32_t*& pixels, int& width, int& height) {
    if (!videoState.raster || !RasterPicture(videoState.canvas)) return false;
    FlushBatch();
    pixels = RasterPicture(videoState.canvas);
    width = videoState.canvas.width;
    height = videoState.canvas.height;
    return true;
}

// Copies a rectangle of the back buffer in physical pixels; parts outside
// the screen (and everything with the recording back-end) are black.
Pixmap GrabPixmap(int x, int y, int width, int height) {
    Pixmap pixmap;
    std::string why;
    if (!CheckPictureSize(width, height, why)) {
        SetPlatformError("GrabPixmap: " + why);
        return pixmap;
    }
    pixmap.width = width;
    pixmap.height = height;
    pixmap.pixels.assign(size_t(width) * size_t(height), 0xFF000000u);
    std::vector<uint32_t> screen;
    int sw = 0, sh = 0;
    if (!ReadOutput(screen, sw, sh)) return pixmap;
    for (int row = 0; row < height; row++) {
        int sy = y + row;
        if (sy < 0 || sy >= sh) continue;
        for (int col = 0; col < width; col++) {
            int sx = x + col;
            if (sx < 0 || sx >= sw) continue;
            pixmap.pixels[size_t(row) * size_t(width) + size_t(col)] =
                screen[size_t(sy) * size_t(sw) + size_t(sx)] | 0xFF000000u;
        }
    }
    return pixmap;
}
