// frame_test.cpp - the frame driver on the doubles: pacing, the frame-rate
// measurement, presenting on slow systems, notices, the statistics overlay,
// the pointer, mouse sampling and the global hot-keys.
#include "draw/draw.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

const char* const FontPath = "/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf";

class FrameTest : public ::testing::Test {
  protected:
    // Doubles with an optional input script; a files folder with a game folder
    // inside as the current folder, as after start-up.
    void Start(const std::string& script = "") {
        dir = MakeTempDir("frame");
        std::filesystem::create_directory(dir + "251");
        PlatformConfig config;
        if (!script.empty()) {
            WriteWholeFile(dir + "input.script", script);
            config.scriptPath = dir + "input.script";
        }
        StartDoubles(config);
        ASSERT_TRUE(ChangeDir(dir + "251/"));
        ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
        SetDefaultSettings();
        shell.AudioDriverList = AudioDriverNames();
        for (int slot = 1; slot <= 3; ++slot) display.FontSet[slot] = LoadFont(FontPath, 16 + slot);
        frame.LastFrameEnd = Millis();
        PumpInput();
        ClearRecordedDraws();
    }
    void TearDown() override { PlatformShutdown(); }

    static std::vector<DrawRecord> Of(DrawKind kind) {
        std::vector<DrawRecord> out;
        for (const DrawRecord& r : RecordedDraws())
            if (r.kind == kind) out.push_back(r);
        return out;
    }
    static const DrawRecord* TextRecord(const std::string& text) {
        for (const DrawRecord& r : RecordedDraws())
            if (r.kind == DrawKind::Text && r.text == text) return &r;
        return nullptr;
    }

    std::string dir;
};

} // namespace

TEST_F(FrameTest, PacingEndsFramesFifteenMillisecondsApartAtTheEarliest) {
    Start();
    int before = frame.LastFrameEnd;
    EndFrame(0);
    EXPECT_EQ(frame.LastFrameEnd - before, 15); // 60 fps with 2 ms of slack
    // A frame whose own work already took longer still sleeps once, and no more.
    before = frame.LastFrameEnd;
    SleepMillis(40);
    EndFrame(0);
    EXPECT_EQ(frame.LastFrameEnd - before, 41);
    // Many frames: never closer than 15 ms.
    for (int i = 0; i < 20; ++i) {
        before = frame.LastFrameEnd;
        SleepMillis(i % 7);
        EndFrame(0);
        EXPECT_GE(frame.LastFrameEnd - before, 15);
    }
}

TEST_F(FrameTest, FrameRateIsSmoothedOverFramesInIntegers) {
    Start();
    // 15 ms frames measure 66 fps each; the average moves a third of the way.
    const int expected[] = {22, 36, 46, 52, 56, 59, 61};
    for (int want : expected) {
        EndFrame(0);
        EXPECT_EQ(frame.FrameRate, want);
    }
    // Slower frames pull it down: 50 ms measures 20.
    frame.FrameRate = 60;
    SleepMillis(49);
    EndFrame(0);
    EXPECT_EQ(frame.FrameRate, (20 + 120) / 3);
}

TEST_F(FrameTest, SlowSystemPresentsEveryOtherFrame) {
    Start();
    for (int i = 0; i < 6; ++i) EndFrame(0);
    EXPECT_EQ(Of(DrawKind::Flip).size(), 6u);
    ClearRecordedDraws();
    shell.Settings[slot::SlowSystem] = 1;
    ASSERT_EQ(frame.FrameParity, 0);
    EXPECT_TRUE(FramePresented());
    for (int i = 0; i < 6; ++i) {
        bool presented = FramePresented();
        size_t flips = Of(DrawKind::Flip).size();
        EndFrame(0);
        EXPECT_EQ(Of(DrawKind::Flip).size(), flips + (presented ? 1 : 0));
        EXPECT_EQ(presented, i % 2 == 0);
    }
    EXPECT_EQ(Of(DrawKind::Flip).size(), 3u);
}

