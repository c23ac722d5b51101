// scores_file_test.cpp - the table of rounds and "scores.dat": the exact file
// format, the forgiving reader, the newest-first order, a round stored at the
// end of play and a file that cannot be read or written.
#include "game/game.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/shell.h"
#include "support/fixture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

class ScoreFile : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        StartDoubles();
        dir = MakeTempDir("scores");
        ASSERT_TRUE(ChangeDir(dir));
        shell.DebugLog = CreateTextFile(dir + "Debug.txt");
        ASSERT_NE(shell.DebugLog, 0);
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
    }

    // Writes raw bytes, exactly as given, to "scores.dat".
    void writeFile(const std::string& bytes) {
        std::ofstream out(dir + "scores.dat", std::ios::binary);
        out << bytes;
    }
    std::string readFile(const std::string& name) {
        std::ifstream in(dir + name, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        std::istringstream in(readFile("Debug.txt"));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) lines.push_back(line);
        }
        return lines;
    }
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

std::vector<int64_t> timestamps() {
    std::vector<int64_t> out;
    for (const Scores& s : scores.ScoreTable) out.push_back(s.Timestamp);
    return out;
}

const int64_t Dec7 = 2026LL * 32140800 + 12 * 2678400 + 7 * 86400; // midnight, 07 Dec 2026

} // namespace

TEST_F(ScoreFile, SavesTheExactTwoLineFormatNewestFirst) {
    Scores older = record(1234, Dec7 + 100, "Ann");
    Scores newer = record(-7, Dec7 + 200, "Bo b");
    newer.Badges = 5;
    newer.Level = 2;
    newer.GameMode = 1;
    newer.GameFlags = 3;
    newer.Quit = 1;
    for (int i = 1; i <= 30; ++i) newer.Best[i] = i * 10;
    scores.ScoreTable = {older, newer};
    SaveScores();

    std::string best = "10";
    for (int i = 2; i <= 30; ++i) best += "|" + std::to_string(i * 10);
    const std::string want = "-7|Bo b|5|" + std::to_string(Dec7 + 200) + "|2|1|3|1\r\n" + best +
                             "\r\n1234|Ann|0|" + std::to_string(Dec7 + 100) + "|0|0|0|0\r\n" +
                             zeros30() + "\r\n";
    EXPECT_EQ(readFile("scores.dat"), want);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(ScoreFile, RoundTripKeepsEveryFieldAndTrimsNames) {
    Scores a = record(9000000000LL, Dec7 + 5000000000LL, "  Zed Q \t");
    a.Badges = 0x8001;
    a.Level = 4;
    a.GameMode = 2;
    a.GameFlags = 9;
    a.Quit = 1;
    for (int i = 1; i <= 30; ++i) a.Best[i] = 31 - i;
    Scores b = record(-3, Dec7, "\xe9t\xe9"); // Latin-1 bytes stay one byte each
    b.Best[30] = 1;
    scores.ScoreTable = {b, a};
    SaveScores();

    scores = ScoreState{};
    LoadScores();
    ASSERT_EQ(scores.ScoreTable.size(), 2u);
    const Scores& x = scores.ScoreTable.front();
    EXPECT_EQ(x.Score, 9000000000LL);
    EXPECT_EQ(x.Timestamp, Dec7 + 5000000000LL);
    EXPECT_EQ(x.Badges, 0x8001);
    EXPECT_EQ(x.Name, "Zed Q");
    EXPECT_EQ(x.Level, 4);
    EXPECT_EQ(x.GameMode, 2);
    EXPECT_EQ(x.GameFlags, 9);
    EXPECT_EQ(x.Quit, 1);
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(x.Best[i], 31 - i) << i;
    const Scores& y = scores.ScoreTable.back();
    EXPECT_EQ(y.Score, -3);
    EXPECT_EQ(y.Timestamp, Dec7);
    EXPECT_EQ(y.Name, "\xe9t\xe9");
    EXPECT_EQ(y.Best[30], 1);
    EXPECT_EQ(y.Best[1], 0);
    EXPECT_EQ(scores.PlayerName, "Zed Q");
}

TEST_F(ScoreFile, LoadSortsNewestFirstButTakesTheNameFromTheFirstRecord) {
    writeFile("1|Middle|0|200|0|0|0|0\r\n" + zeros30() + "\r\n" + //
              "2|Oldest|0|100|0|0|0|0\r\n" + zeros30() + "\r\n" + //
              "3|Newest|0|300|0|0|0|0\r\n" + zeros30() + "\r\n");
    LoadScores();
    EXPECT_EQ(timestamps(), (std::vector<int64_t>{300, 200, 100}));
    EXPECT_EQ(scores.PlayerName, "Middle");
}

TEST_F(ScoreFile, ForgivesBlankLinesNegativeFieldsAndAMissingSecondLine) {
    writeFile("\r\n\n10|Ann|-6|-500|-1|-2|-3|-1\r\n-1|2|-3\r\n\r\n   \r\n"
              "7|Cy|0|400|0|0|0|0\nx|1\n"
              "5|Bob");
    LoadScores();
    ASSERT_EQ(scores.ScoreTable.size(), 3u);
    auto it = scores.ScoreTable.begin();
    const Scores& cy = *it++;
    EXPECT_EQ(cy.Name, "Cy");
    EXPECT_EQ(cy.Best[1], 0); // a junk field reads as 0
    EXPECT_EQ(cy.Best[2], 1);

    const Scores& bob = *it++;
    EXPECT_EQ(bob.Score, 5);
    EXPECT_EQ(bob.Name, "Bob");
    EXPECT_EQ(bob.Timestamp, 0);
    EXPECT_EQ(bob.Badges, 0);
    EXPECT_EQ(bob.GameMode, 0);
    EXPECT_EQ(bob.Quit, 0);
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(bob.Best[i], 0);

    const Scores& ann = *it++;
    EXPECT_EQ(ann.Timestamp, -500); // 64-bit fields keep their sign
    EXPECT_EQ(ann.Badges, 6);       // int fields become non-negative
    EXPECT_EQ(ann.Level, 1);
    EXPECT_EQ(ann.GameMode, 2);
    EXPECT_EQ(ann.GameFlags, 3);
    EXPECT_EQ(ann.Quit, 1);
    EXPECT_EQ(ann.Best[1], 1);
    EXPECT_EQ(ann.Best[2], 2);
    EXPECT_EQ(ann.Best[3], 3);
    EXPECT_EQ(ann.Best[4], 0);
    EXPECT_EQ(scores.PlayerName, "Ann");
}

TEST_F(ScoreFile, EmptyOrMissingFile) {
    scores.ScoreTable = {record(1, 1, "Kept")};
    LoadScores(); // no file at all: nothing changes
    EXPECT_EQ(scores.ScoreTable.size(), 1u);
    EXPECT_EQ(scores.PlayerName, "Player");

    writeFile("");
    LoadScores();
    EXPECT_TRUE(scores.ScoreTable.empty());
    EXPECT_EQ(scores.PlayerName, "Player");
    EXPECT_TRUE(logLines().empty());
}

TEST_F(ScoreFile, AFileThatCannotBeReadOrWrittenKeepsTheTable) {
    // A folder in the file's place can be neither read as lines nor replaced.
    std::filesystem::create_directory(dir + "scores.dat");
    scores.ScoreTable = {record(11, Dec7 + 2, "Ann"), record(22, Dec7 + 1, "Bob")};
    LoadScores();
    SaveScores();
    ASSERT_EQ(scores.ScoreTable.size(), 2u);
    EXPECT_EQ(scores.ScoreTable.front().Name, "Ann");
    const std::vector<std::string> log = logLines();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("\tCould not read scores.dat: ", 0), 0u) << log[0];
    EXPECT_EQ(log[1].rfind("\tCould not save scores.dat: ", 0), 0u) << log[1];
    EXPECT_TRUE(std::filesystem::is_directory(dir + "scores.dat"));
}

