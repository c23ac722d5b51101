// replay_command.cpp - the command line's replay options: playing a replay
// headless or in the window, exporting it as a video, and the per-frame
// checksum log of live and replayed rounds.
#include "game/replay_command.h"

#include "game/replay.h"
#include "platform/platform.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

ReplayCommand replayCommand;

namespace {

// Reads "WxH" with both sides from 16 to 7680.
bool readSize(const std::string& text, int& width, int& height) {
    char x = 0, tail = 0;
    int w = 0, h = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &tail) != 3 || x != 'x') return false;
    if (w < 16 || w > 7680 || h < 16 || h > 7680) return false;
    width = w;
    height = h;
    return true;
}

// A path from the command line made absolute against the starting folder.
std::string absolute(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

} // namespace

// Takes --replay, --video, --size and --checksums with their values.
bool TakeReplayArgument(const std::string& arg, int& i, int argc, char** argv,
                        std::string& complaint) {
    complaint.clear();
    if (arg != "--replay" && arg != "--video" && arg != "--size" && arg != "--checksums")
        return false;
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        complaint = arg + (arg == "--size" ? " needs WxH" : " needs a file");
        return true;
    }
    std::string value = argv[++i];
    if (arg == "--replay") {
        replayCommand.replayPath = absolute(value);
    } else if (arg == "--video") {
        std::string ext = value.size() > 5 ? value.substr(value.size() - 5) : "";
        if (ext != ".webm" && (ext.size() < 4 || ext.substr(1) != ".mp4"))
            complaint = "--video needs a file ending in .mp4 or .webm";
        replayCommand.videoPath = absolute(value);
    } else if (arg == "--size") {
        if (!readSize(value, replayCommand.width, replayCommand.height))
            complaint = "--size needs WxH, each from 16 to 7680";
    } else {
        replayCommand.checksumPath = absolute(value);
    }
    return true;
}

// Checks the replay before anything starts and fits the platform to the job.
int PrepareReplayCommand(PlatformConfig& config) {
    if (!replayCommand.checksumPath.empty() && !OpenChecksumLog(replayCommand.checksumPath)) {
        std::fprintf(stderr, "zorvek-plon: --checksums: cannot write %s\n",
                     replayCommand.checksumPath.c_str());
        return 2;
    }
    if (replayCommand.replayPath.empty()) return -1;
    static Replay replay;
    std::string error;
    if (!LoadReplay(replayCommand.replayPath, replay, error)) {
        std::fprintf(stderr, "zorvek-plon: %s\n", error.c_str());
        return 2;
    }
    replayCommand.replay = &replay;
    if (config.headless) {
        // As fast as it goes: nothing waits for the clock or plays sound.
        config.virtualClock = true;
        config.silentAudio = true;
    }
    return -1;
}

bool ReplayCommandGiven() {
    return replayCommand.replay != nullptr;
}

// Plays the replay given on the command line; the exit status.
int RunReplayCommand(const PlatformConfig& config) {
    const Replay& replay = *replayCommand.replay;
    if (config.headless) {
        CreateProgramTables();
        ReplayOutcome outcome = RunReplayHeadless(replay);
        std::printf("replay: score %d, frames %d\n", outcome.score, outcome.frames);
        std::fflush(stdout);
        CloseChecksumLog();
        if (!outcome.endedInTime) {
            std::fprintf(stderr,
                         "zorvek-plon: the replay's round ended at frame %d, but %zu frames "
                         "were recorded: it does not play out as it was played\n",
                         outcome.frames, replay.frames.size());
            return 4;
        }
        return 0;
    }
    return 0;
}
