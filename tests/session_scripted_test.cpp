// session_scripted_test.cpp - long sessions of the real game played from a
// script, headless on the virtual clock: twenty rounds on all three
// difficulties ended by dying or by quitting from the pause menu, a pause that
// is continued, the settings panel applying a new resolution between rounds,
// screenshots, and leaving from the title screen. The same script played
// twice must leave the same files byte for byte, and a script recorded while
// playing must replay to the same score table.
#include "platform/keys.h"
#include "platform/platform.h"
#include "platform/script.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// One planned round: the difficulty clicked, the name typed afterwards and
// whether it ends through the pause menu's "Quit" (else the figure dies).
struct RoundPlan {
    int mode;
    std::string name;
    bool quit;
};

// Key and button codes as the script knows them.
const int Backspace = KeyBackspace, Tab = KeyTab, Enter = KeyReturn, Escape = KeyEscape,
          Space = KeySpace, Left = KeyLeft, Down = KeyDown, F11 = KeyF11, F12 = KeyF12;

// Builds a script from events given in any order; lines come out sorted by
// time, events of the same moment in the order given.
struct ScriptBuilder {
    std::vector<std::pair<int, std::string>> events;
    std::vector<int> confirmed; // when each round's name was confirmed
    void at(int ms, const std::string& what) { events.push_back({ms, what}); }
    std::string text() const {
        auto sorted = events;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::ostringstream out;
        for (const auto& [ms, what] : sorted) out << ms << ' ' << what << '\n';
        return out.str();
    }
    void key(int ms, int code, int holdMs = 100) {
        at(ms, "down " + std::to_string(code));
        at(ms + holdMs, "up " + std::to_string(code));
    }
    void press(int ms, int code) { at(ms, "press " + std::to_string(code)); }
    void mouse(int ms, int x, int y) {
        at(ms, "mouse " + std::to_string(x) + " " + std::to_string(y));
    }
    // A left click held long enough for two frames to see it.
    void click(int ms, int x, int y) {
        mouse(ms, x, y);
        at(ms + 50, "down mouse1");
        at(ms + 150, "up mouse1");
    }
};

// The title screen, once slid in, at the default logical size 1280 x 960.
const int MidX = 640, MidY = 480;
int difficultyY(int mode) {
    return MidY + 200 + 50 * mode + 20;
}

// Clears the offered name (it is the previous round's), types the new one and
// confirms it; starts at ms, returns when the title screen is back and slid in.
int enterName(ScriptBuilder& s, int ms, const std::string& name) {
    for (int i = 0; i < 14; ++i) s.press(ms + 50 * i, Backspace);
    ms += 14 * 50 + 200;
    s.at(ms, "type " + name);
    ms += 50 * static_cast<int>(name.size()) + 300;
    s.press(ms, Enter);
    s.confirmed.push_back(ms);
    return ms + 900;
}

// Chooses the difficulty by clicking it and starts the round by clicking
// "Click Here to Start"; returns when the round is running.
int startRound(ScriptBuilder& s, int ms, int mode) {
    s.click(ms, MidX, difficultyY(mode));
    s.click(ms + 300, MidX, MidY);
    return ms + 600;
}

// A round that walks, holds the right button (it fires only on a gun post),
// and is paused and quit with Escape, Down and Space. With shots, F11 is
// pressed in the round and in the pause menu; with continueFirst the round is
// paused and continued once before.
int quitRound(ScriptBuilder& s, int ms, const RoundPlan& plan, bool shots, bool continueFirst) {
    ms = startRound(s, ms, plan.mode);
    s.mouse(ms, 300, 300);
    s.at(ms + 50, "down mouse1");
    s.at(ms + 800, "up mouse1");
    s.mouse(ms + 900, 900, 700);
    if (shots) s.press(ms + 700, F11);
    s.at(ms + 950, "down mouse2");
    s.at(ms + 1500, "up mouse2");
    ms += 1700;
    if (continueFirst) {
        // Escape, then Space on "Continue": the round goes on.
        s.key(ms, Escape);
        s.key(ms + 400, Space);
        ms += 1000;
    }
    s.key(ms, Escape);
    if (shots) s.press(ms + 450, F11);
    s.key(ms + 600, Down);
    s.key(ms + 900, Space);
    // The game-over picture and 1.5 s pass before the name can be typed.
    return enterName(s, ms + 900 + 1900, plan.name);
}

