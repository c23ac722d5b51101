// replay_command.h - the command line's replay options (--replay, --video,
// --size, --checksums) and running them instead of the title screen.
#pragma once

#include "platform/platform.h"

#include <string>

struct Replay;

struct ReplayCommand {
    std::string replayPath;         // --replay
    std::string videoPath;          // --video: .mp4 or .webm
    std::string checksumPath;       // --checksums: per-frame checksums of every round
    int width = 0, height = 0;      // --size; 0 = the setup file's display size
    const Replay* replay = nullptr; // the replay read by PrepareReplayCommand
};
extern ReplayCommand replayCommand;

// Takes one of the options above (and its value) at argv[i]; false when arg is
// none of them. complaint is set when the value is bad.
bool TakeReplayArgument(const std::string& arg, int& i, int argc, char** argv,
                        std::string& complaint);
// Reads the replay (a bad one: message, status 2) and fits the platform
// configuration to the job; -1 to go on, else the exit status.
int PrepareReplayCommand(PlatformConfig& config);
bool ReplayCommandGiven(); // a replay is to be played instead of the game
// Plays it headless, in the window or into a video; returns the exit status.
int RunReplayCommand(const PlatformConfig& config);