// Counted sprites and presenting follow the same rule: on a slow system a
// frame's sprites are drawn exactly in the frames that are presented.
TEST_F(FrameTest, SlowSystemDrawsCountedSpritesOnlyInPresentedFrames) {
    Start();
    SetCentreAnchoring(true);
    int image = LoadImageSheet(BuiltFilesDir() + "Common/icons.png", 16, 16, 64, ImageMasked);
    ASSERT_NE(image, 0) << PlatformError();
    frame.ShowStats = 0;
    shell.Settings[slot::SlowSystem] = 1;
    int presented = 0;
    for (int i = 0; i < 6; ++i) {
        ClearRecordedDraws();
        BeginFrame(1);
        DrawSprite(image, 10, 10, 0, 1);
        DrawGlowSprite(image, 40, 10, 0, 0, 1.1f, 1);
        EndFrame(0);
        size_t flips = Of(DrawKind::Flip).size(), images = Of(DrawKind::Image).size();
        EXPECT_EQ(images, flips * 3) << "frame " << i; // sprite, glow sprite and its halo
        presented += static_cast<int>(flips);
    }
    EXPECT_EQ(presented, 3);
}

TEST_F(FrameTest, NoticeIsHighlightedThenDimmedThenGone) {
    Start();
    frame.ShowStats = 0;
    PostNotice("Hello there", 1);
    ASSERT_EQ(frame.Notices.size(), 1u);
    EXPECT_EQ(frame.Notices.front().tick, 0);
    for (int n = 1; n <= 180; ++n) {
        ClearRecordedDraws();
        EndFrame(0);
        auto rects = Of(DrawKind::Rect);
        const DrawRecord* text = TextRecord("Hello there");
        ASSERT_EQ(rects.size(), 1u) << "frame " << n;
        ASSERT_NE(text, nullptr) << "frame " << n;
        EXPECT_EQ(rects[0].y, display.VirtualHeight - 16);
        EXPECT_EQ(rects[0].x, 0);
        EXPECT_FLOAT_EQ(rects[0].alpha, 0.7f);
        EXPECT_GT(rects[0].w, 0); // as wide as the measured text
        EXPECT_FLOAT_EQ(rects[0].sx, 1.0f);
        if (n < 60) {
            EXPECT_EQ(rects[0].r + rects[0].g + rects[0].b, 255 + 255) << n; // yellow
            EXPECT_EQ(text->r + text->g + text->b, 0) << n;                  // black
        } else {
            EXPECT_EQ(rects[0].r + rects[0].g + rects[0].b, 0) << n;
            EXPECT_EQ(text->r + text->g + text->b, 3 * 255) << n;
        }
        EXPECT_EQ(frame.Notices.size(), n < 180 ? 1u : 0u) << n;
    }
    ClearRecordedDraws();
    EndFrame(0);
    EXPECT_EQ(TextRecord("Hello there"), nullptr);
}

TEST_F(FrameTest, NoticesStackUpwardOldestLowest) {
    Start();
    frame.ShowStats = 0;
    for (int i = 1; i <= 5; ++i) PostNotice("notice " + std::to_string(i), 1);
    EndFrame(0);
    for (int i = 1; i <= 5; ++i) {
        const DrawRecord* text = TextRecord("notice " + std::to_string(i));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->y, display.VirtualHeight - 16 - 14 * (i - 1));
        EXPECT_EQ(text->font, display.FontSet[3]);
    }
}

