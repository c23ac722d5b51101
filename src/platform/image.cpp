// image.cpp - the image table: loading single pictures and sheets of equal
// cells, blank images and back-buffer snapshots, handles, and the textures
// made from an image's pixels for the renderer that is open.
#include "platform/video_internal.h"

#include <SDL.h>
#include <algorithm>

namespace {

// A new slot in the image table; returns its handle.
int addImage(ImageRecord&& record) {
    // Pending quads point at pictures of the table: draw them before it moves.
    if (videoState.raster) FlushBatch();
    record.used = true;
    videoState.images.push_back(std::move(record));
    return int(videoState.images.size());
}

// Creates one texture of a surface, alpha thresholded when masked.
SDL_Texture* makeTexture(const Surface& surface, bool masked) {
    SDL_Renderer* renderer = videoState.renderer;
    SDL_Texture* texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC,
                          surface.width, surface.height);
    if (!texture) {
        SetPlatformError(std::string("cannot make a texture: ") + SDL_GetError());
        return nullptr;
    }
    SDL_SetTextureScaleMode(texture, surface.filtered ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
    if (!masked) {
        SDL_UpdateTexture(texture, nullptr, surface.pixels.data(), surface.width * 4);
        return texture;
    }
    // Masked drawing is alpha-tested: a pixel is either drawn fully or not.
    std::vector<uint32_t> tested(surface.pixels);
    for (uint32_t& p : tested) p = (p >> 24) >= 128 ? (p | 0xFF000000u) : 0u;
    SDL_UpdateTexture(texture, nullptr, tested.data(), surface.width * 4);
    return texture;
}

// An image of cells cut from a picture. When the picture holds fewer whole
// cells than asked, it gives as many as fit (all of them for a count of 0 or
// less); a picture smaller than one cell becomes one cell, the rest of it
// transparent.
int makeSheet(Pixmap&& pixmap, int cellWidth, int cellHeight, int cellCount, int flags) {
    ImageRecord record;
    record.cellWidth = cellWidth;
    record.cellHeight = cellHeight;
    record.flags = flags;
    int columns = pixmap.width / cellWidth, rows = pixmap.height / cellHeight;
    Surface& surface = record.surface;
    if (columns == 0 || rows == 0) {
        columns = rows = 1;
        surface.width = cellWidth;
        surface.height = cellHeight;
        surface.pixels.assign(size_t(cellWidth) * size_t(cellHeight), 0);
        for (int y = 0; y < std::min(cellHeight, pixmap.height); y++)
            for (int x = 0; x < std::min(cellWidth, pixmap.width); x++)
                surface.pixels[size_t(y) * size_t(cellWidth) + size_t(x)] =
                    pixmap.pixels[size_t(y) * size_t(pixmap.width) + size_t(x)];
    } else {
        surface.width = pixmap.width;
        surface.height = pixmap.height;
        surface.pixels = std::move(pixmap.pixels);
    }
    record.columns = columns;
    record.frames = cellCount > 0 ? std::min(cellCount, columns * rows) : columns * rows;
    surface.filtered = (flags & ImageFiltered) != 0;
    if (flags & ImageMasked) ApplyMask(surface.pixels);
    if (videoState.centreAnchoring) {
        record.handleX = float(cellWidth) / 2.0f;
        record.handleY = float(cellHeight) / 2.0f;
    }
    return addImage(std::move(record));
}

} // namespace

// The record of a live image handle, or null.
ImageRecord* FindImage(int image) {
    if (image <= 0 || image > int(videoState.images.size())) return nullptr;
    ImageRecord& record = videoState.images[size_t(image - 1)];
    return record.used ? &record : nullptr;
}

// The texture of a surface for the open renderer, made on first use.
SDL_Texture* SurfaceTexture(Surface& surface, bool masked) {
    if (!videoState.renderer || surface.pixels.empty()) return nullptr;
    SDL_Texture*& slot = masked ? surface.maskedTexture : surface.texture;
    if (!slot) slot = makeTexture(surface, masked);
    return slot;
}

// Lets go of a surface's textures (they are made again when needed).
void DropTextures(Surface& surface) {
    // Pending quads may sample these pixels, which are about to change or go.
    if (surface.texture || surface.maskedTexture || videoState.raster) FlushBatch();
    if (surface.texture) SDL_DestroyTexture(surface.texture);
    if (surface.maskedTexture) SDL_DestroyTexture(surface.maskedTexture);
    surface.texture = surface.maskedTexture = nullptr;
}