// A round in which the figure stands still until it is overrun. The name is
// typed late in a window long enough for the figure to die on every difficulty;
// Backspace is pressed all along, so the name is cleared whenever its screen
// begins.
int dieRound(ScriptBuilder& s, int ms, const RoundPlan& plan) {
    ms = startRound(s, ms, plan.mode);
    const int window = 30000;
    for (int t = 1000; t < window - 1500; t += 50) s.press(ms + t, Backspace);
    s.at(ms + window - 1200, "type " + plan.name);
    s.press(ms + window - 400, Enter);
    s.confirmed.push_back(ms + window - 400);
    return ms + window + 700;
}

// The twenty rounds of the long session.
std::vector<RoundPlan> SessionPlan() {
    std::vector<RoundPlan> plan;
    const char* names[] = {"Ann",  "Bo",    "Cyd", "Dee",  "Eli",  "Fay", "Gus",
                           "Hal",  "Ivy",   "Jo",  "Kai",  "Lu",   "Max", "Ned",
                           "Oona", "Pip Q", "Rex", "Sian", "Tess", "Uli"};
    // Three rounds, one on each difficulty, are lost; the others are quit.
    for (int i = 0; i < 20; ++i) plan.push_back({i % 3, names[i], i != 3 && i != 7 && i != 14});
    return plan;
}

// The whole session's script: rounds, the settings panel applying the next
// smaller window size after the tenth round, screenshots, the overlay, and
// leaving from the title screen with Escape and a key.
ScriptBuilder SessionScript() {
    ScriptBuilder s;
    int ms = 6000; // the title screen is up and slid in
    s.press(ms, F11);
    ms += 1200;
    std::vector<RoundPlan> plan = SessionPlan();
    for (size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].quit)
            ms = quitRound(s, ms, plan[i], i == 1, i == 4);
        else
            ms = dieRound(s, ms, plan[i]);
        if (i == 9) {
            // Settings panel: hover the resolution area, one mode down, "Apply".
            s.press(ms, Tab);
            s.mouse(ms + 500, 150, 150);
            s.press(ms + 600, Left);
            s.mouse(ms + 800, 30, 290);
            s.at(ms + 900, "press mouse1");
            ms += 9000; // the display reopens and the engine test runs again
        }
    }
    s.press(ms, F12);
    s.press(ms + 200, F11);
    s.press(ms + 400, Tab);
    s.press(ms + 800, Tab);
    s.key(ms + 1300, Escape);
    s.key(ms + 2000, 65);
    s.at(ms + 4000, "end");
    return s;
}

// The log line of a saved screenshot taken at the virtual moment ms after
// the start time 18:05:09 on 07 Dec 2026.
std::string ShotName(int ms) {
    int second = 9 + ms / 1000, minute = 5 + second / 60, hour = 18 + minute / 60;
    char text[80];
    std::snprintf(text, sizeof text, "Zorvek Plon (Screenshot_07 Dec 2026_%02d%02d%02d).png", hour,
                  minute % 60, second % 60);
    return text;
}

// The timestamp of a moment ms into the run: seconds on the calendar of 12
// months of 31 days.
int64_t StampAt(int ms) {
    return 2026LL * 32140800 + 12 * 2678400 + 7 * 86400 + 18 * 3600 + 5 * 60 + 9 + ms / 1000;
}

// What one run of the game left in its folder.
struct SessionFiles {
    RunResult result;
    std::string dir;
    std::vector<std::string> names; // every file the run wrote, sorted
    std::vector<std::string> bytes; // their contents, in the same order
};

