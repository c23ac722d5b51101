// replay_run_test.cpp - rounds played live by the real program on a script
// leave a replay beside the score table, and "--replay FILE --headless" plays
// it back to the record's score, the same frame count and the same state in
// every frame (the checksum log), also across a pause, a settings-panel Apply
// that changes the display size, and "Quit", and for rounds played with the
// clock set back. Bad replays are refused.
#include "game/replay.h"
#include "platform/platform.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace {

struct LiveRound {
    std::string dir, replay, record;
    std::vector<std::string> checksums;
};

// Plays the script live with a checksum log and finds the replay it left.
LiveRound playLive(const std::string& tag, const std::string& script) {
    LiveRound live;
    live.dir = MakeFilesCopy(tag);
    WriteWholeFile(live.dir + "run.script", script);
    RunResult run = RunGame({"--headless", "--script", live.dir + "run.script", "--seed", "7",
                             "--start-time", "2026-12-07 18:05:09", "--files", live.dir,
                             "--checksums", live.dir + "live.sums"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(live.dir + "251/replays"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names.size(), 1u);
    if (!names.empty()) live.replay = live.dir + "251/replays/" + names[0];
    std::vector<std::string> table = ReadLinesOf(live.dir + "251/scores.dat");
    EXPECT_EQ(table.size(), 2u);
    if (!table.empty()) live.record = table[0];
    live.checksums = ReadLinesOf(live.dir + "live.sums");
    return live;
}

// The record's score field.
std::string scoreOf(const std::string& record) {
    return FieldOf(record, "|", 1);
}

// Plays the replay headless with its own checksum log, checks it against the
// live round, and returns the replay read back.
Replay checkReplayMatches(const LiveRound& live) {
    RunResult run =
        RunGame({"--replay", live.replay, "--headless", "--checksums", live.dir + "replay.sums"});
    EXPECT_EQ(run.status, 0) << run.err;
    // One "round" line, then one line per frame.
    const size_t frames = live.checksums.size() - 1;
    EXPECT_EQ(run.out,
              "replay: score " + scoreOf(live.record) + ", frames " + std::to_string(frames) + "\n")
        << "a replay that does not give its record's score is a determinism fault";
    std::vector<std::string> replayed = ReadLinesOf(live.dir + "replay.sums");
    EXPECT_EQ(replayed.size(), live.checksums.size());
    for (size_t i = 0; i < std::min(replayed.size(), live.checksums.size()); ++i)
        if (replayed[i] != live.checksums[i]) {
            ADD_FAILURE() << "the replayed round parts from the live one at line " << i + 1 << ": "
                          << live.checksums[i] << " live, " << replayed[i] << " replayed";
            break;
        }
    Replay replay;
    std::string error;
    EXPECT_TRUE(LoadReplay(live.replay, replay, error)) << error;
    EXPECT_EQ(replay.frames.size(), frames);
    return replay;
}

} // namespace

TEST(ReplayRun, AShootingRoundReplaysToItsScoreFramesAndEveryFramesState) {
    LiveRound live = playLive("replay-shoot", ShootingRoundScript());
    ASSERT_FALSE(live.replay.empty());
    EXPECT_GT(std::stoll(scoreOf(live.record)), 0) << "the figure should have scored";
    EXPECT_EQ(FieldOf(live.record, "|", 8), "0") << "the figure dies: not a quit";
    // The replay's name belongs to this record: its timestamp comes first.
    EXPECT_EQ(std::filesystem::path(live.replay)
                  .filename()
                  .string()
                  .rfind(FieldOf(live.record, "|", 4) + "-", 0),
              0u);
    Replay replay = checkReplayMatches(live);
    EXPECT_EQ(replay.gameVersion, "1.0.0");
    EXPECT_LT(std::filesystem::file_size(live.replay), 4000u);
}

TEST(ReplayRun, PauseSettingsApplyWithANewDisplaySizeAndQuitReplayTheSame) {
    // Escape opens the pause menu at 10 s and continues at 10.6 s (the pause
    // reseeds the generator from the clock); at 14 s Tab opens the settings
    // panel, three Right presses over the resolution pick a 16:10 mode and a
    // click on "Apply" re-opens the display (engine test and all); at 20 s the
    // pause menu is opened again and "Quit" chosen.
    const std::string extra = "10000 down 27\n10100 up 27\n10600 down 27\n10700 up 27\n"
                              "14000 press 9\n14500 mouse 100 110\n14600 press 39\n"
                              "14700 press 39\n14800 press 39\n14900 mouse 30 285\n"
                              "15000 down mouse1\n15100 up mouse1\n"
                              "20000 down 27\n20100 up 27\n20500 down 40\n20600 up 40\n"
                              "21000 down 27\n21100 up 27\n";
    LiveRound live = playLive("replay-pause", ShootingRoundScript(extra, 14000, 15500));
    ASSERT_FALSE(live.replay.empty());
    EXPECT_EQ(FieldOf(live.record, "|", 8), "1") << "the round ends through \"Quit\"";
    EXPECT_NE(ReadWholeFile(live.dir + "Debug.txt").find("Widescreen mode B"), std::string::npos)
        << "the display should have been re-applied at 16:10";
    Replay replay = checkReplayMatches(live);
    int reseeds = 0, sizes = 0;
    for (const ReplayFrame& f : replay.frames) {
        reseeds += f.setsRandom;
        if (f.setsSize) {
            ++sizes;
            EXPECT_EQ(f.width, 1440);
            EXPECT_EQ(f.height, 900);
        }
    }
    EXPECT_GE(reseeds, 2) << "the pause's reseeding and the engine test's draws are in it";
    EXPECT_EQ(sizes, 1);
    ASSERT_FALSE(replay.frames.empty());
    EXPECT_TRUE(replay.frames.back().quit);
}

TEST(ReplayRun, BadReplaysAreRefusedWithAReasonAndStatusTwo) {
    LiveRound live = playLive("replay-bad", ShootingRoundScript());
    ASSERT_FALSE(live.replay.empty());
    const std::string good = ReadWholeFile(live.replay);
    struct Case {
        std::string name, bytes, reason;
    };
    std::string otherFormat = good, otherGame = good, damaged = good;
    otherFormat[8] = 9;
    otherGame[13] = '9'; // "1.0.0" becomes "1.9.0"
    for (size_t i = good.size() / 2; i < good.size(); i += 7) damaged[i] ^= 0x5A;
    const std::vector<Case> cases = {
        {"picture.zpr", ReadWholeFile(live.dir + "251/gfx.png"), "not a replay file"},
        {"empty.zpr", "", "not a replay file"},
        {"cut.zpr", good.substr(0, good.size() / 2), "truncated replay"},
        {"header.zpr", good.substr(0, 11), "truncated replay"},
        {"format.zpr", otherFormat, "format version 9"},
        {"game.zpr", otherGame, "version \"1.9.0\""},
        {"damaged.zpr", damaged, "corrupt replay"},
    };
    for (const Case& c : cases) {
        WriteWholeFile(live.dir + c.name, c.bytes);
        RunResult run = RunGame({"--replay", live.dir + c.name, "--headless"});
        EXPECT_EQ(run.status, 2) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.name;
    }
    RunResult missing = RunGame({"--replay", live.dir + "nothing.zpr", "--headless"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
}

// Each refusal or failure with its documented status and a reason, none of
// them waiting: a pipe is refused unopened, a round that never ends is a
// divergence (headless or into a video), a files folder without the game
// folder is status 4, a video that cannot be written 6, and a record that
// cannot be written is said at start.
TEST(ReplayRun, HostileFilesAndFailuresEndWithTheDocumentedStatus) {
    const std::string dir = MakeFilesCopy("replay-status");
    Replay idle; // 30 frames of nothing: the round is still going at the end
    idle.gameVersion = GameVersion;
    idle.frames.resize(30);
    WriteWholeFile(dir + "idle.zpr", EncodeReplay(idle));
    ASSERT_EQ(mkfifo((dir + "pipe.zpr").c_str(), 0600), 0);
    std::filesystem::create_directory(dir + "empty");
    WriteWholeFile(dir + "end.script", "0 end\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string reason;
    };
    const std::string diverged = "had not ended after all 30 recorded frames";
    const Case cases[] = {
        {{"--replay", dir + "pipe.zpr", "--headless"}, 2, "not a regular file"},
        {{"--replay", dir + "idle.zpr", "--headless"}, 5, diverged},
        {{"--replay", dir + "idle.zpr", "--video", dir + "v.webm", "--size", "64x48", "--files",
          dir},
         5,
         diverged},
        {{"--replay", dir + "idle.zpr", "--video", dir + "v.webm", "--files", dir + "empty"},
         4,
         "no game folder"},
        {{"--replay", dir + "idle.zpr", "--video", dir + "none/v.webm", "--files", dir},
         6,
         "none/v.webm"},
        {{"--headless", "--script", dir + "end.script", "--record", "/dev/full", "--files", dir},
         1,
         "cannot write the input record /dev/full"},
    };
    for (const Case& c : cases) {
        RunResult run = RunGame(c.args, "", 120);
        EXPECT_EQ(run.status, c.status) << c.args[1] << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.args[1] << ": " << run.err;
    }
}

TEST(ReplayRun, TheScorePanelsWatchReplayLinePlaysTheRoundsReplayAfterARestart) {
    LiveRound live = playLive("replay-watch", ShootingRoundScript());
    ASSERT_FALSE(live.replay.empty());
    // A new start pairs the replay with its record again. On the title, a
    // click on the table's first row keeps that round selected; a click on
    // "Watch replay" in its detail box plays the replay (some 17 s of virtual
    // time with "Game Over"), then Escape on the title closes the game.
    WriteWholeFile(live.dir + "watch.script", "0 mouse 640 480\n6000 mouse 1000 530\n"
                                              "6100 down mouse1\n6200 up mouse1\n"
                                              "6400 mouse 1264 512\n6500 down mouse1\n"
                                              "6600 up mouse1\n32000 down 27\n32300 up 27\n"
                                              "33500 press 32\n50000 end\n");
    RunResult run = RunGame(
        {"--headless", "--script", live.dir + "watch.script", "--seed", "3", "--files", live.dir});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string log = ReadWholeFile(live.dir + "Debug.txt");
    const std::string name = std::filesystem::path(live.replay).filename().string();
    EXPECT_NE(log.find("Watching the replay " + name), std::string::npos) << log;
    EXPECT_EQ(log.find("Could not play the replay"), std::string::npos);
    EXPECT_TRUE(PathExists(live.replay)) << "watching keeps the replay";
}

TEST(ReplayRun, RoundsPlayedWithTheClockSetBackEachKeepTheirOwnReplayAfterARestart) {
    // The second round ends at an earlier time than the first: its record is
    // not the newest of the table, and its replay must still be its own.
    const std::string dir = MakeFilesCopy("clock-back");
    const std::pair<const char*, std::string> rounds[] = {
        {"2026-12-07 18:05:09", ShootingRoundScript()},
        {"2026-12-07 09:30:00", ShootingRoundScript("", 8400, 14000)}};
    for (const auto& [moment, script] : rounds) {
        WriteWholeFile(dir + "run.script", script);
        RunResult run = RunGame({"--headless", "--script", dir + "run.script", "--seed", "7",
                                 "--start-time", moment, "--files", dir});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    // A restart pairs the replays with the records again and removes orphans.
    WriteWholeFile(dir + "leave.script", "7000 down 27\n7100 up 27\n7300 press 65\n9000 end\n");
    RunResult restart = RunGame({"--headless", "--script", dir + "leave.script", "--files", dir});
    ASSERT_EQ(restart.status, 0) << restart.err;
    const std::vector<std::string> table = ReadLinesOf(dir + "251/scores.dat");
    const std::vector<std::string> files = FolderNames(dir + "251/replays");
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(files.size(), 2u);
    for (size_t i = 0; i < table.size(); i += 2) {
        const std::string stamp = FieldOf(table[i], "|", 4) + "-";
        auto own = std::find_if(files.begin(), files.end(),
                                [&](const std::string& f) { return f.rfind(stamp, 0) == 0; });
        ASSERT_NE(own, files.end()) << "no replay for " << table[i];
        RunResult run = RunGame({"--replay", dir + "251/replays/" + *own, "--headless"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.rfind("replay: score " + scoreOf(table[i]) + ",", 0), 0u)
            << run.out << " for " << table[i];
    }
}