TEST_F(ScoreFile, OrderUsesTheWholeTimestampAndKeepsTiesInPlace) {
    // Differences beyond 32 bits: truncated to 32 bits, 2^31 + 1 would look negative.
    const int64_t base = Dec7;
    scores.ScoreTable = {record(1, base, "a"),
                         record(2, base + (1LL << 31) + 1, "b"),
                         record(3, base + (1LL << 32) + 5, "c"),
                         record(4, base + 10, "tie1"),
                         record(5, base + 10, "tie2"),
                         record(6, -(1LL << 40), "d")};
    SortScores();
    std::vector<std::string> names;
    for (const Scores& s : scores.ScoreTable) names.push_back(s.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"c", "b", "tie1", "tie2", "a", "d"}));
}

TEST_F(ScoreFile, AddRoundScoreStoresTheRoundFirstAndSavesAtOnce) {
    scores.ScoreTable = {record(50, Dec7 + 18 * 3600 + 5 * 60 + 9, "Same second"),
                         record(60, Dec7, "Earlier")};
    scores.PlayerName = "Ann";
    game.RoundScore = 1234;
    game.RoundBadges = 3;
    shell.RoundBest[1] = 4;
    shell.RoundBest[30] = 1;
    shell.GameMode = 2;
    shell.Level = 1;
    shell.GameFlags = 5;
    AddRoundScore(1);

    ASSERT_EQ(scores.ScoreTable.size(), 3u);
    const Scores& s = scores.ScoreTable.front();
    EXPECT_EQ(s.Score, 1234);
    EXPECT_EQ(s.Timestamp, Dec7 + 18 * 3600 + 5 * 60 + 9); // the start time of the doubles
    EXPECT_EQ(s.Badges, 3);
    EXPECT_EQ(s.Name, "Ann");
    EXPECT_EQ(s.Best[1], 4);
    EXPECT_EQ(s.Best[30], 1);
    EXPECT_EQ(s.GameMode, 2);
    EXPECT_EQ(s.Level, 1);
    EXPECT_EQ(s.GameFlags, 5);
    EXPECT_EQ(s.Quit, 1);

    // Already on disk, before any closing screen.
    const std::string file = readFile("scores.dat");
    EXPECT_EQ(file.substr(0, file.find("\r\n")),
              "1234|Ann|3|" + std::to_string(s.Timestamp) + "|1|2|5|1");
    game.RoundScore = 7;
    SleepMillis(2000);
    AddRoundScore(0);
    scores = ScoreState{};
    LoadScores();
    ASSERT_EQ(scores.ScoreTable.size(), 4u);
    EXPECT_EQ(scores.ScoreTable.front().Score, 7);
    EXPECT_EQ(scores.ScoreTable.front().Quit, 0);
    EXPECT_EQ(scores.ScoreTable.front().Timestamp, Dec7 + 18 * 3600 + 5 * 60 + 11);
}

TEST(ScoreFlags, FlagBitCountsFromOne) {
    EXPECT_EQ(FlagBit(1, 1), 1);
    EXPECT_EQ(FlagBit(1, 2), 0);
    EXPECT_EQ(FlagBit(0x8000, 16), 1);
    EXPECT_EQ(FlagBit(0x8000, 15), 0);
    EXPECT_EQ(FlagBit(static_cast<int>(0x80000000u), 32), 1);
    EXPECT_EQ(FlagBit(-1, 0), 0);
    EXPECT_EQ(FlagBit(-1, 33), 0);
}
