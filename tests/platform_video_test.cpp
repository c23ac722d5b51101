// platform_video_test.cpp - the SDL drawing back-end on SDL's offscreen video
// driver (software renderer): where rectangles, sprites, lines and text land,
// logical scaling, masking and blending, read back with GrabPixmap.
#include "platform/platform.h"
#include "platform/video_internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// A fresh temporary folder, with a trailing "/".
std::string freshDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zp-video-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "/tmp/";
    return pattern + "/";
}

const char* const FontPath = "/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf";

constexpr uint32_t Black = 0xFF000000u;
constexpr uint32_t Red = 0xFFFF0000u;
constexpr uint32_t Green = 0xFF00FF00u;
constexpr uint32_t Blue = 0xFF0000FFu;
constexpr uint32_t White = 0xFFFFFFFFu;

struct SdlVideo : ::testing::Test {
    Pixmap screen;
    std::string dir;

    void SetUp() override {
        PlatformShutdown();
        PlatformConfig config;
        config.headless = true;
        config.virtualClock = true;
        config.silentAudio = true;
        config.endThrows = true;
        config.seed = 1;
        ASSERT_TRUE(PlatformInit(config)) << PlatformError();
        SetGraphicsEngine(0); // asked for OpenGL, but headless always renders in software
        ASSERT_TRUE(OpenDisplay(200, 150, 0, 60)) << PlatformError();
        dir = freshDir();
    }
    void TearDown() override {
        PlatformShutdown();
        std::filesystem::remove_all(dir);
    }

    // Reads the whole back buffer.
    void grab() { screen = GrabPixmap(0, 0, PhysicalWidth(), PhysicalHeight()); }
    uint32_t at(int x, int y) const { return screen.pixels[size_t(y * screen.width + x)]; }

    // Writes a picture of w x h pixels to a PNG file and returns its path.
    std::string picture(const std::string& name, int w, int h, std::vector<uint32_t> pixels) {
        Pixmap pm{w, h, std::move(pixels)};
        std::string path = dir + name;
        EXPECT_TRUE(SavePixmapPng(pm, path, 1)) << PlatformError();
        return path;
    }
    std::string solid(const std::string& name, int w, int h, uint32_t colour) {
        return picture(name, w, h, std::vector<uint32_t>(size_t(w * h), colour));
    }
};

// Channel helpers for approximate checks.
int red(uint32_t p) {
    return int(p >> 16 & 0xFF);
}
int green(uint32_t p) {
    return int(p >> 8 & 0xFF);
}
int blue(uint32_t p) {
    return int(p & 0xFF);
}

TEST_F(SdlVideo, HeadlessOpensTheSoftwareRendererAtTheAskedSize) {
    EXPECT_EQ(OpenedEngineName(), "software");
    EXPECT_TRUE(DisplayIsOpen());
    EXPECT_EQ(PhysicalWidth(), 200);
    EXPECT_EQ(PhysicalHeight(), 150);
    EXPECT_EQ(LogicalWidth(), 200); // no logical size yet: the physical one
    grab();
    ASSERT_EQ(screen.pixels.size(), 200u * 150u);
    EXPECT_EQ(at(0, 0), Black);
}

TEST_F(SdlVideo, ModeListHasTheUsualWindowSizesUpToFullHdPlus) {
    EXPECT_TRUE(DisplayModeExists(1280, 720, DisplayModeAt(CountDisplayModes() - 1).depth));
    bool has1920x1200 = false, tooBig = false;
    for (int i = 0; i < CountDisplayModes(); i++) {
        DisplayMode m = DisplayModeAt(i);
        has1920x1200 |= m.width == 1920 && m.height == 1200;
        tooBig |= m.width == 2560;
    }
    EXPECT_TRUE(has1920x1200);
    EXPECT_FALSE(tooBig);
    EXPECT_EQ(DisplayModeAt(-1).width, 0);
    EXPECT_EQ(DisplayModeAt(CountDisplayModes()).width, 0);
}

