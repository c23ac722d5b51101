// bench_main.cpp - zp-bench: runs every benchmark, prints the table and writes
// it to the file named on the command line.
#include "bench.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

// Adds a measured row; verdict "ok" when value <= limit.
void AddBenchRow(BenchTable& table, const std::string& name, double value, const std::string& unit,
                 double limit) {
    char figure[64], target[64];
    std::snprintf(figure, sizeof figure, "%.2f %s", value, unit.c_str());
    std::snprintf(target, sizeof target, "< %g %s", limit, unit.c_str());
    table.rows.push_back({name, figure, target, value <= limit ? "ok" : "over"});
}

// Adds a row held against a range: verdict "ok" when lo <= value <= hi.
void AddBenchRange(BenchTable& table, const std::string& name, double value,
                   const std::string& unit, double lo, double hi) {
    char figure[64], target[64];
    std::snprintf(figure, sizeof figure, "%.2f %s", value, unit.c_str());
    if (hi >= 1e300)
        std::snprintf(target, sizeof target, ">= %g %s", lo, unit.c_str());
    else
        std::snprintf(target, sizeof target, "%g..%g %s", lo, hi, unit.c_str());
    const char* verdict = value < lo ? "under" : value > hi ? "over" : "ok";
    table.rows.push_back({name, figure, target, verdict});
}

// Adds a row without a figure.
void AddBenchNote(BenchTable& table, const std::string& name, const std::string& text) {
    table.rows.push_back({name, text, "", ""});
}

// The table as aligned text lines.
std::string FormatBenchTable(const BenchTable& table) {
    BenchRow head{"benchmark", "figure", "target", "verdict"};
    size_t w[3] = {head.name.size(), head.value.size(), head.target.size()};
    for (const auto& r : table.rows) {
        w[0] = std::max(w[0], r.name.size());
        w[1] = std::max(w[1], r.value.size());
        w[2] = std::max(w[2], r.target.size());
    }
    std::ostringstream out;
    auto line = [&](const BenchRow& r) {
        out << r.name << std::string(w[0] - r.name.size() + 2, ' ') << r.value
            << std::string(w[1] - r.value.size() + 2, ' ') << r.target
            << std::string(w[2] - r.target.size() + 2, ' ') << r.verdict << "\n";
    };
    line(head);
    for (const auto& r : table.rows) line(r);
    return out.str();
}

// Runs the benchmarks; argv[1] is the file the table is written to, and any
// further arguments name the benchmarks to run (startup, memory, round,
// sprites, engine, pacing, raster, replay, world).
int main(int argc, char** argv) {
    int probe = RunBenchProbe(argc, argv);
    if (probe >= 0) return probe;
    // The benchmarks change the current folder (start-up enters the files
    // folder), so a relative output path is fixed before they run.
    std::string output;
    if (argc > 1) {
        std::error_code ec;
        output = std::filesystem::absolute(argv[1], ec).string();
        if (ec) output = argv[1];
    }
    BenchTable table;
    // Names after the file choose some of the benchmarks; none runs them all.
    auto chosen = [&](const char* name) {
        if (argc <= 2) return true;
        for (int i = 2; i < argc; i++)
            if (std::string(argv[i]) == name) return true;
        return false;
    };
    // Each part says when it starts and ends: some take minutes.
    auto part = [&](const char* name, void (*run)(BenchTable&)) {
        if (!chosen(name)) return;
        std::fprintf(stderr, "zp-bench: %s starts (load average %s)\n", name,
                     LoadAverage().c_str());
        run(table);
        std::fprintf(stderr, "zp-bench: %s ends (load average %s)\n", name, LoadAverage().c_str());
    };
    part("startup", BenchStartup);
    part("memory", BenchMemory);
    part("round", BenchRoundFrame);
    part("sprites", BenchSprites);
    part("engine", BenchEngineTest);
    part("pacing", BenchPacing);
    part("raster", BenchRaster);
    part("replay", BenchReplay);
    part("world", BenchWorld);
    std::string text = FormatBenchTable(table);
    std::fputs(text.c_str(), stdout);
    if (argc > 1) {
        std::ofstream file(output, std::ios::binary);
        file << text;
        if (!file) {
            std::fprintf(stderr, "zp-bench: cannot write %s\n", output.c_str());
            return 1;
        }
    }
    return 0;
}
