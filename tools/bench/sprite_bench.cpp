// sprite_bench.cpp - the most sprites per frame that still hold 60 frames per
// second through the toolkit's counted DrawSprite, against SDL's own
// testsprite2 drawing the same 32 x 32 picture in the same 800 x 600 window on
// the same private X display, for the "software" and "opengl" renderers.
#include "bench.h"

#include "platform/platform.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const PeerPath = "/usr/libexec/installed-tests/SDL2/testsprite2";
constexpr int Side = 32;
constexpr double HeldFps = 60.0;
constexpr int Steps = 8;     // measurements per search
constexpr int OursMs = 2500; // how long our probe draws
// testsprite2 prints its frame rate every 5 s and not when it ends, so it runs
// until its first report (the frames of its first 5 s), at most this long.
constexpr int PeerMs = 9000;
constexpr int FirstGuess = 2000; // sprites tried first

// The benchmark sprite: a round shaded body with a ring and an eye on black,
// the mask colour of both programs (testsprite2 keys on the top-left pixel).
Pixmap spritePicture() {
    Pixmap p;
    p.width = p.height = Side;
    p.pixels.assign(Side * Side, 0xFF000000u);
    for (int y = 0; y < Side; y++) {
        for (int x = 0; x < Side; x++) {
            double dx = x + 0.5 - 16, dy = y + 0.5 - 16, d = std::sqrt(dx * dx + dy * dy);
            if (d > 15) continue;
            uint32_t r = 40 + uint32_t(180 * (1 - d / 15)), g = 200 - uint32_t(6 * d),
                     b = 90 + uint32_t(8 * d);
            if (d > 12.5) r = 250, g = 220, b = 40; // the ring
            double ex = x + 0.5 - 20, ey = y + 0.5 - 12;
            if (ex * ex + ey * ey < 12) r = g = b = 255;     // the eye
            if (ex * ex + ey * ey < 3) r = 1, g = 1, b = 30; // its pupil (not the mask black)
            p.pixels[size_t(y * Side + x)] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    return p;
}

// Writes the picture as an uncompressed 24-bit BMP (rows bottom to top).
bool saveBmp(const Pixmap& p, const std::string& path) {
    const uint32_t row = uint32_t(p.width) * 3, data = row * uint32_t(p.height);
    std::vector<uint8_t> out(54 + data, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) out[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, 54 + data);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(p.width));
    put32(22, uint32_t(p.height));
    out[26] = 1;  // planes
    out[28] = 24; // bits per pixel
    put32(34, data);
    for (int y = 0; y < p.height; y++) {
        for (int x = 0; x < p.width; x++) {
            uint32_t c = p.pixels[size_t(y * p.width + x)];
            size_t at = 54 + size_t(p.height - 1 - y) * row + size_t(x) * 3;
            out[at] = uint8_t(c), out[at + 1] = uint8_t(c >> 8), out[at + 2] = uint8_t(c >> 16);
        }
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return bool(file);
}

// The figure of testsprite2's first "N frames per second" line, or -1.
double peerFps(const std::string& text) {
    size_t at = text.find(" frames per second");
    if (at == std::string::npos) return -1;
    size_t start = text.find_last_of(" \t\n", at - 1);
    return std::atof(text.c_str() + (start == std::string::npos ? 0 : start + 1));
}

// One contestant: our probe or testsprite2, plain or with geometry mode1.
struct Contestant {
    std::string label;
    bool ours = false;
    bool geometry = false;
    // the search: lo held 60 fps, hi did not (-1 while none failed)
    int lo = 0, hi = -1, next = FirstGuess;
    std::string trouble; // the last failure to run, for the table
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
        if (run.ok && peerFps(run.output) >= 0) return peerFps(run.output);
    }
    size_t end = run.output.find('\n');
    c.trouble = run.ok ? run.output.substr(0, end) : "could not start";
    return -1;
}

// One step of the search: doubling until a count fails, then halving the gap.
void step(Contestant& c, double fps) {
    int n = c.next;
    if (fps >= HeldFps)
        c.lo = n;
    else
        c.hi = n;
    if (c.hi < 0)
        c.next = n * 2;
    else
        c.next = (c.lo + c.hi) / 2;
    c.next = c.next < 1 ? 1 : c.next;
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
    Pixmap picture = spritePicture();
    if (!SavePixmapPng(picture, png, 9) || !saveBmp(picture, bmp)) {
        fs::remove_all(dir);
        return AddBenchNote(table, "sprites at 60 fps", "cannot write the sprite pictures");
    }
    XServer x = StartXServer(1280, 1024);
    if (x.display.empty()) {
        fs::remove_all(dir);
        return AddBenchNote(table, "sprites at 60 fps", "Xvfb did not start");
    }
    for (int engine : {2, 0}) {
        const std::string renderer = engine == 2 ? "software" : "opengl";
        Contestant contestants[3] = {{"ours (DrawSprite)", true, false, 0, -1, FirstGuess, ""},
                                     {"testsprite2", false, false, 0, -1, FirstGuess, ""},
                                     {"testsprite2 mode1", false, true, 0, -1, FirstGuess, ""}};
        for (int s = 0; s < Steps; s++) {
            for (Contestant& c : contestants) {
                if (c.hi >= 0 && c.hi - c.lo <= c.lo / 50 + 1) continue; // close enough
                double fps = measure(c, engine, c.next, x.display, png, bmp);
                std::fprintf(stderr, "zp-bench: %s, %s, %d sprites: %.1f fps %s\n",
                             renderer.c_str(), c.label.c_str(), c.next, fps,
                             fps < 0 ? c.trouble.c_str() : "");
                if (fps < 0)
                    c.hi = c.lo; // it cannot run: no point in searching further
                else
                    step(c, fps);
            }
        }
        double best = 0;
        for (Contestant& c : contestants) {
            std::string name = "sprites at 60 fps, " + renderer + ", " + c.label;
            if (!c.trouble.empty() && c.lo == 0) {
                AddBenchNote(table, name, "not measured: " + c.trouble);
                continue;
            }
            std::string bound =
                c.hi >= 0 ? " (" + std::to_string(c.hi) + " failed)" : " (no failure found)";
            AddBenchNote(table, name, std::to_string(c.lo) + bound);
            if (!c.ours && c.lo > best) best = c.lo;
        }
        if (best > 0 && contestants[0].lo > 0)
            AddBenchRange(table,
                          "sprite ratio ours / best testsprite2, " + renderer + " (goal 1.5)",
                          contestants[0].lo / best, "x", 1.0, 1e308);
        else
            AddBenchNote(table, "sprite ratio ours / best testsprite2, " + renderer,
                         "not measured");
    }
    StopXServer(x);
    fs::remove_all(dir);
}