TEST_F(SdlVideo, RotatedTintedRectangleTurnsClockwiseAboutItsTopLeft) {
    SetColor(255, 0, 0);
    SetDrawRotation(90); // the rectangle's width now points down the screen
    DrawRect(100, 50, 40, 10);
    grab();
    EXPECT_EQ(at(95, 70), Red); // inside the turned rectangle (x 90..100, y 50..90)
    EXPECT_EQ(at(91, 88), Red);
    EXPECT_EQ(at(105, 55), Black); // where it would be without the turn
    EXPECT_EQ(at(95, 93), Black);  // past its end
    EXPECT_EQ(at(102, 70), Black); // right of the pivot
}

TEST_F(SdlVideo, ScaledRectangleGrowsFromItsTopLeft) {
    SetColor(0, 255, 0);
    SetDrawScale(2, 3);
    DrawRect(10, 10, 10, 10); // covers x 10..30, y 10..40
    grab();
    EXPECT_EQ(at(11, 11), Green);
    EXPECT_EQ(at(28, 38), Green);
    EXPECT_EQ(at(31, 20), Black);
    EXPECT_EQ(at(20, 41), Black);
    EXPECT_EQ(at(9, 20), Black);
}

TEST_F(SdlVideo, CentreAnchoredSpriteScalesAboutItsCentreAndMirrors) {
    // Left half red, right half blue, 4 x 4.
    std::vector<uint32_t> px(16);
    for (int i = 0; i < 16; i++) px[size_t(i)] = (i % 4) < 2 ? Red : Blue;
    std::string path = picture("halves.png", 4, 4, px);
    SetCentreAnchoring(true);
    int image = LoadImage(path, 0);
    ASSERT_NE(image, 0) << PlatformError();
    EXPECT_EQ(ImageFrameWidth(image), 4);
    SetDrawScale(3, 2);
    DrawImageFrame(image, 50, 50, 0); // 12 x 8 centred on 50, 50: x 44..56, y 46..54
    SetDrawScale(-3, 2);
    DrawImageFrame(image, 150, 50, 0); // mirrored: blue on the left
    grab();
    EXPECT_EQ(at(45, 47), Red);
    EXPECT_EQ(at(49, 53), Red);
    EXPECT_EQ(at(51, 47), Blue);
    EXPECT_EQ(at(55, 53), Blue);
    EXPECT_EQ(at(43, 50), Black);
    EXPECT_EQ(at(57, 50), Black);
    EXPECT_EQ(at(50, 45), Black);
    EXPECT_EQ(at(50, 55), Black);
    EXPECT_EQ(at(145, 50), Blue);
    EXPECT_EQ(at(155, 50), Red);
}

TEST_F(SdlVideo, SpriteHandleIsTopLeftUnlessMovedAndTurnsAboutIt) {
    int image = LoadImage(solid("green.png", 10, 4, Green), 0);
    ASSERT_NE(image, 0);
    DrawImageFrame(image, 20, 20, 0); // top-left handle: x 20..30, y 20..24
    SetImageHandle(image, 0, 4);      // bottom-left corner
    SetDrawRotation(-90);             // counter-clockwise: the width points up
    DrawImageFrame(image, 100, 100, 0);
    grab();
    EXPECT_EQ(at(21, 21), Green);
    EXPECT_EQ(at(29, 23), Green);
    EXPECT_EQ(at(19, 21), Black);
    EXPECT_EQ(at(21, 25), Black);
    // Bottom edge on the pivot turned to point left-to-up: covers x 96..100, y 90..100.
    EXPECT_EQ(at(98, 92), Green);
    EXPECT_EQ(at(98, 99), Green);
    EXPECT_EQ(at(102, 95), Black);
    EXPECT_EQ(at(98, 88), Black);
}

