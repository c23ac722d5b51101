// bench.h - the benchmark table: each benchmark adds rows of a figure, its unit
// and the target it is held against; the main program prints and saves it.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

struct BenchRow {
    std::string name;    // what was measured, e.g. "start to title"
    std::string value;   // the figure as text, or "not measured"
    std::string target;  // e.g. "< 150 ms"; "" when there is none
    std::string verdict; // "ok", "over" or ""
};

struct BenchTable {
    std::vector<BenchRow> rows;
};

// Adds a measured row; verdict "ok" when value <= limit.
void AddBenchRow(BenchTable& table, const std::string& name, double value, const std::string& unit,
                 double limit);
// Adds a row without a figure (something that could not be measured here).
void AddBenchNote(BenchTable& table, const std::string& name, const std::string& text);
// The table as aligned text lines.
std::string FormatBenchTable(const BenchTable& table);

// Benchmarks, one function each.
void BenchStartup(BenchTable& table);    // start to title screen, real clock, headless
void BenchMemory(BenchTable& table);     // peak memory of a short scripted session
void BenchRoundFrame(BenchTable& table); // the CPU cost of one late-wave round frame
void BenchSprites(BenchTable& table);    // sprites per frame at 60 fps against SDL's testsprite2
void BenchEngineTest(BenchTable& table); // the engine test's verdict on each engine
void BenchPacing(BenchTable& table);     // frame times of the title screen on the real clock
void BenchRaster(BenchTable& table);     // fill rate of turned sprites, ours against SDL's software
void BenchReplay(BenchTable& table);     // replay bytes per minute, video export frames per second
void BenchWorld(BenchTable& table);      // world table: rounds verified per core, GET latency

// Adds a row held against a range or a floor: verdict "ok" when lo <= value <= hi.
void AddBenchRange(BenchTable& table, const std::string& name, double value,
                   const std::string& unit, double lo, double hi);

// The benchmarks on a real X display start a private Xvfb and run their
// measurements in child copies of zp-bench (one display and one SDL per
// child). A child is recognised by its first argument; RunBenchProbe returns
// its exit status, or -1 when argv is not a probe's command line.
int RunBenchProbe(int argc, char** argv);

// A private X server on a free display number; display is "" when none started.
struct XServer {
    int pid = 0;
    std::string display; // e.g. ":97"
};
XServer StartXServer(int width, int height);
void StopXServer(XServer& server);

// Runs a program with DISPLAY set, stops it with SIGINT after stopAfterMs
// (0 = let it end by itself, killed after 120 s) or as soon as its output
// holds stopWhen (when not empty), and returns its stdout and stderr
// together; ok is false when it could not be started.
struct ChildRun {
    bool ok = false;
    int status = -1;
    std::string output;
};
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& display, int stopAfterMs,
                  const std::string& stopWhen = "");
// This program's own path, for running probes.
std::string BenchProgramPath();
// A private copy of the asset pack beside this program (without setup file,
// log, scores or crash marker), as a folder path ending in "/"; "" on failure.
std::string CopyAssetPack(const std::string& tag);
// The number after "key " in a probe's answer line, or -1.
double ProbeField(const std::string& text, const std::string& key);
// The machine's one-minute load average as text ("?" when unknown): the X
// benchmarks measure against whatever else the shared machine is running.
std::string LoadAverage();

// The round benchmark's pieces: the game sheet as white cells, the ladder
// fonts from the pack beside the program, and a busy late-wave field.
int MakeBenchSheet();
void LoadBenchLadderFonts();
void FillLateWaveField();

// The sprite benchmark's display-free pieces.
Pixmap BenchSpritePicture();                           // the 32 x 32 benchmark sprite
std::vector<uint8_t> EncodeBmp24(const Pixmap& p);     // as a BMP file for testsprite2
double PeerFramesPerSecond(const std::string& output); // testsprite2's first report, or -1
// The search for the largest sprite count that holds the frame rate: lo held,
// hi did not (-1 while no count failed), next is the count to try.
struct SpriteSearch {
    int lo = 0, hi = -1, next = 2000;
};
void AdvanceSearch(SpriteSearch& s, bool held);
bool SearchSettled(const SpriteSearch& s);
