// name_entry_test.cpp - the name-entry screen played by scripted input, and
// the floating score numbers.
#include "game/game.h"
#include "platform/platform.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "support/fixture.h"

#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Starts the doubles with the given input script and runs the screen once,
// starting from the given name; returns the name confirmed.
std::string enterName(const std::string& start, const std::string& script) {
    const std::string dir = MakeTempDir("name");
    std::ofstream(dir + "script.txt") << script;
    PlatformConfig config;
    config.scriptPath = dir + "script.txt";
    StartDoubles(config);
    EXPECT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    SetLogicalSize(1280, 960);
    scores.PlayerName = start;
    PumpInput(); // what was pressed at the start happened during the game
    ClearRecordedDraws();
    NameEntry();
    return scores.PlayerName;
}

bool drewText(const std::string& text) {
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Text && d.text == text) return true;
    return false;
}

} // namespace

TEST(NameEntry, WaitsForKeysHeldFromTheGameToBeReleased) {
    // Escape, Enter and the button all held on arrival; any of them would confirm at once.
    const std::string name = enterName("", "0 down 27\n0 down 13\n0 down mouse1\n"
                                           "300 up 13\n400 up mouse1\n500 up 27\n"
                                           "600 type Ann\n900 press 13\n");
    EXPECT_EQ(name, "Ann");
    EXPECT_GE(Millis(), 900);
    EXPECT_TRUE(drewText("Enter Your Name"));
    // The cursor blinks behind the name.
    EXPECT_TRUE(drewText("Ann_"));
    EXPECT_TRUE(drewText("Ann "));
}

TEST(NameEntry, LeavesOnlyOnceTheConfirmingButtonIsReleased) {
    const std::string name = enterName("Bo", "100 type b\n300 down mouse1\n700 up mouse1\n");
    EXPECT_EQ(name, "Bob");
    EXPECT_GE(Millis(), 700);
    EXPECT_FALSE(IsMouseDown(1));
}

TEST(NameEntry, BackspaceRemovesTheLastCharacterAndStopsAtEmpty) {
    const std::string name = enterName("AB", "100 press 8\n200 press 8\n300 press 8\n"
                                             "400 type C\n500 press 13\n");
    EXPECT_EQ(name, "C");
}

TEST(NameEntry, ControlCharactersAndTheFieldSeparatorAreIgnored) {
    const std::string name = enterName("", "100 type a\x01"
                                           "b\tc|d\x1b\x7f\xe9 e\n600 press 13\n");
    EXPECT_EQ(name, "abcd\x7f\xe9 e");
}

TEST(NameEntry, AnEmptyNameIsAccepted) {
    EXPECT_EQ(enterName("X", "100 press 8\n200 down 27\n250 up 27\n"), "");
    EXPECT_GE(Millis(), 250);
}

TEST(ScorePopups, RiseFadeAndDisappearAfterTheirLastFrame) {
    StartDoubles();
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    SetLogicalSize(1280, 960);
    game.RoundScore = 10;
    AddScorePopup(25, 100.5f, 200.0f, 255, 128, 0);
    EXPECT_EQ(game.RoundScore, 35);
    ASSERT_EQ(scores.Popups.size(), 1u);
    std::vector<float> heights;
    for (int k = 1; k <= 120; ++k) {
        ASSERT_EQ(scores.Popups.size(), 1u) << k;
        ClearRecordedDraws();
        DrawScorePopups();
        int texts = 0;
        for (const DrawRecord& d : RecordedDraws()) {
            if (d.kind != DrawKind::Text) continue;
            ++texts;
            heights.push_back(d.y);
            EXPECT_EQ(d.text, "25");
            EXPECT_FLOAT_EQ(d.alpha, (120 - k) / 120.0f) << k;
            EXPECT_EQ(d.r, 255);
            EXPECT_EQ(d.g, 128);
        }
        EXPECT_EQ(texts, 1) << k;
    }
    // From 199.75 to 170, drawn at whole pixels: 29 pixels up in all, never down.
    ASSERT_EQ(heights.size(), 120u);
    EXPECT_FLOAT_EQ(heights.front() - heights.back(), 29);
    for (size_t i = 1; i < heights.size(); ++i) EXPECT_LE(heights[i], heights[i - 1]);
    EXPECT_TRUE(scores.Popups.empty());
    ClearRecordedDraws();
    DrawScorePopups();
    EXPECT_TRUE(RecordedDraws().empty());
}
