// score_file.cpp - the table of every round ever played and its file "scores.dat".
//
// Each round is two lines: the round's own fields, then its thirty per-round
// values, newest round first. The reader is forgiving (blank lines, missing or
// junk fields) because the file is plain text a player may have edited.
#include "game/game.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "text/text.h"

#include <climits>
#include <vector>

ScoreState scores;

namespace {

const char* const ScoreFileName = "scores.dat";

// A number read as an int and made non-negative (the most negative int, which
// has no positive twin, becomes the largest one).
int absInt(const std::string& text) {
    const int32_t v = ReadInt(text);
    if (v == INT32_MIN) return INT32_MAX;
    return v < 0 ? -v : v;
}

// The round's own fields from the first line of a record.
Scores parseRecord(const std::string& line) {
    Scores s;
    s.Score = ReadInt64(FieldOf(line, "|", 1));
    s.Name = Trim(FieldOf(line, "|", 2));
    s.Badges = absInt(FieldOf(line, "|", 3));
    s.Timestamp = ReadInt64(FieldOf(line, "|", 4));
    s.Level = absInt(FieldOf(line, "|", 5));
    s.GameMode = absInt(FieldOf(line, "|", 6));
    s.GameFlags = absInt(FieldOf(line, "|", 7));
    s.Quit = absInt(FieldOf(line, "|", 8));
    return s;
}

// The first line of a record as it is written to the file.
std::string recordLine(const Scores& s) {
    return std::to_string(s.Score) + "|" + s.Name + "|" + std::to_string(s.Badges) + "|" +
           std::to_string(s.Timestamp) + "|" + std::to_string(s.Level) + "|" +
           std::to_string(s.GameMode) + "|" + std::to_string(s.GameFlags) + "|" +
           std::to_string(s.Quit);
}

// The second line of a record: the thirty per-round values.
std::string bestLine(const Scores& s) {
    std::string line;
    for (int i = 1; i <= 30; ++i) {
        if (i > 1) line += "|";
        line += std::to_string(s.Best[i]);
    }
    return line;
}

// Renames a "scores.dat" that was only read in part to the first free
// "scores.dat.full", "scores.dat.full2", ..., so saving never destroys rounds
// that were not read. False (nothing saved) when no name is free or it fails.
bool keepCutFileAside() {
    if (!FileExists(ScoreFileName)) {
        scores.FileCut = false;
        return true;
    }
    for (int n = 1; n <= 99; ++n) {
        std::string aside = std::string(ScoreFileName) + ".full" + (n > 1 ? std::to_string(n) : "");
        if (FileExists(aside)) continue;
        if (!RenameFile(ScoreFileName, aside)) break;
        LogLine("\tscores.dat was too large to read whole: kept it as " + aside);
        scores.FileCut = false;
        return true;
    }
    LogLine("\tscores.dat was too large to read whole and cannot be kept aside: not saved over it");
    return false;
}

} // namespace

// Reads "scores.dat" into the table, newest first; the player's name comes from
// the file's first record. A missing file leaves everything as it is. True
// when every round of the file was read (or there is no file).
bool LoadScores() {
    if (!FileExists(ScoreFileName)) return true;
    std::vector<std::string> lines;
    bool cut = false;
    if (!ReadTextLines(ScoreFileName, lines, &cut)) {
        // Keep whatever the table holds: losing the rounds in memory would be worse.
        LogLine("\tCould not read scores.dat: " + PlatformError());
        return false;
    }
    if (cut) {
        LogLine("\tscores.dat is larger than " + std::to_string(TextReadCap) +
                " bytes: only the rounds before that were read");
        scores.FileCut = true;
    }
    scores.ScoreTable.clear();
    int count = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find('|') == std::string::npos) continue;
        Scores s = parseRecord(lines[i]);
        if (++count == 1) scores.PlayerName = s.Name;
        if (++i < lines.size())
            for (int b = 1; b <= 30; ++b) s.Best[b] = absInt(FieldOf(lines[i], "|", b));
        scores.ScoreTable.push_back(std::move(s));
    }
    SortScores();
    return !cut;
}

// Writes the whole table to "scores.dat", newest first. The file is replaced in
// one step, so a failure part-way leaves the old file; the table stays in memory.
void SaveScores() {
    SortScores();
    std::vector<std::string> lines;
    lines.reserve(scores.ScoreTable.size() * 2);
    // The file stays within what LoadScores reads, so a table the game wrote
    // is always read whole: the oldest rounds that do not fit are left out
    // (a cut file they came from is kept aside whole).
    size_t bytes = 0, left = 0;
    for (const Scores& s : scores.ScoreTable) {
        std::string first = recordLine(s), second = bestLine(s);
        bytes += first.size() + second.size() + 4;
        if (bytes > TextReadCap) {
            ++left;
            continue;
        }
        lines.push_back(std::move(first));
        lines.push_back(std::move(second));
    }
    if (left > 0)
        LogLine("\tscores.dat would pass " + std::to_string(TextReadCap) + " bytes: the " +
                std::to_string(left) + " oldest rounds are not saved");
    if (scores.FileCut && !keepCutFileAside()) {
        PostNotice("Could not save scores", 1);
        return;
    }
    if (!WriteTextLinesAtomic(ScoreFileName, lines)) {
        // The table stays in memory, so the next save tries again.
        LogLine("\tCould not save scores.dat: " + PlatformError());
        PostNotice("Could not save scores", 1);
    }
    RetryReplays();
}

// Stores the round just finished under the player's name. quit is 1 when the
// player left through the pause menu, 0 when the figure died. The table is
// saved at once so the round survives a crash before the closing screen.
Scores& AddRoundScore(int quit) {
    Scores s;
    s.Score = game.RoundScore;
    s.Timestamp = MakeTimestamp("");
    s.Badges = game.RoundBadges;
    s.Name = scores.PlayerName;
    for (int i = 1; i <= 30; ++i) s.Best[i] = shell.RoundBest[i];
    s.Level = shell.Level;
    s.GameMode = shell.GameMode;
    s.GameFlags = shell.GameFlags;
    s.Quit = quit != 0 ? 1 : 0;
    // In front, so that a round ending in the same second as the last one still
    // comes first after the (stable) sort.
    scores.ScoreTable.push_front(std::move(s));
    Scores& added = scores.ScoreTable.front();
    SortScores(); // moves no element: the reference stays good
    SaveScores();
    return added;
}

// Newest round first by the full 64-bit timestamp; rounds of the same second
// keep their order.
void SortScores() {
    scores.ScoreTable.sort(
        [](const Scores& a, const Scores& b) { return a.Timestamp > b.Timestamp; });
}

// 1 when badge n (bit n - 1 of flags, n from 1 to 32) is set, else 0.
int FlagBit(int flags, int n) {
    if (n < 1 || n > 32) return 0;
    return static_cast<int>((static_cast<uint32_t>(flags) >> (n - 1)) & 1u);
}
