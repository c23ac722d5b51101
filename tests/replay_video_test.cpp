// replay_video_test.cpp - a replay exported with "--video": the file opens in
// ffprobe at 60 frames a second with every frame of play and the held "Game
// Over", its sound is silent until the first shot and loud where shots are
// fired, the same replay gives the same bytes again (MP4 and WebM), --size
// sets the picture, and a scripted session exports too.
#include "game/game.h"
#include "game/replay.h"
#include "platform/platform.h"
#include "support/fixture.h"
#include "support/run.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Runs a shell command and returns what it printed.
std::string capture(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}

// "key=value" from ffprobe's flat output of one stream ("" when absent).
std::string probe(const std::string& file, const std::string& stream, const std::string& key) {
    std::string out =
        capture("ffprobe -v error -count_frames -select_streams " + stream +
                " -show_entries stream=" + key + " -of default=nw=1:nk=1 '" + file + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// The sound as mono 16-bit samples at 48 kHz.
std::vector<int16_t> soundOf(const std::string& file) {
    std::string raw = capture("ffmpeg -v error -i '" + file + "' -f s16le -ac 1 -ar 48000 -");
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
}

// Root mean square of the samples between two moments in seconds.
double loudness(const std::vector<int16_t>& s, double from, double to) {
    size_t a = size_t(from * 48000), b = std::min(s.size(), size_t(to * 48000));
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += double(s[i]) * s[i];
    return b > a ? std::sqrt(sum / double(b - a)) : 0;
}

// The first frame (from 1) after which a bullet flies: the first shot.
int firstShot(const Replay& replay) {
    StartDoubles();
    BeginReplayRound(replay);
    int shot = 0;
    for (size_t i = 0; i < replay.frames.size() && shot == 0; ++i) {
        StepReplayRound(replay, i);
        if (!game.Bullets.empty()) shot = int(i) + 1;
    }
    EndReplayRound();
    return shot;
}

class ReplayVideo : public ::testing::Test {
  protected:
    static std::string dir, replayPath;
    static Replay replay;
    // One live round with shooting, shared by the cases.
    static void SetUpTestSuite() {
        dir = MakeFilesCopy("replay-video");
        WriteWholeFile(dir + "run.script", ShootingRoundScript());
        RunResult run = RunGame({"--headless", "--script", dir + "run.script", "--seed", "7",
                                 "--start-time", "2026-12-07 18:05:09", "--files", dir});
        for (const auto& e : std::filesystem::directory_iterator(dir + "251/replays"))
            replayPath = e.path().string();
        std::string error;
        if (!LoadReplay(replayPath, replay, error)) replayPath.clear();
    }
    RunResult exportTo(const std::string& out, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"--replay", replayPath, "--video", out, "--files", dir};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunGame(args);
    }
};
std::string ReplayVideo::dir, ReplayVideo::replayPath;
Replay ReplayVideo::replay;

} // namespace

TEST_F(ReplayVideo, Mp4HasEveryFrameAt60FpsSoundAtTheShotsAndTheSameBytesTwice) {
    ASSERT_FALSE(replayPath.empty());
    const std::string a = dir + "a.mp4", b = dir + "b.mp4";
    RunResult run = exportTo(a);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("frames/s"), std::string::npos) << "a progress bar on stderr";
    // Every frame of play, then "Game Over" held for 1.5 s.
    const int frames = int(replay.frames.size()) + 90;
    EXPECT_EQ(probe(a, "v", "codec_name"), "h264");
    EXPECT_EQ(probe(a, "v", "r_frame_rate"), "60/1");
    EXPECT_EQ(probe(a, "v", "nb_read_frames"), std::to_string(frames));
    EXPECT_NEAR(std::stod(probe(a, "v", "duration")), frames / 60.0, 0.001);
    EXPECT_EQ(probe(a, "v", "width"), "800"); // the setup file's display size
    EXPECT_EQ(probe(a, "v", "height"), "600");
    EXPECT_EQ(probe(a, "a", "codec_name"), "aac");

    const int shot = firstShot(replay);
    ASSERT_GT(shot, 30);
    std::vector<int16_t> sound = soundOf(a);
    EXPECT_LT(loudness(sound, 0, (shot - 10) / 60.0), 30) << "nothing sounds before the first shot";
    EXPECT_GT(loudness(sound, shot / 60.0, shot / 60.0 + 0.5), 300) << "the shots are heard";

    ASSERT_EQ(exportTo(b).status, 0);
    EXPECT_TRUE(ReadWholeFile(a) == ReadWholeFile(b)) << "the same replay gives the same file";
}

TEST_F(ReplayVideo, WebmAtAChosenSizeIsVp9AndOpusAndTheSameBytesTwice) {
    ASSERT_FALSE(replayPath.empty());
    const std::string a = dir + "a.webm", b = dir + "b.webm";
    ASSERT_EQ(exportTo(a, {"--size", "320x240"}).status, 0);
    EXPECT_EQ(probe(a, "v", "codec_name"), "vp9");
    EXPECT_EQ(probe(a, "v", "r_frame_rate"), "60/1");
    EXPECT_EQ(probe(a, "v", "width"), "320");
    EXPECT_EQ(probe(a, "v", "height"), "240");
    EXPECT_EQ(probe(a, "v", "nb_read_frames"), std::to_string(replay.frames.size() + 90));
    EXPECT_EQ(probe(a, "a", "codec_name"), "opus");
    const int shot = firstShot(replay);
    EXPECT_GT(loudness(soundOf(a), shot / 60.0, shot / 60.0 + 0.5), 300);
    ASSERT_EQ(exportTo(b, {"--size", "320x240"}).status, 0);
    EXPECT_TRUE(ReadWholeFile(a) == ReadWholeFile(b));
}

TEST_F(ReplayVideo, BadVideoRequestsAreRefused) {
    EXPECT_EQ(RunGame({"--replay", replayPath, "--video", dir + "x.avi"}).status, 2);
    EXPECT_EQ(RunGame({"--replay", replayPath, "--video", dir + "x.mp4", "--size", "9x9"}).status,
              2);
    RunResult alone = RunGame({"--video", dir + "x.mp4", "--files", dir});
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("--video needs --replay FILE or --script FILE"), std::string::npos);
}

TEST(ScriptVideo, AScriptedSessionExportsAtTheVirtualClocksPace) {
    // Ten virtual seconds from the first picture to the script's end.
    const std::string dir = MakeFilesCopy("script-video");
    WriteWholeFile(dir + "s.script", "0 mouse 640 480\n6000 press mouse1\n10000 end\n");
    RunResult run = RunGame({"--headless", "--script", dir + "s.script", "--seed", "3", "--files",
                             dir, "--video", dir + "s.mp4", "--size", "320x240"});
    EXPECT_EQ(run.status, 3) << run.err; // a script's end
    const int frames = std::stoi(probe(dir + "s.mp4", "v", "nb_read_frames"));
    EXPECT_NEAR(frames, 600, 6);
    EXPECT_EQ(probe(dir + "s.mp4", "v", "width"), "320");
}
