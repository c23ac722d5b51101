// score_panel_test.cpp - the title screen's score panel on the recording
// back-end: ranking, graph heights, selection that sticks, the nag box and
// the pruning of old rounds.
#include "platform/platform.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

namespace {

// Full panel width on the default 1280 x 960 logical screen.
const int A = 320, W = 1280, B = 960 - 10, L = W - 10 - A;

class ScorePanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string dir = MakeTempDir("panel");
        WriteWholeFile(dir + "script.txt", "0 down mouse1\n100 up mouse1\n");
        PlatformConfig config;
        config.scriptPath = dir + "script.txt";
        StartDoubles(config);
        ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
        SetLogicalSize(W, 960);
        PumpInput(); // the left button is held until 100 ms
    }
    // The draws of one frame of the panel with the pointer at (x, y).
    std::vector<DrawRecord> panel(int x = 0, int y = 0) {
        frame.FrameMouseX = x;
        frame.FrameMouseY = y;
        ClearRecordedDraws();
        ScorePanel(A, 0, 0, 0);
        return RecordedDraws();
    }
    void releaseButton() {
        SleepMillis(200);
        ASSERT_FALSE(IsMouseDown(1));
    }
};

// Adds a round newer than every one added before.
void add(int64_t score, const std::string& name, int mode = 0) {
    static int64_t clock = 1000;
    Scores s;
    s.Score = score;
    s.Name = name;
    s.GameMode = mode;
    s.Timestamp = ++clock;
    scores.ScoreTable.push_front(s);
}

int count(const std::vector<DrawRecord>& draws, const std::string& text) {
    int n = 0;
    for (const DrawRecord& d : draws) n += d.kind == DrawKind::Text && d.text == text;
    return n;
}
// The name in the details box: the first text after its background at (L - 2, B - 566).
std::string detailName(const std::vector<DrawRecord>& draws) {
    bool box = false;
    for (const DrawRecord& d : draws) {
        if (d.kind == DrawKind::Rect && d.x == L - 2 && d.y == B - 566) box = true;
        if (box && d.kind == DrawKind::Text) return d.text;
    }
    return "";
}
// Centre x of graph column n (1 = newest) with no scrolling.
int column(int n) {
    return W - A + 306 - 18 * (n - 1);
}

} // namespace

TEST_F(ScorePanelTest, RanksTiesNewerFirstAndNagsAboveTenRows) {
    add(100, "OldHundred");
    add(300, "Three");
    add(100, "NewHundred");
    add(999, "Elsewhere", 2);
    for (int i = 0; i < 6; ++i) add(10, "P" + std::to_string(i));
    auto draws = panel();
    ASSERT_NE(scores.TopTable[3], nullptr);
    EXPECT_EQ(scores.TopTable[1]->Name + scores.TopTable[2]->Name + scores.TopTable[3]->Name,
              "ThreeNewHundredOldHundred");
    EXPECT_EQ(count(draws, "000000000100"), 2);
    EXPECT_EQ(count(draws, "Elsewhere"), 0);
    EXPECT_EQ(count(draws, "You've been enjoying"), 0); // 9 rows
    add(1, "Tenth");
    EXPECT_EQ(count(panel(), "You've been enjoying"), 0);
    add(1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    draws = panel();
    EXPECT_EQ(count(draws, "You've been enjoying"), 1);
    EXPECT_EQ(count(draws, "ABCDEFGHIJKLMNOPQRSTUVWX"), 1); // 24 characters of a name
}

TEST_F(ScorePanelTest, GraphPlotsTheBestAtTheTopAndZeroOnTheBaseline) {
    add(0, "Zero");
    add(40, "Best");
    auto draws = panel();
    int joins = 0;
    for (const DrawRecord& d : draws)
        joins += d.kind == DrawKind::Line && d.x == column(2) && d.y == B && d.w == column(1) &&
                 d.h == B - 150;
    EXPECT_EQ(joins, 1);
}

TEST_F(ScorePanelTest, ClickedRowStaysSelectedAfterThePointerLeaves) {
    for (int i = 1; i <= 6; ++i) add(i * 10, "R" + std::to_string(i));
    // Row 2 holds R5; hovering shows it, the held button makes it stick.
    EXPECT_EQ(detailName(panel(L + 100, B - 426 + 17 + 8)), "R5");
    EXPECT_EQ(scores.SelectedIndex, 1002);
    releaseButton();
    EXPECT_EQ(detailName(panel(5, 5)), "R5");
    EXPECT_EQ(detailName(panel(L + 100, B - 426 + 8)), "R6"); // hover only
    EXPECT_EQ(detailName(panel(5, 5)), "R5");
}

TEST_F(ScorePanelTest, ClickedGraphColumnStaysSelectedAfterThePointerLeaves) {
    // Column 5 is the fifth newest round, R2.
    for (int i = 1; i <= 6; ++i) add(i * 10, "R" + std::to_string(i));
    EXPECT_EQ(detailName(panel(column(5), B - 70)), "R2");
    EXPECT_EQ(scores.SelectedIndex, 5);
    releaseButton();
    EXPECT_EQ(detailName(panel(5, 5)), "R2");
}

TEST_F(ScorePanelTest, KeepsTheFiftyNewestPlusOlderRoundsAmongTheBest) {
    // Ten old rounds: the odd ones rank among the 25 best, the even ones do not.
    for (int i = 1; i <= 10; ++i) add(i % 2 ? 1000 + i : 0, "old" + std::to_string(i));
    for (int i = 1; i <= 50; ++i) add(500, "new");
    add(1, "other mode", 1);
    releaseButton();
    scores.SelectedIndex = 51; // old10, the 51st newest: selected, then dropped
    EXPECT_EQ(detailName(panel()), "old10");
    std::string kept;
    for (const Scores& s : scores.ScoreTable)
        if (s.Name != "new") kept += s.Name + ",";
    EXPECT_EQ(kept, "other mode,old9,old7,old5,old3,old1,");
    EXPECT_EQ(scores.ScoreTable.size(), 56u);
}
