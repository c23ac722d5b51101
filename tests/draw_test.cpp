// draw_test.cpp - the drawing toolkit on the recording back-end: clamped tint,
// zoom sentinel, blend kinds, aligned text, sprite budgets, the slow-system
// frame rule, glow passes and the small helpers.
#include "draw/draw.h"
#include "platform/recording.h"
#include "shell/frame.h"
#include "support/fixture.h"
#include "support/run.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

namespace {

const char* const FontPath = "/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf";

class DrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartDoubles();
        ASSERT_TRUE(OpenDisplay(1280, 960, 0, 60)) << PlatformError();
        ClearRecordedDraws();
    }
    void TearDown() override { PlatformShutdown(); }

    // A 16 x 16 picture saved as PNG and loaded back, anchored at its centre.
    int LoadSquare() {
        Pixmap pixmap;
        pixmap.width = pixmap.height = 16;
        pixmap.pixels.assign(16 * 16, 0xFFFF8000u);
        std::string path = MakeTempDir("draw") + "square.png";
        EXPECT_TRUE(SavePixmapPng(pixmap, path, 9)) << PlatformError();
        SetCentreAnchoring(true);
        int image = LoadImage(path, ImageMasked);
        EXPECT_NE(image, 0) << PlatformError();
        return image;
    }

    static std::vector<DrawRecord> Images() {
        std::vector<DrawRecord> out;
        for (const DrawRecord& r : RecordedDraws())
            if (r.kind == DrawKind::Image) out.push_back(r);
        return out;
    }
};

} // namespace

TEST_F(DrawTest, TintClampsAndTruncatesAndKeepsAlphaUnlessGiven) {
    SetAlpha(0.25f);
    SetTint(300, -5, 127.9f);
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 127);
    EXPECT_FLOAT_EQ(GetDrawAlpha(), 0.25f);

    SetTint(0, 0, 0, 2.0f);
    EXPECT_FLOAT_EQ(GetDrawAlpha(), 1.0f);
    SetTint(0, 0, 0, -1);
    EXPECT_FLOAT_EQ(GetDrawAlpha(), 0.0f);
    SetTint(0, 0, 0, 0.5f);
    EXPECT_FLOAT_EQ(GetDrawAlpha(), 0.5f);
    // The sentinel's negative twin is an ordinary (clamped) alpha.
    SetTint(0, 0, 0, -TintKeepAlpha);
    EXPECT_FLOAT_EQ(GetDrawAlpha(), 0.0f);
    SetTint(std::numeric_limits<float>::quiet_NaN(), 10.5f, 255.9f);
    GetColor(r, g, b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 10);
    EXPECT_EQ(b, 255);
}

TEST_F(DrawTest, ZoomSentinelMeansSameAsX) {
    float sx = 0, sy = 0;
    SetZoom(2);
    GetDrawScale(sx, sy);
    EXPECT_FLOAT_EQ(sx, 2);
    EXPECT_FLOAT_EQ(sy, 2);
    SetZoom(2, 0.5f);
    GetDrawScale(sx, sy);
    EXPECT_FLOAT_EQ(sx, 2);
    EXPECT_FLOAT_EQ(sy, 0.5f);
    SetZoom(3, -37171648.0f);
    GetDrawScale(sx, sy);
    EXPECT_FLOAT_EQ(sy, 3);
    // Only the exact sentinel is special; the alpha sentinel is an ordinary scale here.
    SetZoom(1, TintKeepAlpha);
    GetDrawScale(sx, sy);
    EXPECT_FLOAT_EQ(sy, TintKeepAlpha);
}

TEST_F(DrawTest, BlendKindsSelectPlatformModesAndUnknownKindsKeepIt) {
    const int expected[4] = {BlendMask, BlendAlpha, BlendMultiply, BlendAdd};
    for (int kind = 0; kind < 4; ++kind) {
        SetBlendKind(kind);
        EXPECT_EQ(GetDrawBlend(), expected[kind]) << "kind " << kind;
    }
    SetBlendKind(2);
    SetBlendKind(7);
    EXPECT_EQ(GetDrawBlend(), BlendMultiply);
    SetBlendKind(-1);
    EXPECT_EQ(GetDrawBlend(), BlendMultiply);
}

TEST_F(DrawTest, AlignedTextMovesByHalfOrWholeUnscaledSize) {
    int font = LoadFont(FontPath, 15);
    ASSERT_NE(font, 0) << PlatformError();
    SetFont(font);
    // Find a text of odd width so that halving must truncate.
    std::string text = "Thanks";
    for (const char* candidate : {"Thanks", "Score", "Tab", "Ill", "Wave 12", "Hard", "Easy"})
        if (MeasureText(candidate) % 2 == 1) text = candidate;
    const int w = MeasureText(text), h = TextLineHeight();
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    ASSERT_EQ(w % 2, 1) << "no candidate text of odd width";

    SetZoom(3); // alignment ignores the scale
    DrawTextAligned(100, 50, text, 1, 1);
    DrawTextAligned(100, 50, text, 2, 2);
    DrawTextAligned(100, 50, text, 0, 0);
    DrawTextAligned(100, 50, text, 5, -1);
    const std::vector<DrawRecord>& draws = RecordedDraws();
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(draws[0].kind, DrawKind::Text);
    EXPECT_EQ(draws[0].text, text);
    EXPECT_FLOAT_EQ(draws[0].x, 100 - (w - 1) / 2);
    EXPECT_FLOAT_EQ(draws[0].y, 50 - h / 2);
    EXPECT_FLOAT_EQ(draws[1].x, 100 - w);
    EXPECT_FLOAT_EQ(draws[1].y, 50 - h);
    for (int i = 2; i < 4; ++i) {
        EXPECT_FLOAT_EQ(draws[i].x, 100);
        EXPECT_FLOAT_EQ(draws[i].y, 50);
    }
}

