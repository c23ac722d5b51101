// scores.h - score records and "scores.dat", timestamps, the score panel, name
// entry and the floating score numbers.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

// One finished round.
struct Scores {
    int64_t Score = 0;
    int64_t Timestamp = 0; // seconds on a calendar of 12 months of 31 days
    int32_t Badges = 0;    // bit n - 1 set: badge n earned
    std::string Name;
    int Best[31] = {}; // per-round values in 1..30; Best[30] = 1 marks a complete round
    int Level = 0;
    int GameMode = 0;
    int GameFlags = 0;
    int Quit = 0; // 1 when the player abandoned the round
    // The file name of the round's replay in ReplayFolder; "" when it has none.
    // Not stored in "scores.dat": AttachReplays finds it again from the fields.
    std::string Replay;
};

// A round's replay not yet on disk: the file's bytes and the base name of
// the record it belongs to (ReplayBaseName).
struct PendingReplay {
    std::string base;
    std::string bytes;
};

// One floating number rising and fading where points were scored.
struct ScorePopup {
    int n = 0;
    float x = 0, y = 0;
    int t = 0; // frames left
    int r = 0, g = 0, b = 0;
};

struct ScoreState {
    std::list<Scores> ScoreTable; // newest first
    std::string PlayerName = "Player";
    const Scores* TopTable[51] = {}; // rows 1..25 used
    const Scores* SelectedRecord = nullptr;
    int SelectedIndex = 0; // n: n-th round of the graph; 1000 + r: table row r; 0 none
    int PanelSlide = 0;    // 0..1000, graph scrolled toward older rounds
    std::list<ScorePopup> Popups;
    // "scores.dat" was too large to read whole: the next save keeps it aside
    // instead of replacing it with the rounds that were read.
    bool FileCut = false;
    std::string WatchRequest; // replay name whose "Watch replay" was clicked, "" none
    bool WatchHeld = false;   // the button that asked has not been let go since
    // Replays whose save failed, tried again at every save of the table.
    std::vector<PendingReplay> PendingReplays;
};
extern ScoreState scores;

// Reads "scores.dat" (in the current folder) into ScoreTable and takes
// PlayerName from its first record. A file that cannot be read is logged and
// the table in memory kept. True when the file was read whole (or is absent).
bool LoadScores();
// Writes ScoreTable to "scores.dat" through a temporary file, never more than
// TextReadCap bytes (the oldest rounds give way); a failure is logged, told
// on screen and the table in memory kept. Then retries pending replays.
void SaveScores();
// Adds the round just played (game.RoundScore, game.RoundBadges,
// shell.RoundBest, shell.GameMode/Level/GameFlags, PlayerName) and saves the
// table. quit: 1 when the round ended through the pause menu's "Quit" (the
// frame driver's 99), 0 when the figure died. Returns the record added.
Scores& AddRoundScore(int quit);
void SortScores(); // newest first, stable
int FlagBit(int flags, int n);

// Replays of rounds lie in this folder of the game folder, one file per score
// record, named "<Timestamp>-<8 hex digits of the record's fields>.zpr", with
// "-2", "-3", ... before ".zpr" for further records equal in every field.
inline constexpr const char* ReplayFolder = "replays";
std::string ReplayBaseName(const Scores& record); // the name without suffix and ".zpr"
// A name for the record's replay that no file and no record in the table uses.
std::string NewReplayName(const Scores& record);
// Pairs the files in ReplayFolder with the records of ScoreTable and removes
// temporaries of killed saves. Only when tableWhole (the table was read whole
// and no cut copy lies aside) is every replay whose record is gone removed.
// A ReplayFolder that is a link, or no folder, is neither read nor changed.
// Run once after the table is loaded.
void AttachReplays(bool tableWhole);
// Saves a round's replay (the file's bytes) for its record. A failure is
// logged and told on screen, and the replay kept to be tried again by
// RetryReplays. True when the file was written.
bool StoreReplay(Scores& record, const std::string& bytes);
// Tries again to save every pending replay whose record is still in the table.
void RetryReplays();
// Removes the record's replay file (the record leaves the table).
void DropReplayOf(const Scores& record);

int64_t MakeTimestamp(const std::string& dateText); // "" = today
std::string TimestampDate(int64_t timestamp);       // "YYYY-MM-DD"
std::string TimestampTime(int64_t timestamp);       // "hh:mm:ss"

// The title screen's score panel; a is its visible width (0..320). Prunes
// ScoreTable. Returns 1 when a round of the chosen combination is complete.
int ScorePanel(int a, int mode, int level, int flags);

void NameEntry();
void AddScorePopup(int points, float x, float y, int r, int g, int b);
void DrawScorePopups(); // once per frame, from EndFrame
