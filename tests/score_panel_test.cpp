// score_panel_test.cpp - the title screen's score panel on the recording
// back-end: ranking, graph heights, selection that sticks, scrolling, the nag
// box and the pruning of old rounds.
#include "platform/platform.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "support/fixture.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace {

// Full panel width on the default 1280 x 960 logical screen.
const int A = 320, W = 1280, B = 960 - 10, L = W - 10 - A;

class ScorePanelTest : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        dir = MakeTempDir("panel");
        std::ofstream(dir + "script.txt") << "0 down mouse1\n100 up mouse1\n";
        PlatformConfig config;
        config.scriptPath = dir + "script.txt";
        StartDoubles(config);
        ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
        SetLogicalSize(W, 960);
        PumpInput();
        pointAt(0, 0);
    }

    void pointAt(int x, int y) {
        frame.FrameMouseX = x;
        frame.FrameMouseY = y;
    }
    // Draws of one call of the panel with the pointer at (x, y).
    std::vector<DrawRecord> panel(int x = 0, int y = 0, int mode = 0) {
        pointAt(x, y);
        ClearRecordedDraws();
        ScorePanel(A, mode, 0, 0);
        return RecordedDraws();
    }
    void releaseButton() {
        SleepMillis(200);
        PumpInput();
        ASSERT_FALSE(IsMouseDown(1));
    }
};

// Adds a round; later calls are newer (larger timestamps) unless given one.
Scores& add(int64_t score, const std::string& name, int mode = 0, int64_t timestamp = -1) {
    static int64_t clock = 1000;
    Scores s;
    s.Score = score;
    s.Name = name;
    s.GameMode = mode;
    s.Timestamp = timestamp >= 0 ? timestamp : ++clock;
    scores.ScoreTable.push_front(s);
    SortScores();
    for (Scores& r : scores.ScoreTable)
        if (r.Timestamp == s.Timestamp && r.Name == name) return r;
    return scores.ScoreTable.front();
}

int count(const std::vector<DrawRecord>& draws, const std::string& text) {
    int n = 0;
    for (const DrawRecord& d : draws) n += d.kind == DrawKind::Text && d.text == text;
    return n;
}
const DrawRecord* findText(const std::vector<DrawRecord>& draws, const std::string& text) {
    for (const DrawRecord& d : draws)
        if (d.kind == DrawKind::Text && d.text == text) return &d;
    return nullptr;
}
// The details box's name line, drawn at (L + 4, B - 562) with font slot 1.
std::string detailName(const std::vector<DrawRecord>& draws) {
    bool boxSeen = false;
    for (const DrawRecord& d : draws) {
        if (d.kind == DrawKind::Rect && d.x == L - 2 && d.y == B - 566) boxSeen = true;
        if (boxSeen && d.kind == DrawKind::Text) return d.text;
    }
    return "";
}
// Centre x of graph column n (1 = newest) with no scrolling.
int column(int n) {
    return W - A + 306 - 18 * (n - 1);
}

} // namespace

TEST_F(ScorePanelTest, NoRoundsDrawsOnlyTheEmptyTable) {
    add(500, "Other", 1);
    auto draws = panel();
    int rects = 0, lines = 0, texts = 0;
    for (const DrawRecord& d : draws) {
        rects += d.kind == DrawKind::Rect;
        lines += d.kind == DrawKind::Line;
        texts += d.kind == DrawKind::Text;
    }
    EXPECT_EQ(rects, 1);
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(texts, 0);
    EXPECT_EQ(scores.SelectedRecord, nullptr);
}

TEST_F(ScorePanelTest, RanksByScoreWithTheNewerOfEqualScoresAbove) {
    add(100, "OldHundred");
    add(300, "Three");
    add(100, "NewHundred");
    add(200, "Two");
    add(999, "Elsewhere", 2);
    auto draws = panel();
    ASSERT_NE(scores.TopTable[4], nullptr);
    EXPECT_EQ(scores.TopTable[1]->Name, "Three");
    EXPECT_EQ(scores.TopTable[2]->Name, "Two");
    EXPECT_EQ(scores.TopTable[3]->Name, "NewHundred");
    EXPECT_EQ(scores.TopTable[4]->Name, "OldHundred");
    EXPECT_EQ(scores.TopTable[5], nullptr);
    // Row r's name at (L + 4, B - 426 + 17(r - 1)) and a 12-digit zero-padded score.
    const DrawRecord* row3 = findText(draws, "NewHundred");
    ASSERT_NE(row3, nullptr);
    EXPECT_EQ(static_cast<int>(row3->y), B - 426 + 34);
    EXPECT_EQ(count(draws, "000000000300"), 1);
    EXPECT_EQ(count(draws, "000000000100"), 2);
    EXPECT_EQ(count(draws, "Elsewhere"), 0);
}

