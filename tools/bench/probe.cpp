// probe.cpp - the measurements that run inside a child copy of zp-bench on a
// private X display: sprite throughput through the toolkit, the engine test
// of a full start-up, and the frame times of the title screen. Each prints one
// line of "key value" pairs that the parent reads back.
#include "app/app.h"
#include "bench.h"
#include "game/game.h"

#include "draw/draw.h"
#include "platform/platform.h"
#include "platform/video_internal.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds between two moments.
double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Starts the real platform: SDL on the X display in DISPLAY, no sound card.
bool startPlatform() {
    PlatformConfig config;
    config.silentAudio = true;
    config.seed = 1;
    if (PlatformInit(config)) return true;
    std::printf("error %s\n", PlatformError().c_str());
    return false;
}

// A sprite moving across the window, bouncing off its edges.
struct Mover {
    int x, y, dx, dy;
};

// Draws count moving sprites per frame through DrawSprite for about ms
// milliseconds after a short warm-up, and prints the frames per second.
int probeSprites(int engine, int count, int ms, const std::string& png) {
    if (!startPlatform()) return 1;
    SetGraphicsEngine(engine);
    KeepSoftwareGl(true); // "opengl" races SDL's OpenGL renderer, whatever its driver
    const int width = 800, height = 600;
    if (!OpenDisplay(width, height, 0, 0)) {
        std::printf("error %s\n", PlatformError().c_str());
        return 1;
    }
    SetCentreAnchoring(true);
    int image = LoadImage(png, ImageMasked);
    if (!image) {
        std::printf("error cannot load %s: %s\n", png.c_str(), PlatformError().c_str());
        return 1;
    }
    const int side = ImageFrameWidth(image);
    // Every sprite must be drawn, so the budget is lifted above the count.
    sprites.SpriteBudget[SpriteKindMain] = count + 1;
    shell.Settings[slot::SlowSystem] = 0;
    frame.FrameParity = 0;
    std::vector<Mover> movers(static_cast<size_t>(count));
    for (Mover& m : movers) {
        m.x = RandomInt(0, width - side);
        m.y = RandomInt(0, height - side);
        do {
            m.dx = RandomInt(-1, 1);
            m.dy = RandomInt(-1, 1);
        } while (m.dx == 0 && m.dy == 0);
    }
    auto drawFrame = [&]() {
        BeginFrame(1);
        ResetDrawState();
        for (Mover& m : movers) {
            m.x += m.dx;
            m.y += m.dy;
            if (m.x < 0 || m.x > width - side) m.dx = -m.dx, m.x += 2 * m.dx;
            if (m.y < 0 || m.y > height - side) m.dy = -m.dy, m.y += 2 * m.dy;
            DrawSprite(image, m.x, m.y, 0, SpriteKindMain);
        }
        Flip(0);
    };
    for (int f = 0; f < 10; f++) drawFrame();
    int frames = 0;
    auto start = Clock::now(), now = start;
    do {
        drawFrame();
        frames++;
        now = Clock::now();
    } while (seconds(start, now) * 1000 < ms);
    std::printf("fps %.2f drawn %d engine %s\n", frames / seconds(start, now),
                sprites.DrawnSprites[SpriteKindMain], OpenedEngineName().c_str());
    PlatformShutdown();
    return 0;
}

// Writes a setup file that asks for the engine in a window of this size.
bool writeSetup(const std::string& dir, int engine, int width, int height) {
    const char* names[3] = {"OpenGL", "DX9", "DX7"};
    return WriteTextLinesAtomic(dir + "Setup.ini", {"[Graphics]", "Fullscreen = False",
                                                    std::string("GFX Engine = ") + names[engine],
                                                    "Width=" + std::to_string(width),
                                                    "Height=" + std::to_string(height)});
}

// Writes a setup file for the engine into dir (none when engine is -1: a
// first start) and runs the game's start-up there; false (with a line on
// stdout) when that cannot be done.
bool startGame(int engine, const std::string& dir, int width = 800, int height = 600) {
    if (engine >= 0 && !writeSetup(dir, engine, width, height)) {
        std::printf("error cannot write the setup file in %s\n", dir.c_str());
        return false;
    }
    if (!startPlatform()) return false;
    shell.FilesDir = dir;
    StartUp();
    return true;
}

