// font.cpp - TrueType and OpenType fonts through FreeType.
//
// A font is one pixel size of a font file, the size being the height of a
// line from the ascender to the descender (the height the layout places lines
// by), not FreeType's em, which is some 15 % shorter. Every file is opened once as a
// FreeType face, shared by all its sizes (each size is an FT_Size of the face),
// and kept open while any of its fonts lives. Loading a font only reads the
// line metrics; a character is measured, and on the SDL back-end rasterised
// anti-aliased into the font's atlas of white glyphs whose alpha is the
// coverage, the first time it is measured or drawn. Later draws of it find it
// ready, so drawing text allocates nothing once its characters have shown up.
#include "platform/video_internal.h"

#include <SDL.h>
#include <algorithm>
#include <cstdio>
#include <ft2build.h>
#include <unistd.h>
#include FT_FREETYPE_H
#include FT_SIZES_H

namespace {

// One open font file and how many fonts use it.
struct OpenFace {
    std::string path;
    FT_Face face = nullptr;
    int users = 0;
};

struct FontFiles {
    FT_Library library = nullptr;
    std::vector<OpenFace> faces; // slot = FontRecord::face
};

FontFiles files;

// FreeType started on first use; false (with the reason) when it cannot start.
bool startFreeType(std::string& why) {
    if (files.library) return true;
    if (FT_Init_FreeType(&files.library) != 0) {
        files.library = nullptr;
        why = "FreeType cannot start";
        return false;
    }
    return true;
}

// The slot of the open face of a file, opening it when no font uses it yet;
// -1 when FreeType cannot read it.
int openFace(const std::string& path) {
    for (size_t i = 0; i < files.faces.size(); i++)
        if (files.faces[i].face && files.faces[i].path == path) return int(i);
    FT_Face face = nullptr;
    if (FT_New_Face(files.library, path.c_str(), 0, &face) != 0) return -1;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    size_t slot = 0;
    while (slot < files.faces.size() && files.faces[slot].face) slot++;
    if (slot == files.faces.size()) files.faces.emplace_back();
    files.faces[slot] = {path, face, 0};
    return int(slot);
}

// Lets go of a font's size and, with its last font, of the face.
void releaseFace(FontRecord& font) {
    if (font.face < 0 || size_t(font.face) >= files.faces.size()) return;
    OpenFace& open = files.faces[size_t(font.face)];
    if (font.size) FT_Done_Size(font.size);
    font.size = nullptr;
    if (--open.users <= 0 && open.face) {
        FT_Done_Face(open.face);
        open = OpenFace{};
    }
}

// The side of a font's atlas: wide enough for a row of its largest glyphs.
int atlasWidth(int pixelSize) {
    int width = 128;
    while (width < pixelSize * 16 && width < 4096) width *= 2;
    return width;
}

// Makes the atlas at least this tall, doubling; false when it cannot grow.
bool growAtlas(FontRecord& font, int needed) {
    Surface& atlas = font.atlas;
    if (needed <= atlas.height) return true;
    int height = std::max(atlas.height, 16);
    while (height < needed) height *= 2;
    std::string why;
    if (!CheckPictureSize(atlas.width, height, why)) return false;
    // The old textures have the old size; quads already batched are sent first.
    DropTextures(atlas);
    atlas.pixels.resize(size_t(atlas.width) * size_t(height), 0x00FFFFFFu);
    atlas.height = height;
    return true;
}

// Coverage 0..255 of one bitmap pixel.
unsigned char coverageAt(const FT_Bitmap& bitmap, const unsigned char* row, int x) {
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return 0;
    return bitmap.num_grays > 1 ? (unsigned char)(row[x] * 255 / (bitmap.num_grays - 1)) : row[x];
}

// Places the glyph slot's bitmap on the atlas shelves, a pixel apart so that
// smooth sampling never picks up a neighbour, and updates the texture.
void placeBitmap(FontRecord& font, const FT_Bitmap& bitmap, Glyph& glyph) {
    int w = int(bitmap.width), h = int(bitmap.rows);
    Surface& atlas = font.atlas;
    if (w <= 0 || h <= 0 || w + 2 > atlas.width) return;
    if (font.shelfX + w + 1 > atlas.width) {
        font.shelfX = 1;
        font.shelfY += font.shelfHeight + 1;
        font.shelfHeight = 0;
    }
    if (!growAtlas(font, font.shelfY + h + 1)) return;
    glyph.atlasX = font.shelfX;
    glyph.atlasY = font.shelfY;
    glyph.width = w;
    glyph.height = h;
    font.shelfX += w + 1;
    font.shelfHeight = std::max(font.shelfHeight, h);
    for (int y = 0; y < h; y++) {
        const unsigned char* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
        uint32_t* out =
            &atlas.pixels[size_t(glyph.atlasY + y) * size_t(atlas.width) + size_t(glyph.atlasX)];
        for (int x = 0; x < w; x++)
            out[x] = (uint32_t(coverageAt(bitmap, row, x)) << 24) | 0x00FFFFFFu;
    }
    // A texture made earlier gets the new glyph's rectangle; the alpha-tested
    // one is made again from the pixels when next needed.
    if (atlas.texture) {
        SDL_Rect rect{glyph.atlasX, glyph.atlasY, w, h};
        SDL_UpdateTexture(
            atlas.texture, &rect,
            &atlas.pixels[size_t(glyph.atlasY) * size_t(atlas.width) + size_t(glyph.atlasX)],
            atlas.width * 4);
    }
    if (atlas.maskedTexture) {
        SDL_Texture* plain = atlas.texture;
        atlas.texture = nullptr; // keep the plain one, drop only the tested one
        DropTextures(atlas);
        atlas.texture = plain;
    }
}

// Sizes the active size of a face so that a line of text, from the top of
// the font's ascender to the bottom of its descender, is pixelSize tall: the
// layout places lines by that height. A face without outlines takes its
// nearest em size instead.
bool requestSize(FT_Face face, int pixelSize) {
    if (FT_IS_SCALABLE(face)) {
        FT_Size_RequestRec request{};
        request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
        request.height = FT_Long(pixelSize) * 64;
        if (FT_Request_Size(face, &request) == 0) return true;
    }
    return FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)) == 0;
}