// Starts the game headless on the script (with a fixed seed and start time)
// on a fresh copy of the asset pack; the process id.
int StartSession(const std::string& dir, const std::string& script,
                 const std::vector<std::string>& extra = {}) {
    WriteWholeFile(dir + "run.script", script);
    std::vector<std::string> args = {
        GameBinary(), "--headless", "--script",     dir + "run.script",
        "--seed",     "1",          "--start-time", "2026-12-07 18:05:09",
        "--files",    dir};
    args.insert(args.end(), extra.begin(), extra.end());
    return StartProcess(args);
}

// Waits for a session to end (a generous real-time limit: the software
// renderer is slow on a busy machine) and collects the files it wrote (the
// pack's own files and the script are left out).
SessionFiles Finish(int pid, const std::string& dir) {
    SessionFiles run;
    run.dir = dir;
    run.result.status = pid > 0 ? WaitProcess(pid, 1500 * 1000) : -1;
    if (run.result.status < 0) StopProcess(pid);
    for (const auto& entry : fs::recursive_directory_iterator(run.dir)) {
        if (!entry.is_regular_file()) continue;
        std::string name = fs::relative(entry.path(), run.dir).string();
        if (name == "run.script" || PathExists(BuiltFilesDir() + name)) continue;
        run.names.push_back(name);
    }
    std::sort(run.names.begin(), run.names.end());
    for (const auto& name : run.names) run.bytes.push_back(ReadWholeFile(run.dir + name));
    return run;
}

// Index of the first line equal to text at or after from, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

// The fields of a line split at "|".
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '|')) out.push_back(field);
    if (!line.empty() && line.back() == '|') out.push_back("");
    return out;
}

void CheckScores(const SessionFiles& run, const ScriptBuilder& script) {
    std::vector<RoundPlan> plan = SessionPlan();
    auto lines = ReadLinesOf(run.dir + "251/scores.dat");
    ASSERT_EQ(lines.size(), 2 * plan.size());
    std::string zeros = "0";
    for (int i = 2; i <= 30; ++i) zeros += "|0";
    int64_t newer = INT64_MAX;
    for (size_t k = 0; k < plan.size(); ++k) {
        // Newest first: the last round planned is the first record.
        size_t round = plan.size() - 1 - k;
        SCOPED_TRACE("round " + std::to_string(round + 1) + " (" + plan[round].name + ")");
        auto f = Fields(lines[2 * k]);
        ASSERT_EQ(f.size(), 8u) << lines[2 * k];
        EXPECT_GE(std::stoll(f[0]), 0);
        EXPECT_EQ(f[1], plan[round].name)
            << (plan[round].quit ? "" : "the figure was not overrun before its name was typed");
        EXPECT_EQ(f[2], "0");
        EXPECT_EQ(f[4], "0");
        EXPECT_EQ(f[5], std::to_string(plan[round].mode));
        EXPECT_EQ(f[6], "0");
        EXPECT_EQ(f[7], plan[round].quit ? "1" : "0");
        // Stored the moment the name was confirmed (within a frame or two).
        int64_t stamp = std::stoll(f[3]);
        int at = script.confirmed[round];
        EXPECT_TRUE(stamp == StampAt(at) || stamp == StampAt(at + 100)) << stamp;
        EXPECT_LT(stamp, newer);
        newer = stamp;
        EXPECT_EQ(lines[2 * k + 1], zeros);
    }
}

