// pacing_bench.cpp - frame pacing of the title screen on the real clock: the
// mean and 99th-percentile time of a frame (TitleFrame with its EndFrame) over
// 10 s, after a full start-up in a real window on a private Xvfb.
#include "bench.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int TitleMs = 10000;

// Runs the title screen on one engine and adds its rows.
// variant: "" the title screen, "plain" with the proposed present, "empty"
// frames that draw nothing (the pacing alone).
void paceOn(BenchTable& table, const std::string& display, int engine, const std::string& variant) {
    const char* names[3] = {"opengl", "opengles2", "software"};
    std::string label =
        std::string(variant == "empty" ? "empty frame, " : "title frame, ") + names[engine];
    if (variant == "plain") label += ", plain-surface present (proposed)";
    std::string dir = CopyAssetPack("pacing");
    if (dir.empty()) return AddBenchNote(table, label, "no asset pack beside zp-bench");
    std::vector<std::string> args = {BenchProgramPath(),     "--probe", "pacing",
                                     std::to_string(engine), dir,       std::to_string(TitleMs)};
    if (!variant.empty()) args.push_back(variant);
    ChildRun run = RunChild(args, display, 0);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    double frames = ProbeField(run.output, "frames");
    if (!run.ok || run.status != 0 || frames <= 0) {
        std::string why = run.output.substr(0, run.output.find('\n'));
        return AddBenchNote(table, label, "not measured: " + (why.empty() ? "no answer" : why));
    }
    AddBenchRange(table, label + ", mean", ProbeField(run.output, "mean"), "ms", 15.0, 16.7);
    AddBenchRow(table, label + ", 99th percentile", ProbeField(run.output, "p99"), "ms", 17);
    // The software engine's whole frame, every thread, is held to 2 ms of processor.
    if (engine == 2 && variant.empty())
        AddBenchRow(table, label + ", processor time", ProbeField(run.output, "cpu"), "ms", 2);
    char detail[160];
    std::snprintf(detail, sizeof detail, "%d frames, worst %.1f ms, processor %.1f ms a frame",
                  int(frames), ProbeField(run.output, "max"), ProbeField(run.output, "cpu"));
    AddBenchNote(table, label + ", detail", detail);
}

} // namespace

// Title screen pacing on the default engine (OpenGL) and on the software one,
// and empty frames as the machine's own floor.
void BenchPacing(BenchTable& table) {
    XServer x = StartXServer(1280, 1024);
    if (x.display.empty()) return AddBenchNote(table, "title frame pacing", "Xvfb did not start");
    std::string loadBefore = LoadAverage();
    paceOn(table, x.display, 0, "");
    paceOn(table, x.display, 2, "");
    // Frames that draw nothing: how closely this machine can pace at all.
    paceOn(table, x.display, 0, "empty");
    AddBenchNote(table, "  load average over the title runs", loadBefore + " -> " + LoadAverage());
    StopXServer(x);
}