TEST_F(SdlVideo, SheetFramesDrawTheirOwnCells) {
    // Two cells of 2 x 2: red then green.
    std::string path = picture("sheet.png", 4, 2, {Red, Red, Green, Green, Red, Red, Green, Green});
    int sheet = LoadImageSheet(path, 2, 2, 2, 0);
    ASSERT_NE(sheet, 0);
    SetDrawScale(5, 5);
    DrawImageFrame(sheet, 10, 10, 1);
    DrawImageFrame(sheet, 40, 10, 0);
    DrawImageFrame(sheet, 70, 10, 2); // no such frame: nothing
    grab();
    EXPECT_EQ(at(15, 15), Green);
    EXPECT_EQ(at(45, 15), Red);
    EXPECT_EQ(at(75, 15), Black);
}

TEST_F(SdlVideo, LogicalSizeScalesToThePhysicalDisplay) {
    SetLogicalSize(100, 75);
    EXPECT_EQ(LogicalWidth(), 100);
    EXPECT_EQ(LogicalHeight(), 75);
    SetColor(255, 255, 255);
    DrawRect(10, 10, 10, 10); // physical 20..40
    grab();
    ASSERT_EQ(screen.width, 200); // the grab is at physical size
    EXPECT_EQ(at(21, 21), White);
    EXPECT_EQ(at(38, 38), White);
    EXPECT_EQ(at(18, 18), Black);
    EXPECT_EQ(at(42, 42), Black);
    // A rectangle over the whole logical screen covers the whole physical one.
    DrawRect(0, 0, 100, 75);
    grab();
    EXPECT_EQ(at(0, 0), White);
    EXPECT_EQ(at(199, 149), White);
}

TEST_F(SdlVideo, MaskedBlackIsTransparentAndMaskBlendIsAlphaTested) {
    SetColor(255, 0, 0);
    DrawRect(0, 0, 200, 150);
    SetColor(255, 255, 255);
    // White left half, black right half; loaded masked the black vanishes.
    std::vector<uint32_t> px(16);
    for (int i = 0; i < 16; i++) px[size_t(i)] = (i % 4) < 2 ? White : Black;
    int masked = LoadImage(picture("mask.png", 4, 4, px), ImageMasked);
    int plain = LoadImage(dir + "mask.png", 0);
    ASSERT_NE(masked, 0);
    SetDrawScale(4, 4);
    DrawImageFrame(masked, 20, 20, 0);
    DrawImageFrame(plain, 60, 20, 0);
    // Alpha-tested drawing: a faint pixel is skipped, a strong one drawn fully,
    // whatever the alpha in force.
    int faint = LoadImage(solid("faint.png", 4, 4, 0x50FFFFFFu), 0);
    int strong = LoadImage(solid("strong.png", 4, 4, 0xC0FFFFFFu), 0);
    SetBlend(BlendMask);
    SetAlpha(0.2f);
    DrawImageFrame(faint, 100, 20, 0);
    DrawImageFrame(strong, 140, 20, 0);
    grab();
    EXPECT_EQ(at(22, 22), White);
    EXPECT_EQ(at(33, 22), Red); // masked black shows the red below
    EXPECT_EQ(at(73, 22), Black);
    EXPECT_EQ(at(105, 25), Red);
    EXPECT_EQ(at(145, 25), White);
}

