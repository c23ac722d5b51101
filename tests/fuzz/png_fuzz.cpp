// png_fuzz.cpp - throws arbitrary bytes at the PNG picture loaders.
//
// Each input is written as a file and loaded as a pixel map, as a single
// image and as a sheet of cells. A picture that loads must have exactly its
// pixels, and a small one must come back unchanged through the PNG writer.
#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>

namespace {

int inputs = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzPlatform();
    if (!ChangeDir(FuzzDir())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Freed images keep their (empty) slot; start afresh now and then.
    if (++inputs % 4096 == 0) StartFuzzPlatform();
    WriteFuzzFile("in.png", data, size);
    Pixmap pixmap;
    const bool loaded = LoadPixmapPng("in.png", pixmap);
    if (loaded) {
        FUZZ_CHECK(pixmap.width > 0 && pixmap.height > 0);
        FUZZ_CHECK(pixmap.pixels.size() == size_t(pixmap.width) * size_t(pixmap.height));
        if (pixmap.pixels.size() <= 64 * 64) {
            FUZZ_CHECK(SavePixmapPng(pixmap, "out.png", 1));
            Pixmap again;
            FUZZ_CHECK(LoadPixmapPng("out.png", again));
            FUZZ_CHECK(again.width == pixmap.width && again.height == pixmap.height);
            FUZZ_CHECK(again.pixels == pixmap.pixels);
        }
    } else {
        FUZZ_CHECK(!PlatformError().empty());
    }

    const int image = LoadImage("in.png", ImageMasked);
    FUZZ_CHECK((image != 0) == loaded);
    if (image) {
        FUZZ_CHECK(ImageFrameWidth(image) == pixmap.width);
        FUZZ_CHECK(ImageFrameCount(image) == 1);
        FreeImage(image);
    }
    // Cells of 8 x 8, as many as the picture may hold and a few more.
    const int sheet = LoadImageSheet("in.png", 8, 8, 5, ImageFiltered);
    if (sheet) {
        FUZZ_CHECK(loaded);
        FUZZ_CHECK(ImageFrameCount(sheet) >= 0 && ImageFrameCount(sheet) <= 5);
        FreeImage(sheet);
    }
    return 0;
}
