// replay_command.cpp - the command line's replay options: playing a replay
// headless or in the window, exporting it as a video, and the per-frame
// checksum log of live and replayed rounds.
#include "app/replay_command.h"

#include "app/app.h"
#include "app/cmdline.h"
#include "draw/draw.h"
#include "game/replay.h"
#include "game/replay_view.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>

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
        replayCommand.replayPath = AbsolutePath(value);
    } else if (arg == "--video") {
        if (VideoFileKind(value) == 0) complaint = "--video needs a file ending in .mp4 or .webm";
        replayCommand.videoPath = AbsolutePath(value);
    } else if (arg == "--size") {
        if (!readSize(value, replayCommand.width, replayCommand.height))
            complaint = "--size needs WxH, each from 16 to 7680";
    } else {
        replayCommand.checksumPath = AbsolutePath(value);
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
    if (replayCommand.replayPath.empty()) {
        if (!replayCommand.videoPath.empty() && config.scriptPath.empty()) {
            std::fprintf(stderr, "zorvek-plon: --video needs --replay FILE or --script FILE\n");
            return 2;
        }
        return -1;
    }
    static Replay replay;
    std::string error;
    if (!LoadReplay(replayCommand.replayPath, replay, error)) {
        std::fprintf(stderr, "zorvek-plon: %s\n", error.c_str());
        return 2;
    }
    replayCommand.replay = &replay;
    if (!replayCommand.videoPath.empty()) {
        // Rendered off screen on the virtual clock, every frame.
        config.headless = true;
        config.virtualClock = true;
    } else if (config.headless) {
        // As fast as it goes: nothing waits for the clock or plays sound.
        config.virtualClock = true;
        config.silentAudio = true;
    }
    return -1;
}

bool ReplayCommandGiven() {
    return replayCommand.replay != nullptr || !replayCommand.videoPath.empty();
}

namespace {

// The display and the assets a replay is drawn with: the setup file's size
// (or --size) in a window, no splash, no engine test, the score table
// untouched. -1 when ready, else the exit status (said on stderr).
int openReplayDisplay() {
    CreateProgramTables();
    if (!ChangeDir(shell.FilesDir)) {
        std::fprintf(stderr, "zorvek-plon: cannot enter the files folder %s\n",
                     shell.FilesDir.c_str());
        return ExitFilesFolderUnusable;
    }
    ReadSetupFile();
    if (!ChangeDir(GameFolder())) {
        std::fprintf(stderr, "zorvek-plon: no game folder %s%s\n", shell.FilesDir.c_str(),
                     GameFolder().c_str());
        return ExitFilesFolderUnusable;
    }
    int w = replayCommand.width > 0 ? replayCommand.width : shell.Settings[slot::Width];
    int h = replayCommand.height > 0 ? replayCommand.height : shell.Settings[slot::Height];
    if (!replayCommand.videoPath.empty() &&
        !StartVideoExport(replayCommand.videoPath, 60, ReplayVideoFrames(*replayCommand.replay))) {
        std::fprintf(stderr, "zorvek-plon: %s\n", PlatformError().c_str());
        return ExitVideoFailed;
    }
    display.AssetsLoadedOnce = true; // no splash and its jingle
    display.ScoresLoadedOnce = true; // playing a replay leaves the table and replays alone
    frame.ShowStats = 0;             // as the engine test leaves it; F12 shows it
    SetGraphicsEngine(shell.Settings[slot::GfxEngine]);
    display.PhysicalWidth = w;
    display.PhysicalHeight = h;
    if (!OpenDisplay(w, h, 0, 60)) {
        std::fprintf(stderr, "zorvek-plon: cannot open a %dx%d display: %s\n", w, h,
                     PlatformError().c_str());
        return 1;
    }
    ChooseLogicalSize();
    SetLogicalSize(display.VirtualWidth, display.VirtualHeight);
    LoadCommonAssets();
    LoadGameSheet();
    sprites.SpriteBudget[SpriteKindMain] = 50000;
    sprites.SpriteBudget[SpriteKindGlow] = 50000;
    return -1;
}

// The status of a replay that played out: 0, or said on stderr and 5.
int outcomeStatus(const ReplayOutcome& outcome, size_t recordedFrames) {
    if (outcome.endedInTime) return 0;
    std::fprintf(stderr, "zorvek-plon: %s\n", ReplayDivergence(outcome, recordedFrames).c_str());
    return ExitReplayDiverged;
}

} // namespace

// Plays the replay given on the command line (headless, in the window or into
// a video), or runs the scripted session into a video; the exit status.
int RunReplayCommand(const PlatformConfig& config) {
    if (!replayCommand.replay) {
        // A scripted session into a video: the program runs as ever, and the
        // export is finished when it ends.
        if (!StartVideoExport(replayCommand.videoPath, 60, 0, replayCommand.width,
                              replayCommand.height)) {
            std::fprintf(stderr, "zorvek-plon: %s\n", PlatformError().c_str());
            return ExitVideoFailed;
        }
        RunProgram();
    }
    const Replay& replay = *replayCommand.replay;
    if (config.headless && replayCommand.videoPath.empty()) {
        CreateProgramTables();
        ReplayOutcome outcome = RunReplayHeadless(replay);
        std::printf("replay: score %d, frames %d\n", outcome.score, outcome.frames);
        std::fflush(stdout);
        CloseChecksumLog();
        return outcomeStatus(outcome, replay.frames.size());
    }
    const int status = openReplayDisplay();
    if (status >= 0) return status;
    if (!replayCommand.videoPath.empty()) {
        ReplayOutcome outcome;
        if (!ExportReplayFrames(replay, outcome)) {
            std::fprintf(stderr, "zorvek-plon: %s\n", PlatformError().c_str());
            return ExitVideoFailed;
        }
        return outcomeStatus(outcome, replay.frames.size());
    }
    SetWindowTitle(TitleText() + " - replay");
    WatchReplay(replay);
    return 0;
}