// The baseline and line height of a font at its active size. FreeType rounds
// the ascender up and the descender down one by one, which can make a line a
// pixel taller than asked; the line is measured from the unrounded values.
void measureLine(FT_Face face, FontRecord& font) {
    const FT_Size_Metrics& metrics = face->size->metrics;
    long ascender = metrics.ascender, descender = metrics.descender;
    if (FT_IS_SCALABLE(face)) {
        ascender = FT_MulFix(face->ascender, metrics.y_scale);
        descender = FT_MulFix(face->descender, metrics.y_scale);
    }
    font.ascent = int((ascender + 32) >> 6);
    font.lineHeight = int((ascender - descender + 32) >> 6);
    if (font.lineHeight <= 0) font.lineHeight = int((metrics.height + 63) >> 6);
    if (font.lineHeight <= 0) font.lineHeight = font.pixelSize;
}

} // namespace

// A character's glyph: measured, and on the SDL back-end rasterised into the
// atlas, the first time it is asked for.
const Glyph& GlyphOf(FontRecord& font, unsigned char c) {
    Glyph& glyph = font.glyphs[c];
    if (glyph.ready) return glyph;
    glyph.ready = true;
    if (c < 32 || (c >= 127 && c < 160)) return glyph; // control characters have no glyph
    if (font.face < 0 || size_t(font.face) >= files.faces.size() || !font.size) return glyph;
    FT_Face face = files.faces[size_t(font.face)].face;
    bool raster = !font.atlas.pixels.empty();
    if (FT_Activate_Size(font.size) != 0) return glyph;
    FT_UInt index = FT_Get_Char_Index(face, FT_ULong(c));
    if (FT_Load_Glyph(face, index, raster ? FT_LOAD_RENDER : FT_LOAD_DEFAULT) != 0) return glyph;
    FT_GlyphSlot slot = face->glyph;
    glyph.advance = int((slot->advance.x + 32) >> 6);
    if (!raster) return glyph;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    placeBitmap(font, slot->bitmap, glyph);
    return glyph;
}