TEST_F(SdlVideo, AlphaAddAndMultiplyBlendWithWhatIsThere) {
    SetColor(100, 100, 100);
    DrawRect(0, 0, 200, 150);
    SetBlend(BlendAdd);
    SetColor(50, 20, 200);
    DrawRect(10, 10, 10, 10);
    SetBlend(BlendMultiply);
    SetColor(128, 255, 0);
    DrawRect(30, 10, 10, 10);
    SetBlend(BlendAlpha);
    SetColor(255, 255, 255);
    SetAlpha(0.5f);
    DrawRect(50, 10, 10, 10);
    grab();
    uint32_t added = at(15, 15), multiplied = at(35, 15), mixed = at(55, 15);
    EXPECT_NEAR(red(added), 150, 2);
    EXPECT_NEAR(green(added), 120, 2);
    EXPECT_EQ(blue(added), 255); // saturates
    EXPECT_NEAR(red(multiplied), 50, 2);
    EXPECT_NEAR(green(multiplied), 100, 2);
    EXPECT_EQ(blue(multiplied), 0);
    EXPECT_NEAR(red(mixed), 178, 3);
    EXPECT_EQ(at(5, 5), 0xFF646464u);
}

TEST_F(SdlVideo, TintModulatesImages) {
    int image = LoadImage(solid("white.png", 4, 4, White), 0);
    SetColor(255, 128, 0);
    SetDrawScale(4, 4);
    DrawImageFrame(image, 10, 10, 0);
    grab();
    EXPECT_EQ(red(at(12, 12)), 255);
    EXPECT_NEAR(green(at(12, 12)), 128, 1);
    EXPECT_EQ(blue(at(12, 12)), 0);
}

TEST_F(SdlVideo, LinesLightThePixelsBetweenTheirEnds) {
    SetColor(0, 0, 255);
    DrawLine(10, 20, 60, 20);
    DrawLine(100, 10, 100, 60);
    grab();
    for (int x : {10, 30, 60}) EXPECT_EQ(at(x, 20), Blue) << x; // both ends lit
    EXPECT_EQ(at(30, 21), Black);
    EXPECT_EQ(at(30, 19), Black);
    EXPECT_EQ(at(9, 20), Black);
    EXPECT_EQ(at(61, 20), Black);
    EXPECT_EQ(at(100, 10), Blue);
    EXPECT_EQ(at(100, 60), Blue);
    EXPECT_EQ(at(100, 40), Blue);
    EXPECT_EQ(at(101, 40), Black);
    EXPECT_EQ(at(99, 40), Black);
}

TEST_F(SdlVideo, TextDrawsInItsColourWithinItsMeasuredBox) {
    int font = LoadFont(FontPath, 32);
    ASSERT_NE(font, 0) << PlatformError();
    SetFont(font);
    int w = MeasureText("Hello"), h = TextLineHeight();
    ASSERT_GT(w, 20);
    ASSERT_GT(h, 20);
    SetColor(255, 255, 0);
    DrawString("Hello", 20, 30);
    grab();
    int inside = 0, outside = 0, wrongColour = 0;
    for (int y = 0; y < 150; y++)
        for (int x = 0; x < 200; x++) {
            uint32_t p = at(x, y);
            if (p == Black) continue;
            bool in = x >= 19 && x <= 20 + w && y >= 29 && y <= 30 + h;
            (in ? inside : outside)++;
            if (blue(p) > 10 || red(p) != green(p)) wrongColour++;
        }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(wrongColour, 0);
    int fullYellow = 0;
    for (uint32_t p : screen.pixels) fullYellow += p == 0xFFFFFF00u;
    EXPECT_GT(fullYellow, 20);
}

TEST_F(SdlVideo, ImagesAndFontsSurviveReopeningTheDisplay) {
    int image = LoadImage(solid("red.png", 8, 8, Red), 0);
    int font = LoadFont(FontPath, 20);
    DrawImageFrame(image, 0, 0, 0); // makes its texture on the first renderer
    CloseDisplay();
    EXPECT_FALSE(DisplayIsOpen());
    DrawImageFrame(image, 0, 0, 0); // nothing open: ignored
    ASSERT_TRUE(OpenDisplay(160, 120, 0, 60));
    EXPECT_EQ(PhysicalWidth(), 160);
    DrawImageFrame(image, 10, 10, 0);
    SetFont(font);
    DrawString("W", 50, 50);
    grab();
    EXPECT_EQ(at(12, 12), Red);
    int lit = 0;
    for (uint32_t p : screen.pixels) lit += p != Black && p != Red;
    EXPECT_GT(lit, 10);
}

