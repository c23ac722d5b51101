// display_test.cpp - display set-up on the doubles: which reported modes are
// offered, logical sizes and font scales, the size actually used, and applying
// the settings a second time (no splash, score table kept).
#include "draw/draw.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

const char* const FontPath = "/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf";

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartDoubles();
        SetDefaultSettings();
    }
    void TearDown() override { PlatformShutdown(); }

    static std::vector<std::pair<int, int>> Offered() {
        std::vector<std::pair<int, int>> out;
        for (int i = 1; i <= display.ModeCount; ++i)
            out.push_back({display.ModeWidths[i], display.ModeHeights[i]});
        return out;
    }
};

using Sizes = std::vector<std::pair<int, int>>;

} // namespace

TEST_F(DisplayTest, ModeListKeepsUsableShapesOnceEachInReportOrder) {
    SetRecordedDisplayModes({{1920, 1080, 32, 60},
                             {1920, 1080, 16, 60},
                             {1280, 1024, 32, 60},
                             {1920, 1200, 32, 60},
                             {1920, 1080, 24, 75},
                             {1920, 1200, 16, 60},
                             {1024, 768, 32, 60},
                             {1024, 768, 16, 60}});
    BuildModeList();
    EXPECT_EQ(Offered(), (Sizes{{1920, 1080}, {1920, 1200}, {1024, 768}}));
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 0); // 800 x 600 is not among them
    EXPECT_EQ(display.PhysicalWidth, 800);

    // Truncating arithmetic: 1366 * 9 / 16 = 768, 1360 * 9 / 16 = 765.
    SetRecordedDisplayModes({{1360, 768, 32, 60}, {1366, 768, 32, 60}, {800, 600, 32, 60}});
    BuildModeList();
    EXPECT_EQ(Offered(), (Sizes{{1366, 768}, {800, 600}}));
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 2);
}

TEST_F(DisplayTest, StoredSizeOfferedBecomesCurrentSize) {
    SetRecordedDisplayModes({{640, 480, 32, 60}, {1680, 1050, 32, 60}, {1680, 1050, 16, 60}});
    shell.Settings[slot::Width] = 1680;
    shell.Settings[slot::Height] = 1050;
    BuildModeList();
    EXPECT_EQ(display.ModeCount, 2);
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 2);
    EXPECT_EQ(display.PhysicalWidth, 1680);
    EXPECT_EQ(display.PhysicalHeight, 1050);
    // Rebuilding starts from scratch.
    SetRecordedDisplayModes({{1024, 768, 32, 60}});
    BuildModeList();
    EXPECT_EQ(Offered(), (Sizes{{1024, 768}}));
}

TEST_F(DisplayTest, LogicalSizeFollowsTheShapeOfTheDisplay) {
    struct Case {
        int w, h, vw, vh, wide;
    };
    for (Case c : {Case{1920, 1080, 1600, 900, 1}, Case{1366, 768, 1600, 900, 1},
                   Case{1680, 1050, 1440, 900, 1}, Case{1280, 800, 1440, 900, 1},
                   Case{800, 600, 1280, 960, 0}, Case{1280, 1024, 1280, 960, 0}}) {
        display.PhysicalWidth = c.w;
        display.PhysicalHeight = c.h;
        shell.Settings[slot::Widescreen] = 7;
        ChooseLogicalSize();
        EXPECT_EQ(display.VirtualWidth, c.vw) << c.w << "x" << c.h;
        EXPECT_EQ(display.VirtualHeight, c.vh) << c.w << "x" << c.h;
        EXPECT_EQ(shell.Settings[slot::Widescreen], c.wide) << c.w << "x" << c.h;
    }
}

TEST_F(DisplayTest, FontScaleGrowsOnNarrowDisplays) {
    ChooseFontScale(1024);
    EXPECT_FLOAT_EQ(display.FontScale[0], 1.0f);
    ChooseFontScale(899);
    EXPECT_FLOAT_EQ(display.FontScale[0], 1.2f);
    EXPECT_FLOAT_EQ(display.FontScale[1], 1.4f);
    EXPECT_FLOAT_EQ(display.FontScale[2], 1.8f);
    // 800 x 600: slot 1 is 24 * 1.2 = 28.8 -> 28, slots 2/3 are 16 * 1.4 = 22.4 -> 22.
    EXPECT_EQ(ScaledSize(24, display.FontScale[0]), 28);
    EXPECT_EQ(ScaledSize(16, display.FontScale[1]), 22);
    ChooseFontScale(640);
    EXPECT_FLOAT_EQ(display.FontScale[0], 1.2f);
    ChooseFontScale(599);
    EXPECT_FLOAT_EQ(display.FontScale[0], 1.5f);
    EXPECT_FLOAT_EQ(display.FontScale[1], 2.0f);
    EXPECT_FLOAT_EQ(display.FontScale[2], 2.5f);
    EXPECT_EQ(ScaledSize(24, display.FontScale[0]), 36);
    // Every ladder size truncates, never rounds up.
    ChooseFontScale(800);
    EXPECT_EQ(ScaledSize(8, display.FontScale[0]), 9);
    EXPECT_EQ(ScaledSize(96, display.FontScale[0]), 115);
}

