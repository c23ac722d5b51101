// verify.h - playing a submitted replay again in a child process with limits
// on frames, memory and processor time, so that no replay can crash or stall
// the server that asked.
#pragma once

#include "server/store.h"

#include <string>

struct VerifyLimits {
    int64_t maxFrames = 60 * 60 * 60; // an hour of play
    int64_t memoryBytes = int64_t(1) << 30;
    int cpuSeconds = 60;
    int wallSeconds = 90;
};
extern VerifyLimits verifyLimits;

// The server's own program, which it starts again to play a replay.
void SetVerifierProgram(const std::string& path);
// Plays the replay in a child and returns the score it gives, or the refusal.
Verdict VerifyReplay(const std::string& bytes);
// The child's side: reads a replay from standard input, plays it headless and
// prints "ok SCORE MODE FRAMES" or "refuse STATUS MESSAGE"; the exit status.
int VerifyChildMain(int64_t maxFrames);
// The child's work on a started platform: reads and plays the replay.
Verdict PlayReplayBytes(const std::string& bytes, int64_t maxFrames);
