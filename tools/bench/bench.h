// bench.h - the benchmark table: each benchmark adds rows of a figure, its unit
// and the target it is held against; the main program prints and saves it.
#pragma once

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