TEST_F(SdlVideo, GrabImageCopiesTheBackBuffer) {
    SetColor(0, 255, 0);
    DrawRect(0, 0, 10, 10);
    SetColor(255, 255, 255);
    int snapshot = CreateImage(20, 20, 0);
    ASSERT_NE(snapshot, 0);
    GrabImage(snapshot, 0, 0); // green top-left quarter, the rest black
    ClearScreen();
    DrawImageFrame(snapshot, 100, 100, 0);
    grab();
    EXPECT_EQ(at(105, 105), Green);
    EXPECT_EQ(at(115, 115), Black);
    EXPECT_EQ(at(5, 5), Black); // the clear removed the original
}

TEST_F(SdlVideo, GrabPixmapOutsideTheScreenIsBlackAndSizedAsAsked) {
    SetColor(255, 0, 0);
    DrawRect(190, 140, 10, 10);
    Pixmap part = GrabPixmap(190, 140, 20, 20);
    ASSERT_EQ(part.width, 20);
    ASSERT_EQ(part.pixels.size(), 400u);
    EXPECT_EQ(part.pixels[0], Red);
    EXPECT_EQ(part.pixels[9 * 20 + 9], Red);
    EXPECT_EQ(part.pixels[15 * 20 + 15], Black);
    EXPECT_TRUE(GrabPixmap(0, 0, 0, 10).pixels.empty());
}

TEST_F(SdlVideo, DrawingWithHandleZeroOrNoFontChangesNothing) {
    DrawImageFrame(0, 50, 50, 0);
    DrawImageFrame(12345, 50, 50, 0);
    SetFont(0);
    DrawString("nothing", 10, 10);
    grab();
    for (uint32_t p : screen.pixels) ASSERT_EQ(p, Black);
}

TEST_F(SdlVideo, ManyDrawsInOneFrameAreAllDrawn) {
    // More quads than one batch holds, alternating textures and blends.
    int image = LoadImage(solid("g.png", 1, 1, Green), 0);
    for (int i = 0; i < 10000; i++) {
        int x = i % 200, y = (i / 200) % 150;
        if (i % 3 == 0) {
            DrawImageFrame(image, float(x), float(y), 0);
        } else {
            SetColor(0, 255, 0);
            DrawRect(float(x), float(y), 1, 1);
        }
    }
    Flip(0);
    grab();
    for (int i = 0; i < 10000; i++) ASSERT_EQ(at(i % 200, (i / 200) % 150), Green) << i;
}

} // namespace

