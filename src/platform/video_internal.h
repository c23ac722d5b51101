// video_internal.h - what the video module's own files (display, drawing,
// images, fonts, PNG files, recording) share with each other.
//
// Every picture is kept in CPU memory as 0xAARRGGBB pixels; the textures of the
// current SDL renderer are made from them on first use and dropped when the
// display closes, so images and fonts outlive a change of display mode.
#pragma once

#include "platform/internal.h"
#include "platform/raster.h"
#include "platform/recording.h"

#include <cstdint>
#include <string>
#include <vector>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct FT_SizeRec_;

// Pictures larger than this on a side, or with more pixels in all, are refused.
constexpr int MaxPictureSide = 16384;
constexpr int64_t MaxPicturePixels = int64_t(1) << 26;

// A picture in CPU memory and its textures for the open renderer.
struct Surface {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    bool filtered = false;
    SDL_Texture* texture = nullptr;       // as it is, for alpha, add and multiply
    SDL_Texture* maskedTexture = nullptr; // alpha thresholded, for masked drawing
};

struct ImageRecord {
    bool used = false;
    Surface surface; // the whole sheet; frames are cells of it
    int cellWidth = 0, cellHeight = 0;
    int columns = 1;
    int frames = 0;
    float handleX = 0, handleY = 0;
    int flags = 0;
};

// One Latin-1 character of a font: its advance and where its bitmap sits.
struct Glyph {
    bool ready = false; // measured (and on the SDL back-end placed in the atlas)
    int advance = 0;
    int left = 0, top = 0; // bitmap offset from the pen and above the baseline
    int width = 0, height = 0;
    int atlasX = 0, atlasY = 0;
};

// A font at one pixel size. Characters are measured and rasterised the first
// time they are measured or drawn; the atlas keeps its width and grows
// downwards, its glyphs packed on shelves from the top.
struct FontRecord {
    bool used = false;
    int face = 0;                // slot in font.cpp's table of open faces
    FT_SizeRec_* size = nullptr; // this pixel size on the shared face
    int pixelSize = 0;
    int ascent = 0;     // baseline below the top of a line
    int lineHeight = 0; // ascender - descender
    Glyph glyphs[256];
    Surface atlas; // white glyphs with coverage as alpha (SDL back-end only)
    int shelfX = 1, shelfY = 1, shelfHeight = 0; // where the next glyph goes
};

struct VideoState {
    bool recording = false; // the recording back-end is active
    bool headless = false;
    bool open = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    bool raster = false;         // the "software" engine: our rasteriser draws into canvas
    bool sdlSoftware = false;    // the "software" engine opens SDL's renderer instead
    bool keepSoftwareGl = false; // GL engines stay GL on a software driver
    RasterCanvas canvas;         // the picture at physical size (raster only)
    int engine = 0;
    std::string engineName;
    std::string driverReport;                 // what the engine's driver is, what draws
    std::string recordedDriver = "recording"; // recording: the GL driver's name
    bool recordedAccelerated = true;          // recording: SDL's acceleration flag
    int physicalWidth = 0, physicalHeight = 0;
    int logicalWidth = 0, logicalHeight = 0; // 0 = same as physical
    std::string title;
    bool pointerVisible = true;
    int vsync = 0; // what the renderer was last set to
    // draw state
    int r = 255, g = 255, b = 255;
    float alpha = 1;
    int blend = BlendAlpha;
    float scaleX = 1, scaleY = 1;
    float rotation = 0;
    int font = 0;
    bool centreAnchoring = false;
    // tables; handle = index + 1
    std::vector<ImageRecord> images;
    std::vector<FontRecord> fonts;
    std::vector<DisplayMode> modes;
    bool refuseOpen = false; // recording: no display opens, as on a machine without a screen
    std::vector<DrawRecord> records;
    Surface white;            // a single white pixel: the texture of rectangles and lines
    int64_t droppedDraws = 0; // draws and quads left out as unable to change a pixel
};

extern VideoState videoState;

// Makes the GL engines draw through SDL's renderer even on a software driver
// (comparisons with SDL's GL renderer), from the next OpenDisplay on.
void KeepSoftwareGl(bool on);

// Makes the "software" engine open SDL's own software renderer instead of the
// rasteriser from the next OpenDisplay on (for comparing the two).
void UseSdlSoftwareRenderer(bool on);

// images (image.cpp)
ImageRecord* FindImage(int image);
SDL_Texture* SurfaceTexture(Surface& surface, bool masked); // made on first use
void DropTextures(Surface& surface);
void DropAllTextures(); // before the renderer goes
void FreeAllImages();
bool CheckPictureSize(int width, int height, std::string& why);
// Pixels of the mask colour (RGB 0, 0, 0) become fully transparent.
void ApplyMask(std::vector<uint32_t>& pixels);

// fonts (font.cpp)
FontRecord* FindFont(int font);
// A character's glyph, measured and rasterised on first use.
const Glyph& GlyphOf(FontRecord& font, unsigned char c);
void FreeAllFonts(); // and the FreeType library

// PNG files (png.cpp)
bool ReadPng(const std::string& path, Pixmap& out, std::string& why);

// drawing (video_draw.cpp)
void FlushBatch();
void ResetVideoDrawState();
// Reads the whole output at physical size into pixels (SDL back-end).
bool ReadOutput(std::vector<uint32_t>& pixels, int& width, int& height);
// The finished picture of the rasteriser (pending quads drawn first), for
// readers of whole frames; false when the rasteriser is not drawing.
bool FinishedFrame(const uint32_t*& pixels, int& width, int& height);

// recording (video_recording.cpp)
void ResetRecording();
void Record(DrawKind kind, float x, float y, float w, float h, int image, int frame,
            const std::string* text);
void UseDefaultRecordedModes();