TEST_F(FrameTest, OverlayShowsTalliesAndF12TogglesIt) {
    Start("0 press 123\n100 press 123\n");
    frame.ShowStats = 1;
    frame.FrameRate = 0;
    sprites.DrawnSprites[1] = 3;
    sprites.DrawnSprites[2] = 7;
    sprites.SpriteBudget[3] = 250;
    // The F12 press of this frame switches the overlay off before it is drawn.
    EndFrame(0);
    EXPECT_EQ(frame.ShowStats, 0);
    EXPECT_EQ(TextRecord("Hit F12 to remove this"), nullptr);
    while (Millis() < 100) SleepMillis(1);
    ClearRecordedDraws();
    int shownRate = frame.FrameRate;
    EndFrame(0);
    EXPECT_EQ(frame.ShowStats, 1);
    const DrawRecord* images = TextRecord("Drawn Images : 3/50000");
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(images->x, 2);
    EXPECT_EQ(images->y, 80);
    EXPECT_FLOAT_EQ(images->sx, 1.5f);
    EXPECT_EQ(images->font, display.FontSet[2]);
    EXPECT_NE(TextRecord("Drawn Glow : 7/50000"), nullptr);
    EXPECT_NE(TextRecord("Drawn Particles : 0/250"), nullptr);
    ASSERT_NE(TextRecord("Hit F12 to remove this"), nullptr);
    EXPECT_EQ(TextRecord("Hit F12 to remove this")->y, 150);
    // The rate shown is the one before this frame's own measurement.
    const DrawRecord* rate = TextRecord(std::to_string(shownRate));
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->y, 2);
    EXPECT_EQ(rate->font, display.FontSet[1]);
}

TEST_F(FrameTest, PointerIsDrawnWhenAskedOrPanelOpenAndMouseIsSampled) {
    Start("0 mouse 100 200\n50 mouse 300 40\n");
    Pixmap pixmap;
    pixmap.width = 16 * 8;
    pixmap.height = 16 * 8;
    pixmap.pixels.assign(pixmap.width * pixmap.height, 0xFFFFFFFFu);
    ASSERT_TRUE(SavePixmapPng(pixmap, dir + "icons.png", 9));
    SetCentreAnchoring(true);
    display.IconSheet = LoadImageSheet(dir + "icons.png", 16, 16, 64, ImageMasked);
    ASSERT_NE(display.IconSheet, 0);
    frame.ShowStats = 0;

    EndFrame(0);
    EXPECT_TRUE(Of(DrawKind::Image).empty());
    EXPECT_EQ(frame.FrameMouseX, 100);
    EXPECT_EQ(frame.FrameMouseY, 200);

    while (Millis() < 50) SleepMillis(1);
    ClearRecordedDraws();
    EndFrame(1);
    auto images = Of(DrawKind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].frame, 63);
    EXPECT_EQ(images[0].x, 300 + 12);
    EXPECT_EQ(images[0].y, 40 + 12);
    EXPECT_FLOAT_EQ(images[0].sx, 1.5f);
    EXPECT_EQ(frame.PrevMouseX, 100);
    EXPECT_EQ(frame.PrevMouseY, 200);
    EXPECT_EQ(frame.FrameMouseX, 300);

    ClearRecordedDraws();
    frame.SettingsOpen = 1;
    EndFrame(0);
    EXPECT_EQ(Of(DrawKind::Image).size(), 1u);
}

TEST_F(FrameTest, TabPressedTwiceWritesSetupTwiceAndLeavesPanelClosed) {
    Start("0 press 9\n100 press 9\n");
    EndFrame(0);
    EXPECT_EQ(frame.SettingsOpen, 1);
    ASSERT_TRUE(PathExists(dir + "Setup.ini"));
    EXPECT_EQ(CurrentDir() + "/", dir + "251/"); // the writer returns to the game folder
    std::filesystem::remove(dir + "Setup.ini");
    while (Millis() < 100) SleepMillis(1);
    EndFrame(0);
    EXPECT_EQ(frame.SettingsOpen, 0);
    EXPECT_TRUE(PathExists(dir + "Setup.ini"));
}

TEST_F(FrameTest, AltF4EndsThroughClosingScreen) {
    Start("0 down 164\n0 down 115\n");
    try {
        EndFrame(0);
        FAIL() << "EndFrame returned although Alt+F4 was held";
    } catch (const ProcessEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
    // The closing screen saved the settings before it ended the program.
    EXPECT_TRUE(PathExists(dir + "Setup.ini"));
}
