// font_fuzz.cpp - throws arbitrary bytes at the TrueType font loader.
//
// The platform runs its real SDL renderer on the offscreen driver so that
// every glyph is rasterised into the font's atlas, as in the game. A font
// that loads is measured and drawn (which makes the atlas a texture) on a
// small offscreen window.
#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

int inputs = 0;

// A fresh platform with a small offscreen window open.
void start() {
    StartFuzzPlatform(true);
    if (!OpenDisplay(320, 240, 0, 0)) {
        std::fprintf(stderr, "no offscreen window: %s\n", PlatformError().c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    start();
    if (!ChangeDir(FuzzDir())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Freed fonts keep their (empty) slot; start afresh now and then.
    if (++inputs % 4096 == 0) start();
    WriteFuzzFile("in.ttf", data, size);
    // The sizes of the game's font ladder lie between these.
    const int pixelSize = 8 + (size > 0 ? data[size - 1] % 41 : 0);
    const int font = LoadFont("in.ttf", pixelSize);
    if (!font) {
        FUZZ_CHECK(!PlatformError().empty());
        return 0;
    }
    SetFont(font);
    FUZZ_CHECK(CurrentFont() == font);
    FUZZ_CHECK(TextLineHeight() > 0);
    const std::string a = "Zorvek Plon 0123456789", b = "\xe9\xe8\xfc\xdf\xa9 |#[]";
    FUZZ_CHECK(MeasureText("") == 0);
    FUZZ_CHECK(MeasureText(a) >= 0 && MeasureText(b) >= 0);
    ClearScreen();
    DrawString(a, 4, 4);
    DrawString(b, 4, 4 + float(TextLineHeight()));
    Flip(0);
    FreeFont(font);
    FUZZ_CHECK(CurrentFont() == 0);
    return 0;
}
