// font.cpp - TrueType and OpenType fonts through FreeType.
//
// A font is loaded at one pixel size: every Latin-1 character (32-255) is
// measured and, on the SDL back-end, rasterised anti-aliased into one atlas
// picture of white glyphs whose alpha is the coverage. The FreeType face is
// closed again at once; measuring later needs only the kept advances.
#include "platform/video_internal.h"

#include <algorithm>
#include <cstdio>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

FT_Library library = nullptr;

// Where to put the rasterised glyphs: shelves of a fixed width.
struct GlyphBitmap {
    int width = 0, height = 0;
    std::vector<unsigned char> coverage;
};

// FreeType started on first use; null (with the reason) when it cannot start.
bool startFreeType(std::string& why) {
    if (library) return true;
    if (FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        why = "FreeType cannot start";
        return false;
    }
    return true;
}

// Copies the glyph slot's bitmap as 0..255 coverage.
void copyBitmap(const FT_Bitmap& bitmap, GlyphBitmap& out) {
    out.width = int(bitmap.width);
    out.height = int(bitmap.rows);
    out.coverage.assign(size_t(out.width) * size_t(out.height), 0);
    for (int y = 0; y < out.height; y++) {
        const unsigned char* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
        for (int x = 0; x < out.width; x++) {
            unsigned char value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                value = bitmap.num_grays > 1
                            ? (unsigned char)(row[x] * 255 / (bitmap.num_grays - 1))
                            : row[x];
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                value = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            out.coverage[size_t(y) * size_t(out.width) + size_t(x)] = value;
        }
    }
}

// Packs the glyph bitmaps onto shelves of one atlas, a pixel apart so that
// smooth sampling never picks up a neighbour.
void buildAtlas(FontRecord& font, const std::vector<GlyphBitmap>& bitmaps) {
    int64_t area = 0;
    int widest = 1;
    for (const GlyphBitmap& g : bitmaps) {
        area += int64_t(g.width + 1) * int64_t(g.height + 1);
        widest = std::max(widest, g.width + 2);
    }
    int width = 64;
    while (int64_t(width) * width < area && width < 4096) width *= 2;
    width = std::max(width, widest);
    int x = 1, y = 1, shelf = 0;
    for (int c = 0; c < 256; c++) {
        const GlyphBitmap& g = bitmaps[size_t(c)];
        if (g.width == 0 || g.height == 0) continue;
        if (x + g.width + 1 > width) x = 1, y += shelf + 1, shelf = 0;
        font.glyphs[c].atlasX = x;
        font.glyphs[c].atlasY = y;
        x += g.width + 1;
        shelf = std::max(shelf, g.height);
    }
    int height = y + shelf + 1;
    Surface& atlas = font.atlas;
    atlas.width = width;
    atlas.height = height;
    atlas.filtered = true;
    atlas.pixels.assign(size_t(width) * size_t(height), 0x00FFFFFFu);
    for (int c = 0; c < 256; c++) {
        const GlyphBitmap& g = bitmaps[size_t(c)];
        const Glyph& glyph = font.glyphs[c];
        for (int gy = 0; gy < g.height; gy++)
            for (int gx = 0; gx < g.width; gx++) {
                uint32_t alpha = g.coverage[size_t(gy) * size_t(g.width) + size_t(gx)];
                atlas
                    .pixels[size_t(glyph.atlasY + gy) * size_t(width) + size_t(glyph.atlasX + gx)] =
                    (alpha << 24) | 0x00FFFFFFu;
            }
    }
}

// Measures (and, when raster is set, rasterises) every character of a face.
bool readFace(FT_Face face, int pixelSize, bool raster, FontRecord& font, std::string& why) {
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)) != 0) {
        why = "the font has no size " + std::to_string(pixelSize);
        return false;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    const FT_Size_Metrics& metrics = face->size->metrics;
    font.pixelSize = pixelSize;
    font.ascent = int((metrics.ascender + 63) >> 6);
    font.lineHeight = font.ascent - int(metrics.descender >> 6);
    if (font.lineHeight <= 0) font.lineHeight = int((metrics.height + 63) >> 6);
    if (font.lineHeight <= 0) font.lineHeight = pixelSize;
    std::vector<GlyphBitmap> bitmaps(256);
    for (int c = 32; c < 256; c++) {
        if (c >= 127 && c < 160) continue; // control characters have no glyph
        FT_UInt index = FT_Get_Char_Index(face, FT_ULong(c));
        if (FT_Load_Glyph(face, index, raster ? FT_LOAD_RENDER : FT_LOAD_DEFAULT) != 0) continue;
        FT_GlyphSlot slot = face->glyph;
        Glyph& glyph = font.glyphs[c];
        glyph.advance = int((slot->advance.x + 32) >> 6);
        if (!raster) continue;
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        copyBitmap(slot->bitmap, bitmaps[size_t(c)]);
        glyph.width = bitmaps[size_t(c)].width;
        glyph.height = bitmaps[size_t(c)].height;
    }
    if (raster) buildAtlas(font, bitmaps);
    return true;
}

} // namespace

// The record of a live font handle, or null.
FontRecord* FindFont(int font) {
    if (font <= 0 || font > int(videoState.fonts.size())) return nullptr;
    FontRecord& record = videoState.fonts[size_t(font - 1)];
    return record.used ? &record : nullptr;
}

// Frees every font and stops FreeType.
void FreeAllFonts() {
    for (FontRecord& font : videoState.fonts) DropTextures(font.atlas);
    videoState.fonts.clear();
    if (library) FT_Done_FreeType(library);
    library = nullptr;
}

// Loads a font file at a pixel size; 0 (see PlatformError) on failure.
int LoadFont(const std::string& path, int pixelSize) {
    std::string why;
    if (pixelSize <= 0 || pixelSize > 1024) {
        SetPlatformError("cannot load font " + path + ": bad size " + std::to_string(pixelSize));
        return 0;
    }
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        SetPlatformError("cannot load font " + path + ": file missing or unreadable");
        return 0;
    }
    if (!startFreeType(why)) {
        SetPlatformError("cannot load font " + path + ": " + why);
        return 0;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
        SetPlatformError("cannot load font " + path + ": not a font FreeType can read");
        return 0;
    }
    FontRecord font;
    bool ok = readFace(face, pixelSize, VideoUsesSdl(), font, why);
    FT_Done_Face(face);
    if (!ok) {
        SetPlatformError("cannot load font " + path + ": " + why);
        return 0;
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
    for (char c : text) width += font->glyphs[static_cast<unsigned char>(c)].advance;
    return width;
}

// Line height at scale 1 of the current font.
int TextLineHeight() {
    FontRecord* font = FindFont(videoState.font);
    return font ? font->lineHeight : 0;
}