// Draws that cannot change a pixel are dropped on the virtual clock only, cost
// the same virtual time as visible ones, and nothing visible is ever dropped.
TEST_F(SdlVideo, InvisibleDrawsAreDroppedOnlyWhenNothingCouldShow) {
    SetVirtualDrawCost(1000);
    SetColor(200, 0, 0);
    DrawRect(0, 0, 200, 150);
    int white = LoadImage(solid("w.png", 4, 4, White), 0);
    SetColor(255, 255, 255);
    int64_t dropped = videoState.droppedDraws;
    int before = Millis();
    SetAlpha(0);
    for (int blend : {BlendAlpha, BlendAdd}) {
        SetBlend(blend);
        DrawRect(0, 0, 50, 50);
        DrawImageFrame(white, 10, 10, 0);
        DrawLine(0, 0, 40, 40);
    }
    SetAlpha(1);
    SetBlend(BlendAlpha);
    DrawRect(-60, 10, 20, 20);       // left of the screen
    DrawRect(10, 300, 20, 20);       // below it
    EXPECT_EQ(Millis() - before, 8); // every draw still costs its virtual time
    EXPECT_EQ(videoState.droppedDraws - dropped, 8);
    // Visible in spite of alpha 0 (mask, multiply), a faint alpha, or reaching
    // onto the screen from outside it: all drawn.
    SetAlpha(0);
    SetBlend(BlendMask);
    DrawImageFrame(white, 60, 10, 0);
    SetBlend(BlendMultiply);
    DrawRect(80, 10, 10, 10);
    SetBlend(BlendAlpha);
    SetAlpha(0.02f);
    DrawRect(100, 10, 10, 10);
    SetAlpha(1);
    SetColor(0, 0, 255);
    DrawRect(-8, 100, 10, 10); // two columns on screen
    SetDrawRotation(45);
    DrawRect(230, 40, 60, 60); // turned back onto the right edge
    SetDrawRotation(0);
    EXPECT_EQ(videoState.droppedDraws - dropped, 8);
    grab();
    EXPECT_EQ(at(5, 5), 0xFFC80000u); // the alpha-0 draws left the red alone
    EXPECT_EQ(at(20, 20), 0xFFC80000u);
    EXPECT_EQ(at(61, 11), White);
    EXPECT_EQ(red(at(85, 15)), 255); // multiply at alpha 0 still brightens
    EXPECT_GT(green(at(105, 15)), 0);
    EXPECT_EQ(at(1, 105), Blue);
    EXPECT_EQ(at(3, 105), 0xFFC80000u);
    EXPECT_EQ(at(195, 80), Blue);
}

// On the real clock the engine test times real drawing, so nothing is dropped.
TEST(SdlVideoRealClock, InvisibleDrawsAreStillDrawn) {
    PlatformShutdown();
    PlatformConfig config;
    config.headless = true;
    config.silentAudio = true;
    config.endThrows = true;
    ASSERT_TRUE(PlatformInit(config)) << PlatformError();
    ASSERT_TRUE(OpenDisplay(100, 100, 0, 60)) << PlatformError();
    SetAlpha(0);
    DrawRect(0, 0, 10, 10);
    SetAlpha(1);
    DrawRect(-50, -50, 10, 10);
    EXPECT_EQ(videoState.droppedDraws, 0);
    PlatformShutdown();
}

// A long thin stripe at an angle goes in as pieces; together they light the
// same pixels as the whole, with no gap or double-blended seam.
TEST_F(SdlVideo, LongTurnedStripesCoverTheirWholeAreaOnce) {
    SetAlpha(0.5f);
    SetDrawRotation(-45);
    DrawRect(-40, 100, 400, 12); // split into pieces along its length
    SetDrawRotation(0);
    SetAlpha(1);
    grab();
    int half = 0, other = 0;
    for (uint32_t p : screen.pixels) {
        if (p == Black) continue;
        (std::abs(red(p) - 128) <= 1 ? half : other)++;
    }
    EXPECT_GT(half, 1000); // a band 12 wide across the top-left corner
    EXPECT_EQ(other, 0);   // a seam drawn twice would be brighter
    // Along the band's middle line (x + y = 68) every pixel is lit.
    for (int x = 0; x <= 68; x++) EXPECT_NE(at(x, 68 - x), Black) << x;
}

// Glyphs are made the first time they are drawn: an atlas growing in the middle
// of a frame keeps what was already drawn, and a character looks the same
// before and after the growth.
TEST_F(SdlVideo, TextDrawnBeforeAndAfterTheAtlasGrowsLooksTheSame) {
    int font = LoadFont(FontPath, 40);
    ASSERT_NE(font, 0) << PlatformError();
    SetFont(font);
    int lineHeight = TextLineHeight();
    DrawString("g", 10, 10);
    std::string all;
    for (int c = 33; c < 256; c++) all += char(c);
    SetDrawScale(0.01f, 0.01f); // every character rasterised, shown as a speck
    DrawString(all, 150, 140);
    SetDrawScale(1, 1);
    DrawString("g", 80, 10);
    grab();
    int lit = 0;
    for (int y = 10; y < 10 + lineHeight; y++)
        for (int x = 0; x < 60; x++) {
            ASSERT_EQ(at(10 + x, y), at(80 + x, y)) << x << "," << y;
            lit += at(10 + x, y) != Black;
        }
    EXPECT_GT(lit, 30);
}