void CheckSetupFile(const SessionFiles& run, int& width, int& height) {
    auto setup = ReadLinesOf(run.dir + "Setup.ini");
    ASSERT_GE(setup.size(), 20u);
    EXPECT_EQ(setup[0], "[Graphics]");
    EXPECT_EQ(setup[1], "Fullscreen = False");
    EXPECT_EQ(setup[2], "GFX Engine = OpenGL");
    ASSERT_EQ(setup[3].rfind("Width=", 0), 0u) << setup[3];
    ASSERT_EQ(setup[4].rfind("Height=", 0), 0u) << setup[4];
    width = std::stoi(setup[3].substr(6));
    height = std::stoi(setup[4].substr(7));
    // One mode down from 800 x 600, and still of the 4:3 shape the rest of
    // the session's clicks are placed for.
    EXPECT_NE(setup[3] + setup[4], "Width=800Height=600");
    EXPECT_EQ(width * 3, height * 4);
    EXPECT_EQ(setup[5], "");
    EXPECT_EQ(setup[6], "[Audio]");
    EXPECT_EQ(setup[7], "Master = 50");
    EXPECT_EQ(setup[8], "Sound = 50");
    EXPECT_EQ(setup[9], "Music = 50");
    ASSERT_EQ(setup[10].rfind("AudioDriver = ", 0), 0u);
    std::string driver = setup[10].substr(14);
    size_t i = 11;
    bool listed = false;
    for (; i < setup.size() && setup[i].rfind("; AudioDriver = ", 0) == 0; ++i)
        listed = listed || setup[i] == "; " + setup[10];
    EXPECT_TRUE(listed) << "the chosen driver " << driver << " is among the listed ones";
    const std::vector<std::string> tail = {"",          "[Controls]", "Key=0,38",  "Key=3,37",
                                           "Key=5,39",  "Key=8,40",   "Key=10,90", "Key=11,88",
                                           "Key=12,67", "Key=13,86"};
    ASSERT_EQ(setup.size(), i + tail.size());
    for (size_t k = 0; k < tail.size(); ++k) EXPECT_EQ(setup[i + k], tail[k]);
}

void CheckLogAndScreenshots(const SessionFiles& run, int width, int height) {
    auto log = ReadLinesOf(run.dir + "Debug.txt");
    int loaded = FindLine(log, "Finished Loading");
    ASSERT_GE(loaded, 0);
    // The screenshots, in the order taken: title, round, pause menu, and the
    // title after the new size was applied.
    std::vector<std::string> shots;
    for (const auto& line : log)
        if (line.rfind("	Saving Screenshot : ", 0) == 0) shots.push_back(line.substr(21));
    ASSERT_EQ(shots.size(), 4u);
    EXPECT_EQ(shots[0], ShotName(6000));
    int at = loaded;
    for (size_t k = 0; k < shots.size(); ++k) {
        at = FindLine(log, "	Saving Screenshot : " + shots[k], at);
        ASSERT_GT(at, loaded);
        EXPECT_EQ(log[at + 1], "	Saved Screenshot 1");
        Pixmap picture;
        ASSERT_TRUE(LoadPixmapPng(run.dir + shots[k], picture)) << shots[k];
        EXPECT_EQ(picture.width, k < 3 ? 800 : width) << shots[k];
        EXPECT_EQ(picture.height, k < 3 ? 600 : height) << shots[k];
    }
    // The new size was applied between the pause-menu shot and the last one.
    int pauseShot = FindLine(log, "	Saving Screenshot : " + shots[2]);
    int again = FindLine(log, "Applying Graphical Settings", pauseShot);
    ASSERT_GT(again, pauseShot);
    EXPECT_EQ(log[again + 1], "	Changed Graphics Mode ingame.");
    EXPECT_GE(FindLine(log,
                       "	Resolution : " + std::to_string(width) + "x" +
                           std::to_string(height) + ",0",
                       again),
              0);
    EXPECT_GT(FindLine(log, "	Saving Screenshot : " + shots[3]), again);
    // The closing lines end the log.
    const std::vector<std::string> closing = {"Closing Up", "", "Bye!", "", "Play again, soon!!"};
    ASSERT_GE(log.size(), closing.size());
    EXPECT_TRUE(std::equal(closing.begin(), closing.end(), log.end() - 5));
    EXPECT_GT(FindLine(log, "Closing Up"), FindLine(log, "	Saving Screenshot : " + shots[3]));
}

} // namespace