// Lets go of every texture, before the renderer is destroyed.
void DropAllTextures() {
    for (ImageRecord& image : videoState.images) DropTextures(image.surface);
    for (FontRecord& font : videoState.fonts) DropTextures(font.atlas);
    DropTextures(videoState.white);
}

// Frees every image.
void FreeAllImages() {
    for (ImageRecord& image : videoState.images) DropTextures(image.surface);
    videoState.images.clear();
}

// False (with the reason) for a picture size that is empty or absurd.
bool CheckPictureSize(int width, int height, std::string& why) {
    if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide ||
        int64_t(width) * int64_t(height) > MaxPicturePixels) {
        why = "bad picture size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    return true;
}

// Makes the mask colour transparent.
void ApplyMask(std::vector<uint32_t>& pixels) {
    for (uint32_t& p : pixels)
        if ((p & 0x00FFFFFFu) == 0) p = 0;
}

// Images loaded from now on get their handle at the centre of a frame.
void SetCentreAnchoring(bool on) {
    videoState.centreAnchoring = on;
}

// A single picture as an image of one frame.
int LoadImage(const std::string& path, int flags) {
    Pixmap pixmap;
    std::string why;
    if (!ReadPng(path, pixmap, why)) {
        SetPlatformError("cannot load image " + path + ": " + why);
        return 0;
    }
    int width = pixmap.width, height = pixmap.height;
    return makeSheet(std::move(pixmap), width, height, 1, flags);
}

// A sheet of equal cells, left to right and top to bottom.
int LoadImageSheet(const std::string& path, int cellWidth, int cellHeight, int cellCount,
                   int flags) {
    std::string why;
    if (!CheckPictureSize(cellWidth, cellHeight, why)) {
        SetPlatformError("cannot load image " + path + ": cell size: " + why);
        return 0;
    }
    Pixmap pixmap;
    if (!ReadPng(path, pixmap, why)) {
        SetPlatformError("cannot load image " + path + ": " + why);
        return 0;
    }
    return makeSheet(std::move(pixmap), cellWidth, cellHeight, cellCount, flags);
}

// A blank (transparent) image of one frame.
int CreateImage(int width, int height, int flags) {
    std::string why;
    if (!CheckPictureSize(width, height, why)) {
        SetPlatformError("cannot create an image: " + why);
        return 0;
    }
    ImageRecord record;
    record.cellWidth = width;
    record.cellHeight = height;
    record.frames = 1;
    record.flags = flags;
    record.surface.width = width;
    record.surface.height = height;
    record.surface.pixels.assign(size_t(width) * size_t(height), 0);
    record.surface.filtered = (flags & ImageFiltered) != 0;
    if (videoState.centreAnchoring) {
        record.handleX = float(width) / 2.0f;
        record.handleY = float(height) / 2.0f;
    }
    return addImage(std::move(record));
}

// Copies the back buffer from physical x, y into the image's first frame.
void GrabImage(int image, int x, int y) {
    ImageRecord* record = FindImage(image);
    if (!record) return;
    Pixmap grab = GrabPixmap(x, y, record->cellWidth, record->cellHeight);
    if (grab.pixels.empty()) return;
    Surface& surface = record->surface;
    for (int row = 0; row < grab.height; row++)
        std::copy_n(grab.pixels.begin() + ptrdiff_t(row) * grab.width, grab.width,
                    surface.pixels.begin() + ptrdiff_t(row) * surface.width);
    if (record->flags & ImageMasked) ApplyMask(surface.pixels);
    DropTextures(surface);
}

// Moves the point of the image that lands on the drawing position.
void SetImageHandle(int image, float x, float y) {
    if (ImageRecord* record = FindImage(image)) {
        record->handleX = x;
        record->handleY = y;
    }
}

// Frees an image; its handle is not given out again.
void FreeImage(int image) {
    ImageRecord* record = FindImage(image);
    if (!record) return;
    DropTextures(record->surface);
    *record = ImageRecord{};
}

int ImageFrameWidth(int image) {
    ImageRecord* record = FindImage(image);
    return record ? record->cellWidth : 0;
}

int ImageFrameHeight(int image) {
    ImageRecord* record = FindImage(image);
    return record ? record->cellHeight : 0;
}

int ImageFrameCount(int image) {
    ImageRecord* record = FindImage(image);
    return record ? record->frames : 0;
}