// The record of a live font handle, or null.
FontRecord* FindFont(int font) {
    if (font <= 0 || font > int(videoState.fonts.size())) return nullptr;
    FontRecord& record = videoState.fonts[size_t(font - 1)];
    return record.used ? &record : nullptr;
}

// Frees every font, closes every face and stops FreeType.
void FreeAllFonts() {
    for (FontRecord& font : videoState.fonts) DropTextures(font.atlas);
    videoState.fonts.clear();
    for (OpenFace& open : files.faces)
        if (open.face) FT_Done_Face(open.face); // also frees its sizes
    files.faces.clear();
    if (files.library) FT_Done_FreeType(files.library);
    files.library = nullptr;
}

// Loads a font file at a pixel size; 0 (see PlatformError) on failure.
int LoadFont(const std::string& path, int pixelSize) {
    std::string why;
    if (pixelSize <= 0 || pixelSize > 1024) {
        SetPlatformError("cannot load font " + path + ": bad size " + std::to_string(pixelSize));
        return 0;
    }
    // A pipe or device in the font's place would make FreeType wait forever.
    int probe = OpenRegularForReading(path, why);
    if (probe < 0) {
        if (why != "not a regular file") why = "file missing or unreadable";
        SetPlatformError("cannot load font " + path + ": " + why);
        return 0;
    }
    close(probe);
    if (!startFreeType(why)) {
        SetPlatformError("cannot load font " + path + ": " + why);
        return 0;
    }
    FontRecord font;
    font.face = openFace(path);
    if (font.face < 0) {
        SetPlatformError("cannot load font " + path + ": not a font FreeType can read");
        return 0;
    }
    OpenFace& open = files.faces[size_t(font.face)];
    open.users++;
    FT_Size size = nullptr;
    bool sized = FT_New_Size(open.face, &size) == 0;
    font.size = size;
    if (!sized || FT_Activate_Size(size) != 0 || !requestSize(open.face, pixelSize)) {
        releaseFace(font);
        SetPlatformError("cannot load font " + path + ": the font has no size " +
                         std::to_string(pixelSize));
        return 0;
    }
    font.pixelSize = pixelSize;
    measureLine(open.face, font);
    if (VideoUsesSdl()) {
        // The atlas starts as one shelf of glyphs and grows as characters show up.
        font.atlas.width = atlasWidth(pixelSize);
        font.atlas.filtered = true;
        if (!growAtlas(font, std::min(font.lineHeight + 2, MaxPictureSide))) {
            releaseFace(font);
            SetPlatformError("cannot load font " + path + ": no room for size " +
                             std::to_string(pixelSize));
            return 0;
        }
    }
    font.used = true;
    videoState.fonts.push_back(std::move(font));
    return int(videoState.fonts.size());
}

// Frees a font; its handle is not given out again.
void FreeFont(int font) {
    FontRecord* record = FindFont(font);
    if (!record) return;
    DropTextures(record->atlas);
    releaseFace(*record);
    *record = FontRecord{};
    if (videoState.font == font) videoState.font = 0;
}

// Makes a font current; an unknown handle makes none current.
void SetFont(int font) {
    videoState.font = FindFont(font) ? font : 0;
}

int CurrentFont() {
    return videoState.font;
}

// Width at scale 1 of the text in the current font: the sum of advances.
int MeasureText(const std::string& text) {
    FontRecord* font = FindFont(videoState.font);
    if (!font) return 0;
    int width = 0;
    for (char c : text) width += GlyphOf(*font, static_cast<unsigned char>(c)).advance;
    return width;
}

// Line height at scale 1 of the current font.
int TextLineHeight() {
    FontRecord* font = FindFont(videoState.font);
    return font ? font->lineHeight : 0;
}