TEST_F(DrawTest, BeginFrameClearsOnlyOnOneAndZeroesKindsOneToTen) {
    for (int i = 0; i < 20; ++i) sprites.DrawnSprites[i] = 7;
    sprites.SpriteBudget[3] = 123;
    BeginFrame(0);
    BeginFrame(2);
    EXPECT_TRUE(RecordedDraws().empty());
    BeginFrame(1);
    ASSERT_EQ(RecordedDraws().size(), 1u);
    EXPECT_EQ(RecordedDraws()[0].kind, DrawKind::Clear);
    EXPECT_EQ(sprites.DrawnSprites[0], 7);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(sprites.DrawnSprites[i], 0) << i;
    for (int i = 11; i < 20; ++i) EXPECT_EQ(sprites.DrawnSprites[i], 7) << i;
    EXPECT_EQ(sprites.SpriteBudget[1], 50000);
    EXPECT_EQ(sprites.SpriteBudget[3], 123);
}

TEST_F(DrawTest, SpritesStopAtTheBudgetUntilTheNextFrame) {
    int image = LoadSquare();
    sprites.SpriteBudget[1] = 3;
    for (int i = 0; i < 5; ++i) DrawSprite(image, i, 0, 0, SpriteKindMain);
    EXPECT_EQ(Images().size(), 3u);
    EXPECT_EQ(sprites.DrawnSprites[1], 3);
    BeginFrame(1);
    for (int i = 0; i < 5; ++i) DrawSprite(image, i, 0, 0, SpriteKindMain);
    EXPECT_EQ(Images().size(), 6u);
    EXPECT_EQ(sprites.DrawnSprites[1], 3);
    // A kind with no budget draws nothing; a kind outside the table is refused.
    DrawSprite(image, 0, 0, 0, 5);
    DrawSprite(image, 0, 0, 0, 20);
    DrawSprite(image, 0, 0, 0, -1);
    EXPECT_EQ(Images().size(), 6u);
}

// Which frames are shown is the frame driver's rule (frame_test); the toolkit
// only follows what it was told.
TEST_F(DrawTest, CountedDrawsSkipAFrameThatIsNotShown) {
    int image = LoadSquare();
    sprites.FrameShown = false;
    DrawSprite(image, 0, 0, 0, 1);
    DrawGlowSprite(image, 0, 0, 0, 0, 1.1f, 1);
    EXPECT_TRUE(Images().empty());
    EXPECT_EQ(sprites.DrawnSprites[1], 0);
    EXPECT_EQ(sprites.DrawnSprites[2], 0);
    sprites.FrameShown = true;
    DrawSprite(image, 0, 0, 0, 1);
    EXPECT_EQ(Images().size(), 1u);
}

TEST_F(DrawTest, SpriteTopLeftLandsOnThePointUnderScale) {
    int image = LoadSquare();
    ASSERT_EQ(ImageFrameWidth(image), 16);
    SetZoom(2);
    DrawSprite(image, 10, 20, 0, 1);
    SetZoom(1, 0.5f);
    DrawSprite(image, -3, 7, 0, 1);
    std::vector<DrawRecord> images = Images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_FLOAT_EQ(images[0].x, 26);
    EXPECT_FLOAT_EQ(images[0].y, 36);
    EXPECT_FLOAT_EQ(images[0].sx, 2);
    EXPECT_FLOAT_EQ(images[1].x, 5);
    EXPECT_FLOAT_EQ(images[1].y, 11);
}

TEST_F(DrawTest, GlowDrawsAHaloAroundTheSameCentreAndRestoresState) {
    int image = LoadSquare();
    int halo = LoadSquare();
    SetZoom(2);
    SetAlpha(0.8f);
    SetBlendKind(2);
    DrawGlowSprite(image, 10, 20, 0, halo, 1.5f, 0.5f);
    std::vector<DrawRecord> images = Images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].image, image);
    EXPECT_EQ(images[0].blend, BlendMultiply);
    EXPECT_FLOAT_EQ(images[0].alpha, 0.8f);
    EXPECT_EQ(images[1].image, halo);
    EXPECT_FLOAT_EQ(images[1].x, 26);
    EXPECT_FLOAT_EQ(images[1].y, 36);
    EXPECT_FLOAT_EQ(images[1].sx, 3);
    EXPECT_FLOAT_EQ(images[1].sy, 3);
    EXPECT_FLOAT_EQ(images[1].alpha, 0.4f);
    EXPECT_EQ(images[1].blend, BlendAdd);
    float sx, sy;
    GetDrawScale(sx, sy);
    EXPECT_FLOAT_EQ(sx, 2);
    EXPECT_FLOAT_EQ(GetDrawAlpha(), 0.8f);
    EXPECT_EQ(GetDrawBlend(), BlendMultiply);
    EXPECT_EQ(sprites.DrawnSprites[1], 1);
    EXPECT_EQ(sprites.DrawnSprites[2], 1);
}

