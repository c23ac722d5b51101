// scores_fuzz.cpp - throws arbitrary bytes at the "scores.dat" reader and the
// score panel that shows what it read.
//
// Each input is written as scores.dat in a scratch game folder and loaded.
// The table read must save and load again to the same records in the same
// order, and one frame of the score panel must draw (and prune) it.
#include "fuzz_support.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>

namespace {

// Every stored field of two records is the same.
bool same(const Scores& a, const Scores& b) {
    return a.Score == b.Score && a.Timestamp == b.Timestamp && a.Badges == b.Badges &&
           a.Name == b.Name && std::memcmp(a.Best, b.Best, sizeof a.Best) == 0 &&
           a.Level == b.Level && a.GameMode == b.GameMode && a.GameFlags == b.GameFlags &&
           a.Quit == b.Quit;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzPlatform();
    if (!OpenDisplay(800, 600, 0, 60)) std::abort();
    SetLogicalSize(1280, 960);
    if (!ChangeDir(FuzzDir())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteFuzzFile("scores.dat", data, size);
    scores = ScoreState{};
    LoadScores();
    const std::list<Scores> first = scores.ScoreTable;
    for (const Scores& s : first) {
        FUZZ_CHECK(s.Badges >= 0 && s.Level >= 0 && s.GameMode >= 0 && s.GameFlags >= 0 &&
                   s.Quit >= 0);
        for (int i = 0; i <= 30; i++) FUZZ_CHECK(s.Best[i] >= 0);
        FUZZ_CHECK(s.Name.find('|') == std::string::npos);
    }

    SaveScores();
    scores = ScoreState{};
    LoadScores();
    FUZZ_CHECK(scores.ScoreTable.size() == first.size());
    auto it = scores.ScoreTable.begin();
    for (const Scores& s : first) FUZZ_CHECK(same(s, *it++));
    if (!first.empty()) FUZZ_CHECK(scores.PlayerName == first.front().Name);

    // One frame of the panel for the combination of the newest round.
    frame.FrameMouseX = 1100;
    frame.FrameMouseY = 500;
    const int mode = first.empty() ? 0 : first.front().GameMode;
    const int level = first.empty() ? 0 : first.front().Level;
    const int flags = first.empty() ? 0 : first.front().GameFlags;
    ScorePanel(320, mode, level, flags);
    FUZZ_CHECK(scores.ScoreTable.size() <= first.size());
    // The shown combination keeps at most its 50 newest and its 25 best rounds.
    size_t kept = 0;
    for (const Scores& s : scores.ScoreTable)
        kept += s.GameMode == mode && s.Level == level && s.GameFlags == flags;
    FUZZ_CHECK(kept <= 75);
    return 0;
}
