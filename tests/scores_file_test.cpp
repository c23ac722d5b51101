// scores_file_test.cpp - the table of rounds and "scores.dat": the exact file
// format, the forgiving reader, the newest-first order, a round stored at the
// end of play and a file that cannot be read or written.
#include "game/game.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

const int64_t Dec7 = 2026LL * 32140800 + 12 * 2678400 + 7 * 86400; // 07 Dec 2026, 00:00:00

class ScoreFile : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        StartDoubles();
        dir = MakeTempDir("scores");
        ASSERT_TRUE(ChangeDir(dir));
        shell.DebugLog = CreateTextFile(dir + "Debug.txt");
    }
    void TearDown() override { CloseTextFile(shell.DebugLog); }
};

Scores record(int64_t score, int64_t timestamp, const std::string& name) {
    Scores s;
    s.Score = score;
    s.Timestamp = timestamp;
    s.Name = name;
    return s;
}

std::string zeros30() {
    std::string line = "0";
    for (int i = 2; i <= 30; ++i) line += "|0";
    return line;
}

std::string names() {
    std::string out;
    for (const Scores& s : scores.ScoreTable) out += s.Name + ",";
    return out;
}

} // namespace

TEST_F(ScoreFile, SavesTwoLinesPerRoundNewestFirstAndReadsEveryFieldBack) {
    Scores newer = record(-9000000000LL, Dec7 + 200, " Bo b\t");
    newer.Badges = 5, newer.Level = 2, newer.GameMode = 1, newer.GameFlags = 3, newer.Quit = 1;
    for (int i = 1; i <= 30; ++i) newer.Best[i] = i * 10;
    scores.ScoreTable = {record(1234, Dec7 + 100, "Ann\xe9"), newer};
    SaveScores();

    std::string best = "10";
    for (int i = 2; i <= 30; ++i) best += "|" + std::to_string(i * 10);
    EXPECT_EQ(ReadWholeFile(dir + "scores.dat"),
              "-9000000000| Bo b\t|5|" + std::to_string(Dec7 + 200) + "|2|1|3|1\r\n" + best +
                  "\r\n1234|Ann\xe9|0|" + std::to_string(Dec7 + 100) + "|0|0|0|0\r\n" + zeros30() +
                  "\r\n");

    scores = ScoreState{};
    LoadScores();
    ASSERT_EQ(names(), "Bo b,Ann\xe9,");
    const Scores& s = scores.ScoreTable.front();
    EXPECT_EQ(s.Score, -9000000000LL);
    EXPECT_EQ(s.Timestamp, Dec7 + 200);
    EXPECT_EQ(s.Badges + s.Level * 10 + s.GameMode * 100 + s.GameFlags * 1000 + s.Quit * 10000,
              13125);
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(s.Best[i], i * 10);
    EXPECT_EQ(scores.PlayerName, "Bo b");
}

TEST_F(ScoreFile, ForgivingReader) {
    // Any order, blank lines, negative and junk fields, a record cut short at the end.
    WriteWholeFile(dir + "scores.dat", "\r\n10|Ann|-6|-500|-1|-2|-3|-1\r\n-1|x|-3\r\n\r\n   \n"
                                       "7|Cy|0|400|0|0|0|0\n" +
                                           zeros30() + "\n5|Bob");
    LoadScores();
    ASSERT_EQ(names(), "Cy,Bob,Ann,");
    EXPECT_EQ(scores.PlayerName, "Ann"); // the file's first record, not the newest
    const Scores& bob = *std::next(scores.ScoreTable.begin());
    EXPECT_EQ(bob.Score, 5);
    EXPECT_EQ(bob.Timestamp + bob.Badges + bob.GameMode + bob.Quit, 0);
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(bob.Best[i], 0);
    const Scores& ann = scores.ScoreTable.back();
    EXPECT_EQ(ann.Timestamp, -500); // 64-bit fields keep their sign, int fields do not
    EXPECT_EQ(ann.Badges * 10000 + ann.Level * 1000 + ann.GameMode * 100 + ann.GameFlags * 10 +
                  ann.Quit,
              61231);
    EXPECT_EQ(ann.Best[1] * 100 + ann.Best[2] * 10 + ann.Best[3], 103);

    WriteWholeFile(dir + "scores.dat", "");
    scores.PlayerName = "Kept";
    LoadScores();
    EXPECT_TRUE(scores.ScoreTable.empty());
    EXPECT_EQ(scores.PlayerName, "Kept");
}

TEST_F(ScoreFile, AZeroByteEndsALineAndTheNextOneFollowsIt) {
    using namespace std::string_literals;
    // Ann's values follow her record after a zero byte; Bob's record follows
    // her values after another one.
    WriteWholeFile(dir + "scores.dat", "10|Ann|0|500|0|0|0|0\0"
                                       "4|5|6\0"
                                       "7|Bob|0|400|0|1|0|0\r\n1|2\r\n"s);
    LoadScores();
    ASSERT_EQ(names(), "Ann,Bob,");
    const Scores& ann = scores.ScoreTable.front();
    EXPECT_EQ(ann.Best[1] * 100 + ann.Best[2] * 10 + ann.Best[3], 456);
    const Scores& bob = scores.ScoreTable.back();
    EXPECT_EQ(bob.GameMode, 1);
    EXPECT_EQ(bob.Best[1] * 10 + bob.Best[2], 12);
}

TEST_F(ScoreFile, AFileThatCannotBeReadOrWrittenKeepsTheTable) {
    std::filesystem::create_directory(dir + "scores.dat"); // can be neither read nor replaced
    scores.ScoreTable = {record(11, Dec7 + 2, "Ann"), record(22, Dec7 + 1, "Bob")};
    LoadScores();
    SaveScores();
    EXPECT_EQ(names(), "Ann,Bob,");
    const std::vector<std::string> log = ReadLinesOf(dir + "Debug.txt");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("\tCould not read scores.dat: ", 0), 0u) << log[0];
    EXPECT_EQ(log[1].rfind("\tCould not save scores.dat: ", 0), 0u) << log[1];
}

TEST_F(ScoreFile, OrderUsesTheWholeTimestampAndKeepsTies) {
    // Cut to 32 bits, a difference of 2^31 + 1 would look negative.
    scores.ScoreTable = {record(1, Dec7, "a"), record(2, Dec7 + (1LL << 31) + 1, "b"),
                         record(3, Dec7 + (1LL << 32) + 5, "c"), record(4, Dec7 + 9, "tie1"),
                         record(5, Dec7 + 9, "tie2")};
    SortScores();
    EXPECT_EQ(names(), "c,b,tie1,tie2,a,");
}

TEST_F(ScoreFile, AddRoundScoreStoresTheRoundFirstAndSavesAtOnce) {
    const int64_t now = Dec7 + 18 * 3600 + 5 * 60 + 9; // the doubles' start time
    scores.ScoreTable = {record(50, now, "Same second"), record(60, Dec7, "Earlier")};
    scores.PlayerName = "Ann";
    game.RoundScore = 1234;
    game.RoundBadges = 3;
    shell.RoundBest[30] = 1;
    shell.GameMode = 2, shell.Level = 1, shell.GameFlags = 5;
    AddRoundScore(1);
    EXPECT_EQ(names(), "Ann,Same second,Earlier,");
    EXPECT_EQ(scores.ScoreTable.front().Best[30], 1);
    // Already on disk, before any closing screen.
    EXPECT_EQ(ReadLinesOf(dir + "scores.dat").at(0),
              "1234|Ann|3|" + std::to_string(now) + "|1|2|5|1");
}
