// replay_bench.cpp - replays: how many bytes a minute of play takes, and how
// fast a replay is exported as video at 800x600 (frames made per second of
// real time; 60 keeps up with play), through the real program.
#include "bench.h"

#include "game/game.h"
#include "game/replay.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/shell.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// A round played by a simple player on the recording back-end: it clicks the
// newest gun post now and then and fires at the first enemy all the time.
Replay botRound(int maxFrames) {
    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = true;
    config.seed = 11;
    PlatformInit(config);
    OpenDisplay(800, 600, 0, 60);
    SetLogicalSize(1280, 960);
    display.VirtualWidth = 1280;
    display.VirtualHeight = 960;
    Replay replay;
    replay.gameVersion = GameVersion;
    replay.random = RandomStateNow();
    BeginRound();
    for (int i = 0; i < maxFrames && game.Over == 0; i++) {
        RoundInput in;
        in.left = i % 30 < 3;
        in.right = true;
        in.mouseX = 640 + int(300 * std::cos(i * 0.05));
        in.mouseY = 480 + int(200 * std::sin(i * 0.07));
        if (in.left && !game.GunPosts.empty()) {
            in.mouseX = int(game.GunPosts.front().x);
            in.mouseY = int(game.GunPosts.front().y);
        } else if (!in.left && !game.Enemies.empty()) {
            in.mouseX = int(game.Enemies.front().x);
            in.mouseY = int(game.Enemies.front().y);
        }
        game.Input = in;
        RoundStep();
        ReplayFrame f;
        f.input = in;
        replay.frames.push_back(f);
    }
    if (game.Over == 0) replay.frames.back().quit = true;
    PlatformShutdown();
    return replay;
}

// Exports the replay with the real program; frames made per real second, or -1.
double exportSpeed(const std::string& files, const std::string& replayPath, const std::string& out,
                   int frames) {
    std::filesystem::path program =
        std::filesystem::path(BenchProgramPath()).parent_path() / "zorvek-plon";
    std::string command = "'" + program.string() + "' --replay '" + replayPath + "' --video '" +
                          out + "' --size 800x600 --files '" + files + "' >/dev/null 2>&1";
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0 || seconds <= 0) return -1;
    return frames / seconds;
}

} // namespace

void BenchReplay(BenchTable& table) {
    Replay replay = botRound(36000);
    const std::string bytes = EncodeReplay(replay);
    const double minutes = replay.frames.size() / 3600.0;
    AddBenchRow(table,
                "replay size per minute of play (" + std::to_string(replay.frames.size()) +
                    " frames)",
                bytes.size() / 1024.0 / minutes, "KiB", 100);

    std::string files = CopyAssetPack("replay");
    if (files.empty()) {
        AddBenchNote(table, "video export", "not measured: no asset pack beside zp-bench");
        return;
    }
    // About 20 seconds of play is enough to see the rate.
    if (replay.frames.size() > 1200) {
        replay.frames.resize(1200);
        for (ReplayFrame& f : replay.frames) f.quit = false;
        replay.frames.back().quit = true;
    }
    const std::string path = files + "/bench.zpr";
    WriteFileAtomic(path, EncodeReplay(replay));
    const int frames = int(replay.frames.size()) + 90;
    for (const char* ext : {"mp4", "webm"}) {
        double rate = exportSpeed(files, path, files + "/bench." + ext, frames);
        std::string name =
            std::string("video export 800x600 ") + ext + " (" + std::to_string(frames) + " frames)";
        if (rate < 0)
            AddBenchNote(table, name, "failed");
        else
            AddBenchRange(table, name, rate, "frames/s", 60, 1e308);
    }
    std::error_code ec;
    std::filesystem::remove_all(files, ec);
}
