// sprite_bench.cpp - the most sprites per frame that still hold 60 frames per
// second through the toolkit's counted DrawSprite, against SDL's own
// testsprite2 drawing the same 32 x 32 picture in the same 800 x 600 window on
// the same private X display, for the "software" and "opengl" renderers.
#include "bench.h"

#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const PeerPath = "/usr/libexec/installed-tests/SDL2/testsprite2";
constexpr double HeldFps = 60.0;
constexpr int Steps = 16;    // at most this many measurements: enough to settle
constexpr int OursMs = 2000; // how long our probe draws
// testsprite2 prints its frame rate every 5 s and not when it ends, so it runs
// until its first report (the frames of its first 5 s), at most this long.
constexpr int PeerMs = 9000;

// One contestant: our probe or testsprite2, plain or with geometry mode1.
struct Contestant {
    std::string label;
    bool ours = false;
    bool geometry = false;
    bool plain = false; // ours with the software picture presented through the plain surface
    SpriteSearch search;
    std::string trouble;         // the last failure to run, for the table
    std::map<int, double> rates; // frames per second measured at each count
};

// Frames per second of one contestant drawing count sprites; -1 when it failed.
double measure(Contestant& c, int engine, int count, const std::string& display,
               const std::string& png, const std::string& bmp) {
    const char* renderer = engine == 2 ? "software" : "opengl";
    std::vector<std::string> args;
    ChildRun run;
    if (c.ours) {
        args = {BenchProgramPath(),
                "--probe",
                "sprites",
                std::to_string(engine),
                std::to_string(count),
                std::to_string(OursMs),
                png};
        run = RunChild(args, display, 0);
        if (run.ok && ProbeField(run.output, "fps") >= 0) {
            // The probe must have drawn every sprite with the renderer asked for.
            if (ProbeField(run.output, "drawn") == count &&
                run.output.find(std::string("engine ") + renderer) != std::string::npos)
                return ProbeField(run.output, "fps");
        }
    } else {
        args = {PeerPath, "--renderer", renderer, "--geometry", "800x600"};
        if (c.geometry) args.insert(args.end(), {"--use-rendergeometry", "mode1"});
        args.insert(args.end(), {std::to_string(count), bmp});
        run = RunChild(args, display, PeerMs, " frames per second\n");
        if (run.ok && PeerFramesPerSecond(run.output) >= 0) return PeerFramesPerSecond(run.output);
    }
    size_t end = run.output.find('\n');
    c.trouble = run.ok ? run.output.substr(0, end) : "could not start";
    return -1;
}

} // namespace

// Finds, by a coarse search per contestant, the largest sprite count that holds
// 60 fps; the three contestants take turns so that the load of the machine
// weighs on them alike.
void BenchSprites(BenchTable& table) {
    if (access(PeerPath, X_OK) != 0)
        return AddBenchNote(table, "sprites at 60 fps", "testsprite2 not installed");
    std::string dir = (fs::temp_directory_path() / "zp-bench-sprite-XXXXXX").string();
    if (!mkdtemp(dir.data()))
        return AddBenchNote(table, "sprites at 60 fps", "no temporary folder");
    std::string png = dir + "/sprite.png", bmp = dir + "/sprite.bmp";
    Pixmap picture = BenchSpritePicture();
    std::vector<uint8_t> bmpBytes = EncodeBmp24(picture);
    std::ofstream(bmp, std::ios::binary)
        .write(reinterpret_cast<const char*>(bmpBytes.data()), std::streamsize(bmpBytes.size()));
    if (!SavePixmapPng(picture, png, 9) || !fs::exists(bmp) ||
        fs::file_size(bmp) != bmpBytes.size()) {
        fs::remove_all(dir);
        return AddBenchNote(table, "sprites at 60 fps", "cannot write the sprite pictures");
    }
    XServer x = StartXServer(1280, 1024);
    if (x.display.empty()) {
        fs::remove_all(dir);
        return AddBenchNote(table, "sprites at 60 fps", "Xvfb did not start");
    }
    std::string loadBefore = LoadAverage();
    for (int engine : {2, 0}) {
        const std::string renderer = engine == 2 ? "software" : "opengl";
        std::vector<Contestant> contestants = {
            {"ours (DrawSprite)", true, false, false, {}, "", {}},
            {"testsprite2", false, false, false, {}, "", {}},
            {"testsprite2 mode1", false, true, false, {}, "", {}}};
        for (int s = 0; s < Steps; s++) {
            for (Contestant& c : contestants) {
                SpriteSearch& search = c.search;
                if (SearchSettled(search)) continue;
                double fps = measure(c, engine, search.next, x.display, png, bmp);
                std::fprintf(stderr, "zp-bench: %s, %s, %d sprites: %.1f fps %s\n",
                             renderer.c_str(), c.label.c_str(), search.next, fps,
                             fps < 0 ? c.trouble.c_str() : "");
                if (fps < 0) {
                    search.hi = search.lo; // it cannot run: no point in searching further
                } else {
                    c.rates[search.next] = fps;
                    AdvanceSearch(search, fps >= HeldFps);
                }
            }
        }
        double best = 0;
        for (Contestant& c : contestants) {
            std::string name = "sprites at 60 fps, " + renderer + ", " + c.label;
            const SpriteSearch& search = c.search;
            if (!c.trouble.empty() && search.lo == 0) {
                AddBenchNote(table, name, "not measured: " + c.trouble);
                continue;
            }
            std::string bound = search.hi >= 0 ? " (" + std::to_string(search.hi) + " failed)"
                                               : " (no failure found)";
            AddBenchNote(table, name, std::to_string(search.lo) + bound);
            if (!c.ours && search.lo > best) best = search.lo;
        }
        for (Contestant& c : contestants) {
            if (!c.ours) continue;
            // On the software engine our own rasteriser is held to twice SDL's.
            const bool soft = engine == 2;
            std::string name = "sprite ratio ours / best testsprite2, " + renderer +
                               (c.plain ? ", proposed present" : "") +
                               (soft ? " (goal 3.0)" : " (goal 1.5)");
            if (best > 0 && c.search.lo > 0)
                AddBenchRange(table, name, c.search.lo / best, "x", soft ? 2.0 : 1.0, 1e308);
            else
                AddBenchNote(table, name, "not measured");
            // The counts all contestants tried in the same turn give a paired
            // figure that the load of the machine disturbs less than the
            // thresholds: our frame rate over the better testsprite2 one.
            double logSum = 0;
            int pairs = 0;
            for (const auto& [count, fps] : c.rates) {
                double peer = 0;
                for (Contestant& p : contestants)
                    if (!p.ours && p.rates.count(count)) peer = std::max(peer, p.rates[count]);
                if (peer > 0 && fps > 0) logSum += std::log(fps / peer), pairs++;
            }
            if (pairs > 0) {
                char text[96];
                std::snprintf(text, sizeof text, "%.2f x over %d counts", std::exp(logSum / pairs),
                              pairs);
                AddBenchNote(table,
                             "  frame-rate ratio at equal counts" +
                                 std::string(c.plain ? ", proposed present" : ""),
                             text);
            }
        }
    }
    AddBenchNote(table, "  load average over the sprite runs", loadBefore + " -> " + LoadAverage());
    StopXServer(x);
    fs::remove_all(dir);
}