// A full start-up on the given engine and window size (engine -1: with no
// setup file); prints the engine test's verdict.
int probeEngine(int engine, const std::string& dir, int width, int height) {
    if (!startGame(engine, dir, width, height)) return 1;
    const int* budget = sprites.SpriteBudget;
    std::printf("best %d main %d glow %d particles %d target %d slow %d ms %d engine %s\n",
                engineTest.Best, budget[1], budget[2], budget[3], engineTest.TargetFps,
                shell.Settings[slot::SlowSystem], display.EngineTestMillis,
                OpenedEngineName().c_str());
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    PlatformShutdown();
    return 0;
}

// A full start-up on the given engine, then the title screen for ms
// milliseconds; prints the mean, 99th percentile and worst frame time. With
// empty, the frames draw nothing but still go through the frame driver: what
// the pacing alone gives on this machine.
int probePacing(int engine, const std::string& dir, int ms, bool empty) {
    if (!startGame(engine, dir)) return 1;
    TitleState title;
    std::vector<double> times;
    times.reserve(static_cast<size_t>(ms / 10 + 16));
    TitleFrame(title); // the first frame follows the engine test's last one
    // The processor time of the whole program (renderer threads included)
    // tells the frame's own work apart from waiting on a busy machine.
    timespec cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    auto start = Clock::now(), last = start;
    while (seconds(start, last) * 1000 < ms && title.quit == 0) {
        if (empty) {
            BeginFrame(1);
            EndFrame(0);
        } else {
            TitleFrame(title);
        }
        auto now = Clock::now();
        times.push_back(seconds(last, now) * 1000);
        last = now;
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    double cpuMs = double(cpuEnd.tv_sec - cpuStart.tv_sec) * 1000 +
                   double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    if (times.empty()) {
        std::printf("error no frames\n");
        return 1;
    }
    double sum = 0;
    for (double t : times) sum += t;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    size_t at99 = (sorted.size() * 99 + 99) / 100 - 1; // nearest rank
    std::printf("frames %zu mean %.3f p99 %.3f max %.3f min %.3f cpu %.3f rate %d engine %s\n",
                times.size(), sum / double(times.size()), sorted[at99], sorted.back(),
                sorted.front(), cpuMs / double(times.size()), frame.FrameRate,
                OpenedEngineName().c_str());
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    PlatformShutdown();
    return 0;
}

// Starts the platform and opens a window of this size on the engine, with the
// logical size the game would choose; says why on stdout when it cannot.
bool openProbeWindow(int engine, int width, int height) {
    if (!startPlatform()) return false;
    SetGraphicsEngine(engine);
    if (!OpenDisplay(width, height, 0, 0)) {
        std::printf("error %s\n", PlatformError().c_str());
        return false;
    }
    display.PhysicalWidth = width, display.PhysicalHeight = height;
    ChooseLogicalSize();
    SetLogicalSize(display.VirtualWidth, display.VirtualHeight);
    return true;
}

// Late-wave round frames drawn by the engine in a window of this size, the
// field refilled before each; prints the processor time of the whole program
// (the drawing threads included) per frame, and of the cheapest frame (the
// one least disturbed by whatever else the machine runs).
int probeRound(int engine, int width, int height) {
    if (!openProbeWindow(engine, width, height)) return 1;
    display.GameSheet = MakeBenchSheet();
    LoadBenchLadderFonts();
    const int warm = 10, frames = 120;
    timespec cpuStart{}, cpuEnd{};
    double best = 1e9;
    for (int f = 0; f < warm + frames; f++) {
        if (f == warm) clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
        timespec a{}, b{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
        FillLateWaveField();
        BeginFrame(1);
        RoundUpdate();
        RoundConclude(0, 0, 0);
        Flip(0);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
        best = std::min(best,
                        double(b.tv_sec - a.tv_sec) * 1000 + double(b.tv_nsec - a.tv_nsec) / 1e6);
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    double cpuMs = double(cpuEnd.tv_sec - cpuStart.tv_sec) * 1000 +
                   double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    std::printf("cpu %.3f best %.3f frames %d engine %s\n", cpuMs / frames, best, frames,
                OpenedEngineName().c_str());
    PlatformShutdown();
    return 0;
}

// Frames of the engine test's picture with count sprites, drawn by the engine
// in a window of this size and presented without pacing, with the pictures of
// the pack in dir; prints the processor time and the wall time per frame.
int probeTestFrames(int engine, const std::string& dir, int width, int height, int count,
                    int frames) {
    if (!openProbeWindow(engine, width, height)) return 1;
    SetCentreAnchoring(true);
    const std::string common = dir + "Common/";
    display.Logo = LoadImage(common + "logo.png", ImageMasked | ImageFiltered);
    display.Palvex = LoadImage(common + "Palvex.png", ImageMasked | ImageFiltered);
    display.IconSheetCrisp = LoadImageSheet(common + "icons.png", 16, 16, 64, ImageMasked);
    if (!display.Logo || !display.Palvex || !display.IconSheetCrisp) {
        std::printf("error cannot load the pictures in %s\n", common.c_str());
        return 1;
    }
    timespec cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    auto start = Clock::now();
    for (int f = 0; f < frames; f++) {
        DrawEngineTestFrame(count, 2);
        Flip(0);
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    double wall = seconds(start, Clock::now()) * 1000;
    double cpuMs = double(cpuEnd.tv_sec - cpuStart.tv_sec) * 1000 +
                   double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    std::printf("cpu %.3f wall %.3f frames %d engine %s\n", cpuMs / frames, wall / frames, frames,
                OpenedEngineName().c_str());
    PlatformShutdown();
    return 0;
}

// A whole number from the command line, or fallback when it is not one.
int number(const char* text, int fallback) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    return end && *end == '\0' && end != text ? static_cast<int>(v) : fallback;
}

} // namespace

// Runs the probe named on the command line:
//   --probe sprites ENGINE COUNT MS PNG [plain]
//   --probe engine ENGINE FILESDIR [WIDTH HEIGHT | default]
//   --probe pacing ENGINE FILESDIR MS [plain|empty]
//   --probe round ENGINE WIDTH HEIGHT
//   --probe testframes ENGINE FILESDIR WIDTH HEIGHT COUNT FRAMES
int RunBenchProbe(int argc, char** argv) {
    if (argc < 3 || std::string(argv[1]) != "--probe") return -1;
    std::string kind = argv[2];
    int engine = argc > 3 ? number(argv[3], -1) : -1;
    if (engine < 0 || engine > 2) {
        std::printf("error bad engine\n");
        return 2;
    }
    if (kind == "sprites" && (argc == 7 || (argc == 8 && std::string(argv[7]) == "plain"))) {
        int count = number(argv[4], -1), ms = number(argv[5], -1);
        if (count < 1 || ms < 1) return 2;
        // "plain" tries a proposed change without touching the platform: SDL
        // reads its hints from the environment, and this one makes the
        // software renderer present through the window's own surface instead
        // of an OpenGL texture.
        if (argc == 8) setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
        return probeSprites(engine, count, ms, argv[6]);
    }
    if (kind == "engine" && argc == 5) return probeEngine(engine, argv[4], 800, 600);
    if (kind == "engine" && argc == 6 && std::string(argv[5]) == "default")
        return probeEngine(-1, argv[4], 0, 0);
    if (kind == "engine" && argc == 7)
        return probeEngine(engine, argv[4], number(argv[5], 800), number(argv[6], 600));
    if (kind == "testframes" && argc == 9)
        return probeTestFrames(engine, argv[4], number(argv[5], 1920), number(argv[6], 1080),
                               number(argv[7], 1000), number(argv[8], 10));
    if (kind == "round" && argc == 6)
        return probeRound(engine, number(argv[4], 1920), number(argv[5], 1080));
    std::string variant = argc == 7 ? argv[6] : "";
    if (kind == "pacing" && (argc == 6 || variant == "plain" || variant == "empty")) {
        int ms = number(argv[5], -1);
        if (ms < 1) return 2;
        if (variant == "plain") setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
        return probePacing(engine, argv[4], ms, variant == "empty");
    }
    std::printf("error bad probe command line\n");
    return 2;
}