TEST_F(ScorePanelTest, LongNamesAreCutToTwentyFourCharacters) {
    add(5, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    auto draws = panel();
    EXPECT_EQ(count(draws, "ABCDEFGHIJKLMNOPQRSTUVWX"), 1);
}

TEST_F(ScorePanelTest, NagBoxAppearsOnlyAboveTenRows) {
    for (int i = 0; i < 10; ++i) add(10 + i, "P" + std::to_string(i));
    EXPECT_EQ(count(panel(), "You've been enjoying"), 0);
    add(1, "Eleventh");
    auto draws = panel();
    EXPECT_EQ(count(draws, "You've been enjoying"), 1);
    EXPECT_EQ(count(draws, "Zorvek"), 1);
    EXPECT_EQ(count(draws, "Plon"), 1);
    EXPECT_EQ(count(draws, "brannoch.example"), 1);
    // More than 16 rounds still show 16 rows.
    for (int i = 0; i < 10; ++i) add(100 + i, "Q" + std::to_string(i));
    draws = panel();
    int rows = 0;
    for (const DrawRecord& d : draws)
        rows +=
            d.kind == DrawKind::Text && d.text.size() == 12 && d.text.substr(0, 9) == "000000000";
    EXPECT_EQ(rows, 16);
}

TEST_F(ScorePanelTest, GraphPlotsTheBestAtTheTopAndZeroOnTheBaseline) {
    add(0, "Zero");
    add(40, "Best");
    auto draws = panel();
    // The line joining the two points runs from the older (x, B) back to the newest (x, B - 150).
    bool found = false;
    for (const DrawRecord& d : draws)
        if (d.kind == DrawKind::Line && d.x == column(2) && d.y == B && d.w == column(1) &&
            d.h == B - 150)
            found = true;
    EXPECT_TRUE(found);

    scores.ScoreTable.clear();
    add(0, "A");
    add(0, "B");
    draws = panel();
    found = false;
    for (const DrawRecord& d : draws)
        if (d.kind == DrawKind::Line && d.x == column(2) && d.w == column(1)) {
            EXPECT_EQ(d.y, B);
            EXPECT_EQ(d.h, B);
            found = true;
        }
    EXPECT_TRUE(found);
}

TEST_F(ScorePanelTest, ClickedTableRowStaysSelectedAfterThePointerLeaves) {
    add(10, "Low");
    add(30, "High");
    add(20, "Mid");
    // Hovering shows the details without making them stick.
    auto draws = panel(L + 100, B - 426 + 17 + 8);
    EXPECT_EQ(detailName(draws), "Mid");
    ASSERT_TRUE(IsMouseDown(1));
    EXPECT_EQ(scores.SelectedIndex, 1002);
    releaseButton();
    draws = panel(5, 5);
    EXPECT_EQ(detailName(draws), "Mid");
    EXPECT_EQ(scores.SelectedRecord->Name, "Mid");
    // The details show the date and time of the round.
    EXPECT_EQ(count(draws, TimestampDate(scores.SelectedRecord->Timestamp) + ", " +
                               TimestampTime(scores.SelectedRecord->Timestamp)),
              1);
    // Hovering another row shows that one while the pointer is there only.
    releaseButton();
    EXPECT_EQ(detailName(panel(L + 100, B - 426 + 8)), "High");
    EXPECT_EQ(detailName(panel(5, 5)), "Mid");
}

TEST_F(ScorePanelTest, ClickedGraphColumnStaysSelectedAfterThePointerLeaves) {
    for (int i = 1; i <= 6; ++i) add(i * 10, "R" + std::to_string(i));
    // Column 5 is the fifth newest round: R2.
    auto draws = panel(column(5), B - 70);
    EXPECT_EQ(scores.SelectedIndex, 5);
    EXPECT_EQ(detailName(draws), "R2");
    releaseButton();
    draws = panel(5, 5);
    EXPECT_EQ(detailName(draws), "R2");
    // The column's highlight is drawn behind it.
    bool lit = false;
    for (const DrawRecord& d : draws)
        lit |= d.kind == DrawKind::Rect && d.x == column(5) - 9 && d.y == B - 150 && d.w == 19;
    EXPECT_TRUE(lit);
}

TEST_F(ScorePanelTest, PointerAtTheGraphEdgesScrollsIt) {
    add(1, "A");
    releaseButton();
    panel(L + 10, B - 70);
    panel(L + 10, B - 70);
    EXPECT_EQ(scores.PanelSlide, 16);
    panel(L + 300, B - 70);
    EXPECT_EQ(scores.PanelSlide, 8);
    scores.PanelSlide = 1000;
    panel(L + 10, B - 70);
    EXPECT_EQ(scores.PanelSlide, 1000);
}

TEST_F(ScorePanelTest, PrunesToTheFiftyNewestPlusOlderOnesAmongTheBest) {
    // Ten old rounds: the odd ones score high enough for the 25 best, the even ones not.
    for (int i = 1; i <= 10; ++i) add(i % 2 ? 1000 + i : 0, "old" + std::to_string(i));
    for (int i = 1; i <= 50; ++i) add(500, "new" + std::to_string(i));
    add(1, "other mode", 1, 1);
    releaseButton();
    panel();
    std::set<std::string> kept;
    for (const Scores& s : scores.ScoreTable) kept.insert(s.Name);
    EXPECT_EQ(scores.ScoreTable.size(), 56u);
    for (int i = 1; i <= 50; ++i) EXPECT_TRUE(kept.count("new" + std::to_string(i))) << i;
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(kept.count("old" + std::to_string(i)), i % 2 ? 1u : 0u) << i;
    EXPECT_TRUE(kept.count("other mode"));
    // A second frame finds nothing more to drop.
    panel();
    EXPECT_EQ(scores.ScoreTable.size(), 56u);
}

TEST_F(ScorePanelTest, ARoundDroppedWhileSelectedStillShowsItsDetails) {
    for (int i = 1; i <= 51; ++i) add(i == 1 ? 0 : 500, "r" + std::to_string(i));
    for (int i = 1; i <= 24; ++i) add(900, "top" + std::to_string(i), 0, 10 + i);
    releaseButton();
    // The oldest round r1 is the 51st newest and the worst: selected, then dropped.
    scores.SelectedIndex = 51;
    scores.PanelSlide = 0;
    auto draws = panel();
    EXPECT_EQ(detailName(draws), "r1");
    for (const Scores& s : scores.ScoreTable) EXPECT_NE(s.Name, "r1");
}
