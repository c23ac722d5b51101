// png.cpp - reading and writing PNG pictures with libpng.
//
// Reading goes through libpng's simplified API from a buffer held in memory,
// after the picture's size has been checked, so a corrupt or hostile file can
// only fail. Writing uses the full API for the compression level; its error
// handler longjmps back into the encoder, and a partial file is removed.
#include "platform/video_internal.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr long MaxPngFileBytes = 256L * 1024 * 1024;

// Reads a whole file into memory; false with a reason.
bool readFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& why) {
    int fd = OpenRegularForReading(path, why);
    FILE* file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!file) {
        if (fd >= 0) close(fd);
        if (why != "not a regular file") why = "file missing or unreadable";
        return false;
    }
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && size <= MaxPngFileBytes && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(size_t(size));
        ok = size == 0 || std::fread(bytes.data(), 1, size_t(size), file) == size_t(size);
    }
    std::fclose(file);
    if (!ok) why = "file cannot be read";
    return ok;
}

// The text of the last libpng error while writing.
char writeError[200];

// libpng's error handler while writing: keep the text and jump back.
[[noreturn]] void onWriteError(png_structp png, png_const_charp message) {
    std::snprintf(writeError, sizeof writeError, "%s", message ? message : "libpng error");
    png_longjmp(png, 1);
}

// Warnings while writing are not failures.
void onWriteWarning(png_structp, png_const_charp) {}

// mkstemp makes files only the owner can read; a picture is for everyone.
void fchmodTo644(const std::string& path) {
    chmod(path.c_str(), 0644);
}

} // namespace

// Decodes a PNG file into 0xAARRGGBB pixels; false with a reason.
bool ReadPng(const std::string& path, Pixmap& out, std::string& why) {
    std::vector<unsigned char> bytes;
    if (!readFile(path, bytes, why)) return false;
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        why = "not a PNG picture";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        why = std::string("corrupt PNG: ") + image.message;
        png_image_free(&image);
        return false;
    }
    if (!CheckPictureSize(int(std::min<png_uint_32>(image.width, 1u << 30)),
                          int(std::min<png_uint_32>(image.height, 1u << 30)), why)) {
        png_image_free(&image);
        return false;
    }
    // 0xAARRGGBB words are B, G, R, A bytes on a little-endian machine.
    image.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    std::vector<uint32_t> pixels(size_t(image.width) * size_t(image.height));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        why = std::string("corrupt PNG: ") + image.message;
        png_image_free(&image);
        return false;
    }
    out.width = int(image.width);
    out.height = int(image.height);
    out.pixels = std::move(pixels);
    png_image_free(&image);
    return true;
}

// Loads a PNG file as a pixmap.
bool LoadPixmapPng(const std::string& path, Pixmap& out) {
    std::string why;
    if (ReadPng(path, out, why)) return true;
    SetPlatformError("cannot load " + path + ": " + why);
    return false;
}

// Encodes the pixmap into an open file; false (with writeError) when libpng
// fails. Kept apart so that no local variable lives across the longjmp.
static bool encode(png_structp png, png_infop info, FILE* file, const Pixmap& pixmap, bool opaque,
                   int level, png_byte* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, png_uint_32(pixmap.width), png_uint_32(pixmap.height), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < pixmap.height; y++) {
        const uint32_t* source = pixmap.pixels.data() + size_t(y) * size_t(pixmap.width);
        png_byte* out = row;
        for (int x = 0; x < pixmap.width; x++) {
            uint32_t p = source[x];
            *out++ = png_byte(p >> 16);
            *out++ = png_byte(p >> 8);
            *out++ = png_byte(p);
            if (!opaque) *out++ = png_byte(p >> 24);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

// Writes a pixmap as a PNG file at a zlib level 0..9; opaque pictures are
// written without an alpha channel. The picture goes to a temporary file
// beside the target and is renamed over it when complete, so a failed write
// leaves neither a partial picture nor harm to what was there.
bool SavePixmapPng(const Pixmap& pixmap, const std::string& path, int level) {
    std::string why;
    if (!CheckPictureSize(pixmap.width, pixmap.height, why) ||
        pixmap.pixels.size() != size_t(pixmap.width) * size_t(pixmap.height)) {
        SetPlatformError("cannot save " + path + ": " + (why.empty() ? "bad pixmap" : why));
        return false;
    }
    bool opaque = true;
    for (uint32_t p : pixmap.pixels) opaque = opaque && (p >> 24) == 0xFF;
    std::vector<png_byte> row(size_t(pixmap.width) * 4);
    std::string temporary = path + ".XXXXXX";
    int descriptor = mkstemp(temporary.data());
    FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (!file) {
        if (descriptor >= 0) close(descriptor), std::remove(temporary.c_str());
        SetPlatformError("cannot save " + path + ": cannot create the file");
        return false;
    }
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onWriteError, onWriteWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::snprintf(writeError, sizeof writeError, "out of memory");
    bool ok =
        png && info && encode(png, info, file, pixmap, opaque, std::clamp(level, 0, 9), row.data());
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        std::snprintf(writeError, sizeof writeError, "the file could not be finished");
    }
    if (ok) fchmodTo644(temporary);
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        std::snprintf(writeError, sizeof writeError, "cannot replace the file");
    }
    if (!ok) {
        std::remove(temporary.c_str());
        SetPlatformError("cannot save " + path + ": " + writeError);
    }
    return ok;
}