TEST(SessionScripted, TwentyRoundsOnAllDifficultiesLeaveTheSameFilesTwice) {
    // The same script twice, side by side.
    ScriptBuilder script = SessionScript();
    std::string dirA = MakeFilesCopy("session-a"), dirB = MakeFilesCopy("session-b");
    int a = StartSession(dirA, script.text()), b = StartSession(dirB, script.text());
    SessionFiles first = Finish(a, dirA), second = Finish(b, dirB);
    ASSERT_EQ(first.result.status, 0) << ReadWholeFile(dirA + "Debug.txt");
    {
        SCOPED_TRACE("scores");
        CheckScores(first, script);
    }
    int width = 0, height = 0;
    {
        SCOPED_TRACE("setup file");
        CheckSetupFile(first, width, height);
    }
    {
        SCOPED_TRACE("log and screenshots");
        CheckLogAndScreenshots(first, width, height);
    }
    EXPECT_EQ(second.result.status, 0);
    ASSERT_EQ(second.names, first.names);
    for (size_t i = 0; i < first.names.size(); ++i)
        EXPECT_TRUE(second.bytes[i] == first.bytes[i]) << first.names[i] << " differs";
}

TEST(SessionScripted, ARecordedSessionReplaysToTheSameScores) {
    // Two rounds, quit on Easy and on Hard, then leave.
    ScriptBuilder s;
    int ms = quitRound(s, 6000, {0, "Rec", true}, false, false);
    ms = quitRound(s, ms, {2, "Replay", true}, false, false);
    s.key(ms, Escape);
    s.key(ms + 700, 65);
    s.at(ms + 3000, "end");
    std::string dir = MakeFilesCopy("session-record"), record = dir + "recorded.script";
    SessionFiles played = Finish(StartSession(dir, s.text(), {"--record", record}), dir);
    ASSERT_EQ(played.result.status, 0);
    std::string scores = ReadWholeFile(dir + "251/scores.dat");
    auto lines = ReadLinesOf(dir + "251/scores.dat");
    ASSERT_EQ(lines.size(), 4u) << scores;
    EXPECT_EQ(Fields(lines[0])[1], "Replay");
    EXPECT_EQ(Fields(lines[2])[1], "Rec");

    std::string again = MakeFilesCopy("session-replay");
    SessionFiles replayed = Finish(StartSession(again, ReadWholeFile(record)), again);
    EXPECT_EQ(replayed.result.status, 0) << "the recording does not reach the closing page";
    EXPECT_EQ(ReadWholeFile(again + "251/scores.dat"), scores);
    EXPECT_EQ(ReadWholeFile(again + "Setup.ini"), ReadWholeFile(dir + "Setup.ini"));
}

TEST(SessionScripted, EveryScriptedEventIsRecordedAtTheMomentItActed) {
    // The quick check of the same: input played from a script while
    // recording comes out as the same events at the same moments.
    const std::string source = "100 mouse 300 200\n150 down mouse1\n200 up mouse1\n"
                               "250 type Zed Q\n300 press 13\n400 down 27\n500 up 27\n"
                               "520 close\n";
    std::string dir = MakeTempDir("session-rec-unit");
    ASSERT_TRUE(WriteWholeFile(dir + "in.script", source));
    PlatformConfig config;
    config.scriptPath = dir + "in.script";
    config.recordPath = dir + "out.script";
    StartDoubles(config);
    while (Millis() < 600) SleepMillis(1);
    PlatformShutdown();

    std::vector<ScriptEvent> played, recorded;
    std::string error;
    ASSERT_TRUE(ParseScript(source, "in", played, error)) << error;
    ASSERT_TRUE(ParseScript(ReadWholeFile(dir + "out.script"), "out", recorded, error)) << error;
    ASSERT_EQ(recorded.size(), played.size()) << ReadWholeFile(dir + "out.script");
    for (size_t i = 0; i < played.size(); ++i)
        EXPECT_EQ(FormatScriptEvent(recorded[i]), FormatScriptEvent(played[i]));
}
