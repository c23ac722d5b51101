// round_bench.cpp - the CPU cost of one frame of a busy late-wave round (400
// enemies, 150 bullets and 300 splats): the round's own work on the recording
// back-end, and the whole frame drawn by the software engine at 1920 x 1080 in
// a real window (a child on a private Xvfb).
#include "bench.h"

#include "game/game.h"
#include "platform/platform.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>

// A white 64-cell sheet like "gfx.png", so every sprite really draws.
int MakeBenchSheet() {
    Pixmap pixmap;
    pixmap.width = 128;
    pixmap.height = 128;
    pixmap.pixels.assign(128 * 128, 0xFFFFFFFFu);
    std::string path = (std::filesystem::temp_directory_path() / "zp-bench-gfx.png").string();
    if (!SavePixmapPng(pixmap, path, 1)) return 0;
    SetCentreAnchoring(true);
    int sheet = LoadImageSheet(path, 16, 16, 64, ImageMasked | ImageFiltered);
    std::filesystem::remove(path);
    return sheet;
}

// Loads the second typeface into the font ladder when the asset pack lies
// beside the program, so the health numbers are measured as real text.
void LoadBenchLadderFonts() {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path common = fs::read_symlink("/proc/self/exe", error).parent_path() / "Files" / "Common";
    fs::path face = common / "Blue Highway.ttf";
    if (!fs::exists(face, error)) return;
    const int sizes[9] = {8, 12, 18, 24, 32, 40, 52, 64, 96};
    for (int step = 0; step < 9; step++)
        display.FontLadder[10 + step] = LoadFont(face.string(), sizes[step]);
}

// A late-wave field: enemies closing in from all sides, a post under the
// figure, bullets fanning out through the crowd and splats everywhere.
void FillLateWaveField() {
    BeginRound();
    game.Enemies.clear();
    for (int i = 0; i < 400; i++) {
        Enemy e;
        double a = i * 0.9;
        e.x = static_cast<float>(640 + std::cos(a) * (150 + i % 300));
        e.y = static_cast<float>(480 + std::sin(a) * (120 + i % 250));
        e.aimx = 640;
        e.aimy = 480;
        e.spd = 1.0f;
        e.health = 99;
        game.Enemies.push_back(e);
    }
    for (int i = 0; i < 150; i++) {
        Bullet b;
        double a = i * 2.4;
        b.x = static_cast<float>(640 + std::cos(a) * i * 3);
        b.y = static_cast<float>(480 + std::sin(a) * i * 3);
        b.gx = static_cast<float>(std::cos(a) * 6);
        b.gy = static_cast<float>(std::sin(a) * 6);
        game.Bullets.push_back(b);
    }
    for (int i = 0; i < 300; i++) {
        Splat s;
        s.x = static_cast<float>(i * 4 % 1280);
        s.y = static_cast<float>(i * 7 % 960);
        s.alp = i % 3 == 0 ? 1.5f : 0.9f;
        s.g = 100 + i % 156;
        game.Splats.push_back(s);
    }
    GunPost post;
    post.x = 640;
    post.y = 480;
    post.tick = 400;
    game.GunPosts.push_back(post);
    game.Players.front().health = 1000000; // the crowd must not end the round
}

// Times the round's own work of a frame (everything but the frame driver),
// refilling the field before each frame so every frame is equally busy.
void BenchRoundFrame(BenchTable& table) {
    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = true;
    config.endThrows = true;
    config.seed = 7;
    PlatformShutdown();
    if (!PlatformInit(config)) {
        AddBenchNote(table, "round frame", "not measured: " + PlatformError());
        return;
    }
    display.GameSheet = MakeBenchSheet();
    LoadBenchLadderFonts();
    const int frames = 300;
    double total = 0;
    for (int f = 0; f < frames; f++) {
        FillLateWaveField();
        ClearRecordedDraws();
        auto start = std::chrono::steady_clock::now();
        RoundUpdate();
        RoundConclude(0, 0, 0);
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    std::string label = "round frame (400 enemies, 150 bullets, 300 splats";
    label += display.FontLadder[11] ? ")" : ", no fonts)";
    AddBenchRow(table, label, total / frames, "ms", 0.3);
    PlatformShutdown();

    // The whole frame on the software engine at 1920 x 1080, presenting included.
    XServer x = StartXServer(1920, 1080);
    if (x.display.empty())
        return AddBenchNote(table, "round frame, software", "Xvfb did not start");
    ChildRun run =
        RunChild({BenchProgramPath(), "--probe", "round", "2", "1920", "1080"}, x.display, 0);
    StopXServer(x);
    double cpu = ProbeField(run.output, "cpu");
    std::string name =
        "round frame, software 1920x1080, processor time (goal 2 ms) [load " + LoadAverage() + "]";
    if (!run.ok || run.status != 0 || cpu < 0)
        return AddBenchNote(table, name, "not measured: " + run.output.substr(0, 200));
    AddBenchRow(table, name, cpu, "ms", 4);
}
