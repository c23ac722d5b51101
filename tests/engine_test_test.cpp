// engine_test_test.cpp - the sprite-budget measurement on the virtual clock:
// drawing is given a virtual cost so that "fast" and "slow" machines can be
// played, and the budgets, slow-system switch and log lines are checked.
#include "draw/draw.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "ui/ui.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

class EngineTestTest : public ::testing::Test {
  protected:
    std::string root;

    void SetUp() override {
        StartDoubles();
        root = MakeTempDir("engine");
        shell.DebugLog = CreateTextFile(root + "Debug.txt");
        ASSERT_TRUE(OpenDisplay(1280, 960, 0, 60));
        SetLogicalSize(display.VirtualWidth, display.VirtualHeight);
        Pixmap pixmap;
        pixmap.width = pixmap.height = 8;
        pixmap.pixels.assign(64, 0xFFFFFFFFu);
        ASSERT_TRUE(SavePixmapPng(pixmap, root + "cell.png", 9));
        SetCentreAnchoring(true);
        display.IconSheetCrisp = LoadImage(root + "cell.png", 0);
        display.Logo = LoadImage(root + "cell.png", 0);
        display.Palvex = LoadImage(root + "cell.png", 0);
        ASSERT_NE(display.IconSheetCrisp, 0);
        frame.ShowStats = 1;
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        PlatformShutdown();
    }

    // Runs the test and returns the log lines it wrote.
    std::vector<std::string> Run() {
        EngineTest(60, 2);
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        std::vector<std::string> lines;
        ReadTextLines(root + "Debug.txt", lines);
        return lines;
    }

    static bool Has(const std::vector<std::string>& log, const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

const char* const Overwritten = "Settings Overwritten, Set to Default Lower Limits at 30fps.";

} // namespace

TEST_F(EngineTestTest, AFastMachineReachesTheTopOfTheSearch) {
    std::vector<std::string> log = Run();
    EXPECT_EQ(engineTest.Best, 20000);
    EXPECT_EQ(sprites.SpriteBudget[1], 8000);
    EXPECT_EQ(sprites.SpriteBudget[2], 8000);
    EXPECT_EQ(sprites.SpriteBudget[3], 4000);
    EXPECT_EQ(engineTest.TargetFps, 60);
    EXPECT_EQ(shell.Settings[slot::SlowSystem], 0);
    EXPECT_EQ(frame.ShowStats, 0);
    std::vector<std::string> expected = {"Starting Engine Test",
                                         "Aiming for 60,2",
                                         "Test Complete",
                                         "",
                                         "Engine Test Results",
                                         "",
                                         "\tMaximum Sprites Allowed for 60 Frames Per Second",
                                         "\tMain sprites : 8000",
                                         "\tGlowy Sprites : 8000",
                                         "\tParticles : 4000",
                                         "",
                                         ""};
    EXPECT_EQ(log, expected);
}

TEST_F(EngineTestTest, EveryFrameDrawsTheLoadingPictureAndInvisibleSprites) {
    SetVirtualDrawCost(2000); // slow enough to stop after the second batch
    EngineTest(60, 2);
    // The last frame: stripes turned -45 degrees, the logos at 1.5, then the
    // test sprites at the given zoom with alpha 0.
    std::vector<DrawRecord> last;
    const std::vector<DrawRecord>& draws = RecordedDraws();
    auto clear = std::find_if(draws.rbegin(), draws.rend(),
                              [](const DrawRecord& r) { return r.kind == DrawKind::Clear; });
    ASSERT_NE(clear, draws.rend());
    last.assign(clear.base() - 1, draws.end());
    int stripes = 0, logos = 0, cells = 0;
    for (const DrawRecord& r : last) {
        if (r.kind == DrawKind::Rect && r.rotation == -45 && r.r == 0 && r.b >= 50) ++stripes;
        if (r.kind == DrawKind::Image && r.sx == 1.5f && r.alpha == 1) ++logos;
        if (r.kind == DrawKind::Image && r.image == display.IconSheetCrisp && r.sx == 2 &&
            r.alpha == 0) {
            ++cells;
            EXPECT_GE(r.x, 1);
            EXPECT_LE(r.x, display.VirtualWidth);
            EXPECT_GE(r.y, 1);
            EXPECT_LE(r.y, display.VirtualHeight);
        }
    }
    EXPECT_EQ(stripes, display.VirtualHeight / 10 + 1);
    EXPECT_EQ(logos, 2);
    EXPECT_EQ(cells, 1001); // n = 1000, drawn 0 to n inclusive
}

TEST_F(EngineTestTest, ASlowMachineFallsToTheLowerLimitsAndTheSlowSystemMode) {
    SetVirtualDrawCost(200); // 1000 sprites take a fifth of a second
    std::vector<std::string> log = Run();
    EXPECT_EQ(engineTest.Best, 0);
    EXPECT_EQ(sprites.SpriteBudget[1], 1000);
    EXPECT_EQ(sprites.SpriteBudget[2], 500);
    EXPECT_EQ(sprites.SpriteBudget[3], 250);
    EXPECT_EQ(engineTest.TargetFps, 30);
    EXPECT_EQ(shell.Settings[slot::SlowSystem], 1);
    EXPECT_TRUE(Has(log, "\tMain sprites : 0")); // the figures before the limits
    EXPECT_TRUE(Has(log, "\tParticles : 0"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], Overwritten);
    EXPECT_EQ(log.back(), "");
}

TEST_F(EngineTestTest, AMiddlingMachineStopsWhereTheRateDrops) {
    // About 2 microseconds a draw: 8500 sprites fill the 17 ms of a 58 fps frame.
    SetVirtualDrawCost(2);
    std::vector<std::string> log = Run();
    EXPECT_GE(engineTest.Best, 5000);
    EXPECT_LE(engineTest.Best, 10000);
    EXPECT_EQ(engineTest.Best % 500, 0);
    EXPECT_EQ(sprites.SpriteBudget[1], engineTest.Best * 2 / 5);
    EXPECT_EQ(sprites.SpriteBudget[3], engineTest.Best / 5);
    EXPECT_EQ(shell.Settings[slot::SlowSystem], 0);
    EXPECT_FALSE(Has(log, Overwritten));
}

TEST_F(EngineTestTest, ASlowSystemAimsForThirtyAndSaysSoEvenWithoutRaising) {
    shell.Settings[slot::SlowSystem] = 1;
    std::vector<std::string> log = Run();
    EXPECT_EQ(engineTest.TargetFps, 30);
    EXPECT_TRUE(Has(log, "Aiming for 30,2"));
    EXPECT_TRUE(Has(log, "\tMaximum Sprites Allowed for 30 Frames Per Second"));
    EXPECT_GE(sprites.SpriteBudget[1], 1000);
    EXPECT_TRUE(Has(log, Overwritten));
    EXPECT_EQ(shell.Settings[slot::SlowSystem], 1);
    EXPECT_EQ(frame.ShowStats, 0);
}