// Sizes of one file share its face but each keeps its own measurements, and
// freeing one size leaves the others working.
TEST_F(SdlVideo, SizesOfOneFileMeasureAndDrawIndependently) {
    int small = LoadFont(FontPath, 16), large = LoadFont(FontPath, 48);
    ASSERT_NE(small, 0);
    ASSERT_NE(large, 0);
    SetFont(small);
    int smallWidth = MeasureText("Wide");
    SetFont(large);
    int largeWidth = MeasureText("Wide");
    DrawString("Wide", 0, 0);
    EXPECT_NEAR(largeWidth, smallWidth * 3, 6);
    SetFont(small);
    EXPECT_EQ(MeasureText("Wide"), smallWidth);
    FreeFont(large);
    ClearScreen();
    SetFont(small);
    EXPECT_EQ(MeasureText("Xyz"), MeasureText("X") + MeasureText("y") + MeasureText("z"));
    DrawString("Xyz", 20, 20); // characters not seen before, after the free
    grab();
    int lit = 0;
    for (uint32_t p : screen.pixels) lit += p != Black;
    EXPECT_GT(lit, 20);
}

// Opaque rectangles are filled without a texture; they must light exactly the
// pixels, in exactly the colour, that a white picture stretched over the same
// corners does.
TEST_F(SdlVideo, OpaqueRectanglesMatchAStretchedWhitePicture) {
    int white = LoadImage(solid("one.png", 1, 1, White), 0);
    ASSERT_NE(white, 0);
    SetColor(30, 160, 250);
    SetDrawRotation(-33);
    DrawRect(20, 90, 70, 25);
    SetDrawScale(70, 25);
    DrawImageFrame(white, 120, 90, 0);
    grab();
    int lit = 0;
    for (int y = 0; y < 150; y++)
        for (int x = 0; x < 100; x++) {
            ASSERT_EQ(at(x, y), at(x + 100, y)) << x << "," << y;
            lit += at(x, y) != Black;
        }
    EXPECT_GT(lit, 1200); // about 70 x 25
}

// A font's size is the height of its line, ascender to descender, and the
// letters, digits and punctuation of ordinary text stay inside that line, so
// texts placed a line apart never run into each other. Checked on the three
// typefaces of the pack. A few symbols reach past a face's own ascender or
// descender by design ("|", "`", "@", "$"), and are left out.
TEST_F(SdlVideo, TextStaysInsideALineAsTallAsTheFontSize) {
    const char* const faces[] = {
        "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Regular.ttf",
        "/usr/share/fonts/opentype/bebas-neue/BebasNeue-Bold.otf",
        "/usr/share/fonts/truetype/dotgothic16/DotGothic16-Regular.ttf"};
    const std::string beyond = "|`@$";
    for (const char* face : faces) {
        for (int size : {14, 16, 19, 22, 28, 38, 86}) {
            int font = LoadFont(face, size);
            ASSERT_NE(font, 0) << face << ": " << PlatformError();
            SetFont(font);
            EXPECT_EQ(TextLineHeight(), size) << face << " at " << size;
            const int top = 20, line = TextLineHeight();
            for (int c = 33; c < 127; c++) {
                if (beyond.find(char(c)) != std::string::npos) continue;
                ClearScreen();
                DrawString(std::string(1, char(c)), 20, float(top));
                grab();
                for (int y = 0; y < screen.height; y++)
                    for (int x = 0; x < screen.width; x++)
                        if (at(x, y) != Black) {
                            ASSERT_GE(y, top) << face << " at " << size << ": '" << char(c) << "'";
                            ASSERT_LT(y, top + line)
                                << face << " at " << size << ": '" << char(c) << "'";
                        }
            }
            FreeFont(font);
        }
    }
}