TEST_F(DisplayTest, LadderFontOutOfRangeFallsBackToFirstTypefaceAndStep) {
    int small = LoadFont(FontPath, 10), other = LoadFont(FontPath, 30);
    ASSERT_NE(small, 0);
    ASSERT_NE(other, 0);
    display.FontLadder[0] = small;
    display.FontLadder[23] = other;
    SelectLadderFont(3, 3);
    EXPECT_EQ(CurrentFont(), other);
    SelectLadderFont(0, 3); // typeface 0 counts as 1: slot 3, empty here
    EXPECT_EQ(CurrentFont(), display.FontLadder[3]);
    SetFont(other);
    SelectLadderFont(7, 12);
    EXPECT_EQ(CurrentFont(), small);
    SetFont(other);
    SelectLadderFont(1, -1);
    EXPECT_EQ(CurrentFont(), small);
}

TEST_F(DisplayTest, StripesCoverTheScreenGrowingBluer) {
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60));
    display.VirtualHeight = 960;
    display.VirtualWidth = 1280;
    ClearRecordedDraws();
    ResetDrawState();
    DrawStripes();
    std::vector<DrawRecord> rects;
    for (const DrawRecord& r : RecordedDraws())
        if (r.kind == DrawKind::Rect) rects.push_back(r);
    ASSERT_EQ(rects.size(), 97u); // y = 0, 10, ... 960
    EXPECT_EQ(rects[0].b, 50);    // 50.5 truncated
    EXPECT_EQ(rects[96].b, 98);   // 50 + 97 * 0.5 = 98.5
    EXPECT_EQ(rects[96].y, 2880);
    EXPECT_EQ(rects[0].x, -100);
    EXPECT_EQ(rects[0].w, 1280 + 1800);
    EXPECT_FLOAT_EQ(rects[0].rotation, -45);
}

// The full set-up twice on a copy of the asset pack: the first shows the
// splash and plays the jingle, the second does neither, logs the change and
// keeps the rounds in memory.
TEST_F(DisplayTest, ReapplyingShowsNoSplashAndKeepsScoreTable) {
    std::string dir = MakeFilesCopy("display");
    ASSERT_TRUE(ChangeDir(dir + "251/"));
    shell.DebugLog = CreateTextFile(dir + "Debug.txt");
    shell.Settings[slot::Width] = 1024;
    shell.Settings[slot::Height] = 700; // offered by no display
    ASSERT_TRUE(ApplyDisplaySettings());
    EXPECT_EQ(shell.Settings[slot::Width], 800);
    EXPECT_EQ(shell.Settings[slot::Height], 600);
    EXPECT_EQ(PhysicalWidth(), 800);
    EXPECT_EQ(display.VirtualWidth, 1280);
    EXPECT_TRUE(display.AssetsLoadedOnce);
    EXPECT_NE(display.FontSet[13], 0);
    EXPECT_NE(display.IconSheet, 0);
    EXPECT_NE(display.GameSheet, 0);
    EXPECT_NE(shell.Channels[1], 0); // the jingle
    EXPECT_FALSE(FileExists("crash.dat"));
    EXPECT_EQ(CurrentDir() + "/", dir + "251/");

    Scores unsaved;
    unsaved.Name = "Unsaved";
    unsaved.Score = 1234;
    scores.ScoreTable.push_front(unsaved);
    shell.Channels[1] = 0;
    shell.Settings[slot::Width] = 1280;
    shell.Settings[slot::Height] = 720;
    ASSERT_TRUE(ApplyDisplaySettings());
    EXPECT_EQ(shell.Channels[1], 0);
    EXPECT_EQ(PhysicalWidth(), 1280);
    EXPECT_EQ(display.VirtualWidth, 1600);
    ASSERT_FALSE(scores.ScoreTable.empty());
    EXPECT_EQ(scores.ScoreTable.front().Name, "Unsaved");
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;

    auto log = ReadLinesOf(dir + "Debug.txt");
    int changed = 0, applying = 0, sfx = 0;
    for (const auto& line : log) {
        changed += line == "\tChanged Graphics Mode ingame.";
        applying += line == "Applying Graphical Settings";
        sfx += line.rfind("\tSFX(", 0) == 0;
    }
    EXPECT_EQ(applying, 2);
    EXPECT_EQ(changed, 1);
    EXPECT_GT(sfx, 0);
    EXPECT_EQ(sfx % 2, 0); // the same sound effects found both times
}

