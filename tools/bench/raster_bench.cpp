// raster_bench.cpp - fill rate of turned, tinted sprites of 20 and 40 pixels
// and of plain unturned 32-pixel copies on the "software" engine: our rasteriser against SDL's own
// software renderer (SDL_RenderGeometry) drawing the same frames through the same drawing calls, in
// one headless run, one after the other in turns.
#include "bench.h"

#include "platform/platform.h"
#include "platform/video_internal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Width = 800, Height = 600;
constexpr int Rounds = 3; // turns each renderer takes

// Milliseconds one frame of count sprites of the given side takes, the best
// of a few frames, less an empty frame's time (clearing and presenting).
// Turned sprites are tinted and see-through; the others are plain copies.
double frameMs(int image, int count, int side, bool turned) {
    auto once = [&](int sprites) {
        auto start = Clock::now();
        ClearScreen();
        SetColor(255, turned ? 200 : 255, turned ? 120 : 255);
        SetAlpha(turned ? 0.7f : 1.0f);
        SetBlend(BlendAlpha);
        float zoom = float(side) / float(ImageFrameWidth(image));
        SetDrawScale(zoom, zoom);
        for (int i = 0; i < sprites; i++) {
            SetDrawRotation(turned ? float(i * 37 % 360) + 0.5f : 0.0f);
            DrawImageFrame(image, float((i * 97) % Width), float((i * 61) % Height), 0);
        }
        Flip(0);
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    double best = 1e300, empty = 1e300;
    for (int f = 0; f < 5; f++) best = std::min(best, once(count));
    for (int f = 0; f < 5; f++) empty = std::min(empty, once(0));
    return std::max(best - empty, 1e-3);
}

// Starts a headless platform with the software engine on the renderer asked.
bool openSoftware(bool sdl) {
    PlatformConfig config;
    config.headless = true;
    config.silentAudio = true;
    config.seed = 1;
    if (!PlatformInit(config)) return false;
    UseSdlSoftwareRenderer(sdl);
    SetGraphicsEngine(2);
    return OpenDisplay(Width, Height, 0, 0) && videoState.raster == !sdl;
}

} // namespace

// Mpixel/s of turned tinted sprites, ours and SDL's, and their ratio.
void BenchRaster(BenchTable& table) {
    std::string dir = (std::filesystem::temp_directory_path() / "zp-bench-raster-XXXXXX").string();
    if (!mkdtemp(dir.data())) return AddBenchNote(table, "raster fill rate", "no temporary folder");
    std::string png = dir + "/sprite.png";
    if (!SavePixmapPng(BenchSpritePicture(), png, 1)) {
        std::filesystem::remove_all(dir);
        return AddBenchNote(table, "raster fill rate", "cannot write the sprite picture");
    }
    std::string loadBefore = LoadAverage();
    struct Case {
        int side;
        bool turned;
        int count;
        const char* name;
        double floor; // the least ratio ours / SDL held as good
    };
    const Case cases[] = {{20, true, 6000, "turned tinted 20 px sprites", 5},
                          {40, true, 2000, "turned tinted 40 px sprites", 5},
                          {32, false, 3000, "unturned plain 32 px copies", 1}};
    for (const Case& c : cases) {
        double pixels = double(c.count) * c.side * c.side;
        double ours = 0, theirs = 0; // best Mpixel/s over the rounds
        bool failed = false;
        for (int round = 0; round < Rounds && !failed; round++) {
            for (bool sdl : {false, true}) {
                if (!openSoftware(sdl)) {
                    failed = true;
                    break;
                }
                SetCentreAnchoring(true);
                int image = LoadImage(png, ImageMasked);
                if (!image) {
                    failed = true;
                    break;
                }
                double rate = pixels / frameMs(image, c.count, c.side, c.turned) / 1000.0;
                (sdl ? theirs : ours) = std::max(sdl ? theirs : ours, rate);
                PlatformShutdown();
            }
        }
        PlatformShutdown();
        std::string name = c.name;
        if (failed || theirs <= 0) {
            AddBenchNote(table, name, "not measured: " + PlatformError());
            continue;
        }
        AddBenchNote(table, name + ", ours", std::to_string(int(ours)) + " Mpixel/s");
        AddBenchNote(table, name + ", SDL software", std::to_string(int(theirs)) + " Mpixel/s");
        AddBenchRange(table, name + ", ours / SDL" + (c.turned ? " (goal 10)" : ""), ours / theirs,
                      "x", c.floor, 1e308);
    }
    AddBenchNote(table, "  load average over the fill-rate runs",
                 loadBefore + " -> " + LoadAverage() + ", " + std::to_string(RasterPoolSize()) +
                     " threads, AVX2 " + (RasterHasAvx2() ? "yes" : "no"));
    std::filesystem::remove_all(dir);
}