// A line keeps at least one physical pixel of width when the logical picture
// is shown smaller than it is drawn, so the score graph's slanted segments
// have no gaps; shown at its own size a line stays one pixel wide.
TEST_F(SdlVideo, ThinLinesStayWholeWhenThePictureIsShownSmaller) {
    SetLogicalSize(320, 240); // shown at 0.625
    ClearScreen();
    for (int i = 0; i < 16; i++) // 18 apart and rising, like the score graph
        DrawLine(float(20 + 18 * i), float(200 - 6 * i), float(38 + 18 * i), float(194 - 6 * i));
    grab();
    // Logical x 20 to 308 is physical 12.5 to 192.5: every column between
    // shows part of the line.
    for (int x = 13; x <= 192; x++) {
        int lit = 0;
        for (int y = 0; y < screen.height; y++) lit += at(x, y) != Black;
        EXPECT_GT(lit, 0) << "gap at column " << x;
    }
    SetLogicalSize(200, 150);
    ClearScreen();
    DrawLine(10, 50, 190, 50);
    DrawLine(100, 60, 190, 140);
    grab();
    int rows = 0;
    for (int y = 0; y < screen.height; y++) rows += at(60, y) != Black;
    EXPECT_EQ(rows, 1);
    int slanted = 0;
    for (int y = 60; y < screen.height; y++) slanted += at(145, y) != Black;
    EXPECT_LE(slanted, 2);
}

// A video export writes beside its file and renames at the end: while it runs
// (or after it was killed) the old file stands whole, a failed one leaves only
// the old file, a complete one replaces it with the video.
TEST(VideoExport, TheOldFileIsReplacedOnlyByAWholeVideo) {
    struct Case {
        const char* what;
        int side;         // of the pictures asked for
        bool folderThere; // a folder where the file goes: the rename fails
        bool ok;
    };
    for (const Case& c : {Case{"complete", 64, false, true}, Case{"too small", 8, false, false},
                          Case{"the rename fails", 64, true, false}}) {
        PlatformShutdown();
        PlatformConfig config;
        config.headless = true;
        config.virtualClock = true;
        config.endThrows = true;
        ASSERT_TRUE(PlatformInit(config)) << PlatformError();
        ASSERT_TRUE(OpenDisplay(64, 48, 0, 60)) << PlatformError();
        const std::string dir = freshDir(), path = dir + "v.mp4";
        const std::string old = c.folderThere ? path + "/old" : path;
        if (c.folderThere) std::filesystem::create_directory(path);
        std::FILE* f = std::fopen(old.c_str(), "wb");
        ASSERT_TRUE(f && std::fputs("old", f) >= 0 && std::fclose(f) == 0);
        auto bytes = [&](const std::string& p) {
            std::string b(64, '\0');
            std::FILE* in = std::fopen(p.c_str(), "rb");
            b.resize(in ? std::fread(b.data(), 1, b.size(), in) : 0);
            if (in) std::fclose(in);
            return b;
        };

        ASSERT_TRUE(StartVideoExport(path, 60, 0, c.side, c.side)) << c.what;
        for (int i = 0; i < 5; ++i) {
            ClearScreen();
            Flip(0);
            SleepMillis(17);
        }
        EXPECT_EQ(bytes(old), "old") << c.what << ": untouched while the export runs";
        EXPECT_EQ(FinishVideoExport(), c.ok) << c.what << ": " << PlatformError();
        EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"v.mp4"}) << c.what;
        if (c.ok)
            EXPECT_EQ(bytes(path).substr(4, 4), "ftyp") << c.what;
        else
            EXPECT_EQ(bytes(old), "old") << c.what;
        PlatformShutdown();
        std::filesystem::remove_all(dir);
    }
}
