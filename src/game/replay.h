// replay.h - replays of rounds: what a round read frame by frame, kept in a
// small packed file beside the score table, and played back to the same
// round (headless, in the window, or into a video).
#pragma once

#include "game/game.h"

#include <cstdint>
#include <string>
#include <vector>

struct Scores;

inline constexpr int ReplayFormatVersion = 1;
// The longest round a replay holds: six hours at 60 frames a second. Longer
// ones are not recorded, and a file claiming more is refused unread.
inline constexpr size_t MaxReplayFrames = size_t(6) * 60 * 60 * 60;

// One frame of a round as the round read it.
struct ReplayFrame {
    RoundInput input;
    bool quit = false;       // the pause menu's "Quit" ended the round after this frame
    bool setsRandom = false; // something outside the round moved the generator before it
    uint64_t random = 0;
    bool setsSize = false; // the logical size changed before it (display re-applied)
    int width = 0, height = 0;
};

// Everything a round needs to happen again.
struct Replay {
    int formatVersion = ReplayFormatVersion;
    std::string gameVersion;
    int gameMode = 0;
    int width = 1280, height = 960; // logical size at the start
    uint64_t random = 0;            // the generator's state at the start
    std::vector<ReplayFrame> frames;
};

// The packed file and back (empty when packing fails); DecodeReplay explains
// a refusal in error, and refuses a round of more than maxFrames frames before
// reading them. LoadReplay reads regular files only.
inline constexpr const char* ReplayTooLong = "the round is longer than";
std::string EncodeReplay(const Replay& replay);
bool DecodeReplay(const std::string& bytes, Replay& replay, std::string& error,
                  uint64_t maxFrames = UINT64_MAX);
bool LoadReplay(const std::string& path, Replay& replay, std::string& error);

// Recording, called by the round: its start (the generator's state before the
// first draw), the input of each frame, the end of each frame's play, "Quit".
void RecordRoundStart(uint64_t startState);
void RecordRoundFrame(const RoundInput& input);
void RecordRoundStepped();
void RecordRoundQuit();
// Writes the round just recorded as the replay of its score record (sets the
// record's Replay name); false when nothing was recorded or it cannot be saved
// now (the player is told and the save is tried again, see StoreReplay).
bool SaveRoundReplay(Scores& record);
const Replay& RecordedReplay(); // the round being (or last) recorded

// The per-frame checksum log ("round" at each start, then "<frame> <sum>").
bool OpenChecksumLog(const std::string& path);
void CloseChecksumLog();
// Forgets any round being recorded or played back (fresh program state).
void ResetReplayState();

// Playback: BeginReplayRound sets the generator, mode and size and empties the
// field; StepReplayRound plays frame i (no EndFrame) and returns game.Over.
// EndReplayRound lets the round record again.
void BeginReplayRound(const Replay& replay);
int StepReplayRound(const Replay& replay, size_t i);
void EndReplayRound();
// Makes a logical size the round's (and the drawing's) size.
void SetRoundSize(int width, int height);

// The whole replay without a window: the score and frames it gives.
struct ReplayOutcome {
    int score = 0;
    int frames = 0;           // frames played
    bool ended = false;       // the round ended (at the last frame played)
    bool endedInTime = false; // the round ended exactly at the last frame
};
ReplayOutcome RunReplayHeadless(const Replay& replay);
// Why a replay that did not end in time does not play out as it was played.
std::string ReplayDivergence(const ReplayOutcome& outcome, size_t recordedFrames);
