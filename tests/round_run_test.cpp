// round_run_test.cpp - one whole scripted run of the real program: start a
// round from the title, let the figure die, enter a name, leave through the
// closing page, and find the round stored in "scores.dat".
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>
#include <sstream>

TEST(RoundRun, APlayedRoundEndsUpInTheScoresFile) {
    // The title has slid in some 5.5 s after start (loading screen, engine test);
    // clicks from 6 s start the round. The figure stands still and is overrun
    // about 10 s later (seed 7). Backspaces until 25 s empty the offered name
    // "Player" whenever the name screen starts; the name is typed and confirmed
    // at 26 s of virtual time.
    std::ostringstream script;
    script << "0 mouse 640 480\n";
    for (int t = 6000; t <= 7200; t += 600)
        script << t << " down mouse1\n" << t + 100 << " up mouse1\n";
    for (int t = 7500; t < 25000; t += 50) script << t << " press 8\n";
    script << "25500 type Zed\n26000 press 13\n"
              "27500 down 27\n27800 up 27\n29000 press 32\n45000 end\n";
    const std::string dir = MakeFilesCopy("round");
    WriteWholeFile(dir + "run.script", script.str());
    const RunResult run = RunGame({"--headless", "--script", dir + "run.script", "--seed", "7",
                                   "--start-time", "2026-12-07 18:05:09", "--files", dir},
                                  "", 580);
    EXPECT_EQ(run.status, 0) << run.err << ReadWholeFile(dir + "Debug.txt");

    // Confirmed at 26.0 s (plus a frame or two): 18:05:09 + 26 s, on 07 Dec 2026.
    const int64_t when = 2026LL * 32140800 + 12 * 2678400 + 7 * 86400 + 18 * 3600 + 5 * 60 + 35;
    std::string best = "0";
    for (int i = 2; i <= 30; ++i) best += "|0";
    EXPECT_EQ(ReadWholeFile(dir + "251/scores.dat"),
              "0|Zed|0|" + std::to_string(when) + "|0|0|0|0\r\n" + best + "\r\n")
        << "a wrong name means the round no longer ends well before 25 s";
}