// The splash jingle plays at MasterVolume x SoundVolume / 100 / 100. The setup
// file may hold volumes of any size; their product must not wrap round.
TEST_F(DisplayTest, SplashJingleVolumeIsTheProductOfTheVolumesWhateverTheirSize) {
    std::string dir = MakeTempDir("jingle");
    std::filesystem::create_directories(dir + "Common");
    std::filesystem::create_directories(dir + "251");
    std::filesystem::copy_file(BuiltFilesDir() + "Common/badgeget.wav",
                               dir + "Common/badgeget.wav");
    ASSERT_TRUE(ChangeDir(dir + "251/"));
    struct Case {
        int master, sound;
        float volume;
    };
    const Case cases[] = {{50, 50, 0.25f},
                          {100, 100, 1.0f},
                          {100000, 100000, 1.0e6f},
                          {2147483647, 2147483647, 4.611686e14f}};
    for (const Case& c : cases) {
        display.AssetsLoadedOnce = false; // the splash, and its jingle, come each time
        shell.Channels[1] = 0;
        shell.Settings[slot::MasterVolume] = c.master;
        shell.Settings[slot::SoundVolume] = c.sound;
        ASSERT_TRUE(ApplyDisplaySettings());
        ASSERT_NE(shell.Channels[1], 0) << PlatformError();
        EXPECT_FLOAT_EQ(shell.ChannelVolume[1], c.volume) << c.master << " x " << c.sound;
        Stop(shell.Channels[1]);
    }
}

// A typeface that does not load is named once in the log, with the reason its
// own file gave, not the reason of a typeface loaded after it.
TEST_F(DisplayTest, EachMissingTypefaceIsLoggedWithItsOwnReason) {
    std::string dir = MakeTempDir("typefaces");
    std::filesystem::create_directories(dir + "Common");
    std::filesystem::create_directories(dir + "251");
    std::filesystem::copy_file(BuiltFilesDir() + "Common/Blue Highway.ttf",
                               dir + "Common/Blue Highway.ttf");
    WriteWholeFile(dir + "Common/Acknowledge TT BRK.ttf", "not a font at all");
    ASSERT_TRUE(ChangeDir(dir + "251/"));
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60));
    shell.DebugLog = CreateTextFile(dir + "Debug.txt");
    LoadCommonAssets();
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    EXPECT_NE(display.FontSet[5], 0); // typeface 2 loaded
    EXPECT_EQ(display.FontSet[1], 0);
    EXPECT_EQ(display.FontSet[10], 0);

    std::vector<std::string> failures;
    for (const std::string& line : ReadLinesOf(dir + "Debug.txt"))
        if (line.rfind("\tCould not load ", 0) == 0 && line.find(".ttf") != std::string::npos)
            failures.push_back(line);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0], "\tCould not load SVBasicManual.ttf : cannot load font "
                           "SVBasicManual.ttf: file missing or unreadable");
    EXPECT_EQ(failures[1], "\tCould not load Acknowledge TT BRK.ttf : cannot load font "
                           "Acknowledge TT BRK.ttf: not a font FreeType can read");
}

// When neither the chosen mode nor the 800 x 600 window opens, the set-up
// says so and hands the failure back, without loading anything or ending the
// program itself; the crash marker goes, as this was no crash.
TEST_F(DisplayTest, NoDisplayAtAllIsReportedToTheCaller) {
    std::string dir = MakeTempDir("refused") + "251/";
    std::filesystem::create_directory(dir);
    ASSERT_TRUE(ChangeDir(dir));
    shell.DebugLog = CreateTextFile(dir + "Debug.txt");
    SetRecordedDisplayRefused(true);
    EXPECT_FALSE(ApplyDisplaySettings());
    EXPECT_NE(PlatformError().find("refuses"), std::string::npos) << PlatformError();
    EXPECT_FALSE(FileExists("crash.dat"));
    EXPECT_FALSE(display.AssetsLoadedOnce);
    EXPECT_EQ(display.GameSheet, 0);
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    const auto log = ReadLinesOf(dir + "Debug.txt");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("\tNo display could be opened with any engine or size : ", 0), 0u);

    // Once a display opens again, so does the set-up.
    SetRecordedDisplayRefused(false);
    EXPECT_TRUE(ApplyDisplaySettings());
    EXPECT_TRUE(display.AssetsLoadedOnce);
}

