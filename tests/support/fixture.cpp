// fixture.cpp - fresh state and platform doubles for the tests.
#include "support/fixture.h"

#include "draw/draw.h"
#include "game/game.h"
#include "game/replay.h"
#include "music/music.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

void ResetAllState() {
    sprites = SpriteTally{};
    shell = ShellState{};
    display = DisplayState{};
    frame = FrameState{};
    panel = PanelState{};
    engineTest = EngineTestState{};
    game = GameState{};
    scores = ScoreState{};
    music = MusicState{};
    ResetReplayState();
}

void StartDoubles(PlatformConfig config) {
    PlatformShutdown();
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = true;
    config.endThrows = true;
    if (config.startTime.empty()) config.startTime = "2026-12-07 18:05:09";
    if (config.seed < 0) config.seed = 1;
    if (!PlatformInit(config)) throw std::runtime_error("PlatformInit: " + PlatformError());
    ResetAllState();
}

std::string MakeTempDir(const std::string& tag) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / ("zp-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern + "/";
}

std::string BuiltFilesDir() {
    return std::string(ZP_BINARY_DIR) + "/Files/";
}
