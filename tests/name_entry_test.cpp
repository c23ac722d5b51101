// name_entry_test.cpp - the name-entry screen played by scripted input, and
// the floating score numbers.
#include "game/game.h"
#include "platform/platform.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

namespace {

// Runs the screen once on the given input script, starting from the given
// name; returns the name confirmed. With withFont the name is drawn in the
// pack's title face at its size on a 1280 x 960 picture, else in no font.
std::string enterName(const std::string& start, const std::string& script, bool withFont = false) {
    const std::string dir = MakeTempDir("name");
    WriteWholeFile(dir + "script.txt", script);
    PlatformConfig config;
    config.scriptPath = dir + "script.txt";
    StartDoubles(config);
    EXPECT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    SetLogicalSize(1280, 960);
    if (withFont) display.FontSet[5] = LoadFont(BuiltFilesDir() + "Common/Blue Highway.ttf", 96);
    scores.PlayerName = start;
    PumpInput(); // what is pressed at 0 ms was pressed during the game
    ClearRecordedDraws();
    NameEntry();
    return scores.PlayerName;
}

int texts(const std::string& text) {
    int n = 0;
    for (const DrawRecord& d : RecordedDraws()) n += d.kind == DrawKind::Text && d.text == text;
    return n;
}

} // namespace

TEST(NameEntry, WaitsUntilKeysHeldFromTheGameAreReleased) {
    // Escape, Enter and the button held on arrival; each of them would confirm at once.
    EXPECT_EQ(enterName("", "0 down 27\n0 down 13\n0 down mouse1\n300 up 13\n400 up mouse1\n"
                            "500 up 27\n600 type Ann\n900 press 13\n"),
              "Ann");
    EXPECT_GE(Millis(), 900);
    EXPECT_GT(texts("Enter Your Name"), 0);
    EXPECT_GT(texts("Ann_"), 0); // the blinking cursor
    EXPECT_GT(texts("Ann "), 0);
    // Confirmed by the held button: back only once it is released.
    EXPECT_EQ(enterName("Bo", "100 type b\n300 down mouse1\n700 up mouse1\n"), "Bob");
    EXPECT_GE(Millis(), 700);
}

TEST(NameEntry, BackspaceAndIgnoredCharacters) {
    // Backspace on two, one and no characters; control characters and "|" dropped.
    EXPECT_EQ(enterName("AB", "100 press 8\n200 press 8\n300 press 8\n"
                              "400 type a\x01|b\t\xe9\n700 press 13\n"),
              "ab\xe9");
    // An empty name is accepted.
    EXPECT_EQ(enterName("X", "100 press 8\n200 down 27\n250 up 27\n"), "");
}

// The last name line drawn (in the name font) and where it starts.
const DrawRecord* lastNameLine() {
    const DrawRecord* last = nullptr;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Text && d.font == display.FontSet[5]) last = &d;
    return last;
}

// There is no length limit: a name longer than the line is kept whole, typed
// or carried over, and the line shows its end, where the typing goes on.
TEST(NameEntry, ALongNameIsKeptWholeAndShowsItsEnd) {
    const std::string pasted = "Bartholomew Quintessence Featherstonehaugh-Wolfeschlegel";
    for (const std::string& start : {std::string(), pasted + " " + pasted}) {
        const std::string name = enterName(start, "100 type " + pasted + "\n3000 press 13\n", true);
        ASSERT_NE(display.FontSet[5], 0) << PlatformError();
        EXPECT_EQ(name, start + pasted);
        SetFont(display.FontSet[5]);
        const DrawRecord* line = lastNameLine();
        ASSERT_NE(line, nullptr);
        const std::string shown = line->text.substr(0, line->text.size() - 1);
        EXPECT_LT(shown.size(), name.size());
        EXPECT_EQ(name.substr(name.size() - shown.size()), shown);
        EXPECT_GE(line->x, 0);
        EXPECT_LE(line->x + float(MeasureText(line->text)), 1280);
        // The longest end that fits: one character more would not.
        EXPECT_GT(MeasureText(name.substr(name.size() - shown.size() - 1)) + 2 * MeasureText("_"),
                  1280);
    }
}

TEST(ScorePopups, RiseFadeAndGoAfterTheirLastFrame) {
    StartDoubles();
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    game.RoundScore = 10;
    AddScorePopup(25, 100.5f, 200.0f, 255, 128, 0);
    EXPECT_EQ(game.RoundScore, 35);
    std::vector<DrawRecord> shown;
    for (int k = 1; k <= 121; ++k) {
        ClearRecordedDraws();
        DrawScorePopups();
        for (const DrawRecord& d : RecordedDraws())
            if (d.kind == DrawKind::Text) shown.push_back(d);
    }
    ASSERT_EQ(shown.size(), 120u);
    EXPECT_TRUE(scores.Popups.empty());
    EXPECT_EQ(shown[0].text, "25");
    EXPECT_FLOAT_EQ(shown[0].alpha, 119 / 120.0f);
    EXPECT_FLOAT_EQ(shown[119].alpha, 0);
    EXPECT_FLOAT_EQ(shown[0].y - shown[119].y, 29); // 199.75 to 170, at whole pixels
}