TEST_F(DisplayTest, CrashMarkerSwitchesOpenGlOnlyAndFullscreenNeedsADepth) {
    // A files folder without "Common/": the assets stay empty, the folder is kept.
    std::string dir = MakeTempDir("marker") + "251/";
    std::filesystem::create_directory(dir);
    ASSERT_TRUE(ChangeDir(dir));
    shell.DebugLog = CreateTextFile(dir + "Debug.txt");
    SetRecordedDisplayModes({{800, 600, 8, 60}, {1024, 768, 32, 60}});
    WriteWholeFile(dir + "crash.dat", "");
    shell.Settings[slot::GfxEngine] = 2;
    shell.Settings[slot::Fullscreen] = 1;
    ASSERT_TRUE(ApplyDisplaySettings());
    EXPECT_EQ(CurrentDir() + "/", dir);
    EXPECT_EQ(shell.Settings[slot::GfxEngine], 2); // DirectX 7 is left alone
    EXPECT_FALSE(FileExists("crash.dat"));
    // No full-screen depth for 800 x 600: a window (its notice has long expired
    // during the engine test's frames), and the setting itself is kept.
    EXPECT_EQ(shell.Settings[slot::Fullscreen], 1);
    WriteWholeFile(dir + "crash.dat", "");
    shell.Settings[slot::GfxEngine] = 0;
    shell.Settings[slot::Width] = 1024;
    shell.Settings[slot::Height] = 768;
    ASSERT_TRUE(ApplyDisplaySettings());
    EXPECT_EQ(shell.Settings[slot::GfxEngine], 1);
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    auto log = ReadLinesOf(dir + "Debug.txt");
    auto has = [&](const std::string& text) {
        return std::find(log.begin(), log.end(), text) != log.end();
    };
    EXPECT_TRUE(has("\tUsing DirectX 7 Driver"));
    EXPECT_TRUE(has("\tResolution : 800x600,0"));
    EXPECT_TRUE(has("\tUsing DirectX 9 Driver"));
    EXPECT_TRUE(has("\tResolution : 1024x768,32"));
}

// A GL engine whose driver draws on the processor is drawn by the rasteriser;
// the setup file keeps the player's choice and the log says what was found.
TEST_F(DisplayTest, SoftwareGlDriverIsDrawnByTheRasteriserAndLoggedOnce) {
    struct Case {
        const char* driver;
        bool accelerated;
        int engine;
        const char* opened;
    };
    const Case cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true, 0, "software"},
        {"softpipe", true, 1, "software"},
        {"Software Rasterizer", true, 0, "software"},
        {"Mesa DRI Intel(R) HD Graphics 620", false, 1, "software"},
        {"Mesa DRI Intel(R) HD Graphics 620", true, 0, "opengl"},
        {"AMD Radeon RX 580", true, 1, "opengles2"},
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true, 2, "software"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver + std::string(" engine ") + std::to_string(c.engine));
        std::string dir = MakeTempDir("driver") + "251/";
        std::filesystem::create_directory(dir);
        ASSERT_TRUE(ChangeDir(dir));
        shell.DebugLog = CreateTextFile(dir + "Debug.txt");
        SetRecordedDriver(c.driver, c.accelerated);
        shell.Settings[slot::GfxEngine] = c.engine;
        ASSERT_TRUE(ApplyDisplaySettings());
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        EXPECT_EQ(OpenedEngineName(), c.opened);
        EXPECT_EQ(shell.Settings[slot::GfxEngine], c.engine);
        auto log = ReadLinesOf(dir + "Debug.txt");
        auto line = std::find_if(log.begin(), log.end(), [](const std::string& l) {
            return l.rfind("\tDriver : ", 0) == 0;
        });
        if (c.engine == 2) {
            EXPECT_EQ(line, log.end());
            continue;
        }
        ASSERT_NE(line, log.end());
        EXPECT_NE(line->find(c.driver), std::string::npos) << *line;
        EXPECT_EQ(line->find("rasteriser draws") != std::string::npos,
                  std::string(c.opened) == "software")
            << *line;
    }
}