TEST_F(DrawTest, GlowPassesHaveTheirOwnBudgets) {
    int image = LoadSquare();
    SetBlendKind(0);
    sprites.SpriteBudget[2] = 0;
    DrawGlowSprite(image, 0, 0, 0, 0, 1.1f, 1);
    std::vector<DrawRecord> images = Images();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].blend, BlendMask);
    EXPECT_EQ(GetDrawBlend(), BlendMask);

    sprites.SpriteBudget[1] = 1; // spent by the call above
    sprites.SpriteBudget[2] = 5;
    DrawGlowSprite(image, 0, 0, 0, 0, 1.1f, 1);
    images = Images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[1].image, image); // no glow image: the sprite itself glows
    EXPECT_EQ(images[1].blend, BlendAdd);
    EXPECT_FLOAT_EQ(images[1].sx, 1.1f);
    EXPECT_EQ(sprites.DrawnSprites[1], 1);
    EXPECT_EQ(sprites.DrawnSprites[2], 1);
}

TEST(DrawHelpers, ClampsLowerToHighThenRaiseToLow) {
    EXPECT_EQ(ClampInt(5, 0, 10), 5);
    EXPECT_EQ(ClampInt(-5, 0, 10), 0);
    EXPECT_EQ(ClampInt(15, 0, 10), 10);
    EXPECT_EQ(ClampInt(5, 10, 0), 10);
    EXPECT_FLOAT_EQ(ClampFloat(0.5f, 0, 1), 0.5f);
    EXPECT_FLOAT_EQ(ClampFloat(-0.5f, 0, 1), 0);
    EXPECT_FLOAT_EQ(ClampFloat(1.5f, 0, 1), 1);
    EXPECT_FLOAT_EQ(ClampFloat(0.5f, 3, 1), 3);
    EXPECT_FLOAT_EQ(ClampFloat(std::nanf(""), 2, 9), 2);
    EXPECT_FLOAT_EQ(ClampFloat(std::numeric_limits<float>::infinity(), 0, 255), 255);
}

TEST(DrawHelpers, MouseInRectIsStrictOnAllEdges) {
    ResetAllState();
    auto at = [](int x, int y) {
        frame.FrameMouseX = x;
        frame.FrameMouseY = y;
        return MouseInRect(10, 10, 20, 20);
    };
    EXPECT_EQ(at(10, 15), 0);
    EXPECT_EQ(at(30, 15), 0);
    EXPECT_EQ(at(15, 10), 0);
    EXPECT_EQ(at(15, 30), 0);
    EXPECT_EQ(at(11, 15), 1);
    EXPECT_EQ(at(29, 29), 1);
    frame.PrevMouseX = 11;
    frame.PrevMouseY = 15;
    frame.FrameMouseX = 0;
    EXPECT_EQ(PrevMouseInRect(10, 10, 20, 20), 1);
    EXPECT_EQ(MouseInRect(10, 10, 20, 20), 0);
    frame.PrevMouseX = 10;
    EXPECT_EQ(PrevMouseInRect(10, 10, 20, 20), 0);
}

TEST(DrawHelpers, SafeFileNameDropsTheTwelveCharacters) {
    EXPECT_EQ(SafeFileName("12:30 07/12/2026"), "1230 07122026");
    EXPECT_EQ(SafeFileName("#',`.\\/:|*?\""), "");
    EXPECT_EQ(SafeFileName("Zorvek Plon - 07 Dec 2026 (a)~!"), "Zorvek Plon - 07 Dec 2026 (a)~!");
    EXPECT_EQ(SafeFileName(""), "");
}

// The toolkit sits just above the platform: it includes nothing from the
// layers that draw with it (the frame driver included), so no include circle.
TEST(DrawHelpers, TheToolkitIncludesOnlyItselfAndThePlatform) {
    for (const char* file : {"draw.h", "draw.cpp"}) {
        std::string source = ReadWholeFile(std::string(ZP_SOURCE_DIR) + "/src/draw/" + file);
        ASSERT_FALSE(source.empty()) << file;
        std::istringstream text(source);
        for (std::string line; std::getline(text, line);) {
            if (line.rfind("#include \"", 0) != 0) continue;
            EXPECT_TRUE(line.rfind("#include \"draw/", 0) == 0 ||
                        line == "#include \"platform/platform.h\"")
                << file << ": " << line;
        }
    }
}
