// raster_fuzz.cpp - throws arbitrary draw lists at the rasteriser.
//
// The bytes are read as a list of drawing operations with raw float
// arguments (so NaN, infinities, huge and negative sizes all turn up) and
// drawn twice: through the headless display (rectangles, lines, sprites,
// text under every blend, scale and turn, with a logical size), and straight
// onto two canvases drawn by one and by three threads. The display must stay
// whole and opaque, and the two canvases must come out the same.
#include "fuzz_support.h"

#include "platform/raster.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

int sheet = 0, smooth = 0, font = 0;

// Reads the input a piece at a time; zeros once it runs out.
struct Reader {
    const uint8_t* data;
    size_t size, at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    float real() {
        uint32_t bits = 0;
        for (int i = 0; i < 4; i++) bits |= uint32_t(byte()) << (8 * i);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    // A float that is mostly a sensible screen coordinate, sometimes anything.
    float coordinate() {
        uint8_t kind = byte();
        if (kind < 200) return float(int(kind) * 2 - 100) + float(byte()) / 256.0f;
        return real();
    }
    bool done() const { return at >= size; }
};

// A small picture of every kind of alpha.
Pixmap picture(int w, int h) {
    Pixmap p;
    p.width = w, p.height = h;
    for (int i = 0; i < w * h; i++) p.pixels.push_back(uint32_t(i) * 2654435761u);
    return p;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzPlatform(true);
    if (!ChangeDir(FuzzDir())) std::abort();
    if (!OpenDisplay(96, 72, 0, 60)) std::abort();
    SetLogicalSize(120, 80);
    if (!SavePixmapPng(picture(24, 12), "sheet.png", 1)) std::abort();
    sheet = LoadImageSheet("sheet.png", 12, 12, 2, ImageMasked);
    smooth = LoadImage("sheet.png", ImageFiltered);
    font = LoadFont("/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf", 11);
    if (!sheet || !smooth) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Through the display.
    Reader in{data, size};
    ClearScreen();
    for (int ops = 0; !in.done() && ops < 64; ops++) {
        switch (in.byte() % 10) {
        case 0:
            SetColor(in.byte(), in.byte(), in.byte());
            break;
        case 1:
            SetAlpha(in.real());
            break;
        case 2:
            SetBlend(in.byte() % 5);
            break;
        case 3:
            SetDrawScale(in.real(), in.coordinate());
            break;
        case 4:
            SetDrawRotation(in.real());
            break;
        case 5:
            DrawRect(in.coordinate(), in.coordinate(), in.coordinate(), in.coordinate());
            break;
        case 6:
            DrawLine(in.coordinate(), in.coordinate(), in.coordinate(), in.coordinate());
            break;
        case 7:
            DrawImageFrame(in.byte() % 2 ? sheet : smooth, in.coordinate(), in.coordinate(),
                           in.byte() % 3);
            break;
        case 8:
            if (font) {
                SetFont(font);
                DrawString("Plon 251", in.coordinate(), in.coordinate());
            }
            break;
        default:
            if (in.byte() % 8 == 0) Flip(0);
            break;
        }
    }
    Flip(0);
    Pixmap screen = GrabPixmap(0, 0, PhysicalWidth(), PhysicalHeight());
    FUZZ_CHECK(screen.width == 96 && screen.height == 72);
    for (uint32_t p : screen.pixels) FUZZ_CHECK((p >> 24) == 0xFF);
    SetDrawScale(1, 1);
    SetDrawRotation(0);

    // Straight onto canvases, one thread against three.
    static RasterCanvas one, three;
    if (one.pixels.empty()) {
        FUZZ_CHECK(RasterOpen(one, 61, 47));
        FUZZ_CHECK(RasterOpen(three, 61, 47));
        one.threads = 1;
        three.threads = 3;
    }
    static const Pixmap texels = picture(7, 5);
    RasterClear(one, 0xFF203040u);
    RasterClear(three, 0xFF203040u);
    Reader again{data, size};
    for (int quads = 0; !again.done() && quads < 200; quads++) {
        float corners[8];
        for (int i = 0; i < 6; i++) corners[i] = again.coordinate();
        corners[6] = corners[7] = 0;
        uint8_t kind = again.byte();
        RasterTexture texture;
        texture.pixels = texels.pixels.data();
        texture.width = texels.width;
        texture.height = texels.height;
        texture.filtered = kind & 1;
        texture.masked = kind & 2;
        const RasterTexture* use = kind & 4 ? &texture : nullptr;
        float u0 = again.coordinate(), v0 = again.coordinate();
        float u1 = again.coordinate(), v1 = again.coordinate();
        uint32_t tint = again.real() != 0 ? uint32_t(again.byte()) * 0x01030507u : 0xFFFFFFFFu;
        RasterBlend blend = RasterBlend(kind >> 3 & 3);
        bool a = RasterAdd(one, corners, use, u0, v0, u1, v1, tint, blend);
        bool b = RasterAdd(three, corners, use, u0, v0, u1, v1, tint, blend);
        FUZZ_CHECK(a == b);
    }
    RasterFlush(one);
    RasterFlush(three);
    FUZZ_CHECK(one.pixels == three.pixels);
    return 0;
}
