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

// One recorded round, made once: the MP4 at the setup file's size with every
// check, the WebM at a chosen size, and each format's bytes compared between
// two exports at a small size (the same replay gives the same file).
TEST_F(ReplayVideo, Mp4AndWebmHoldEveryFrameAt60FpsWithTheShotsHeardAndRepeatExactly) {
    ASSERT_FALSE(replayPath.empty());
    const std::string a = dir + "a.mp4";
    RunResult run = exportTo(a);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("frames/s"), std::string::npos) << "a progress bar on stderr";
    EXPECT_EQ(run.err.find("frame I:"), std::string::npos) << "no encoder statistics: " << run.err;
    // Every frame of play, then "Game Over" held for 1.5 s.
    const int frames = int(replay.frames.size()) + 90;
    EXPECT_EQ(probe(a, "v", "start_time"), "0.000000") << "the pictures start with the sound";
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

    const std::string w = dir + "a.webm";
    ASSERT_EQ(exportTo(w, {"--size", "320x240"}).status, 0);
    // WebM shifts every stream by the Opus encoder's lead-in (6.5 ms), within half a frame.
    EXPECT_LT(std::stod(probe(w, "v", "start_time")), 0.5 / 60);
    EXPECT_EQ(probe(w, "v", "codec_name"), "vp9");
    EXPECT_EQ(probe(w, "v", "r_frame_rate"), "60/1");
    EXPECT_EQ(probe(w, "v", "width"), "320");
    EXPECT_EQ(probe(w, "v", "height"), "240");
    EXPECT_EQ(probe(w, "v", "nb_read_frames"), std::to_string(frames));
    EXPECT_EQ(probe(w, "a", "codec_name"), "opus");
    EXPECT_GT(loudness(soundOf(w), shot / 60.0, shot / 60.0 + 0.5), 300);

    for (const char* ext : {".mp4", ".webm"}) {
        const std::string b = dir + "b" + ext, c = dir + "c" + ext;
        ASSERT_EQ(exportTo(b, {"--size", "64x48"}).status, 0) << ext;
        ASSERT_EQ(exportTo(c, {"--size", "64x48"}).status, 0) << ext;
        EXPECT_TRUE(ReadWholeFile(b) == ReadWholeFile(c)) << ext << ": the same file twice";
    }
}

// The name is checked before anything is loaded or played.
TEST(VideoRequest, BadVideoRequestsAreRefused) {
    const std::string dir = MakeFilesCopy("video-request"), replayPath = dir + "none.replay";
    // One rule for the name, however short: a bad --size after it is then the only complaint.
    for (const auto& [name, good] :
         std::vector<std::pair<std::string, bool>>{{"a.mp4", true},
                                                   {"ab.mp4", true},
                                                   {"a.webm", true},
                                                   {"x.avi", false},
                                                   {".mp4", false},
                                                   {"mp4", false},
                                                   {"a.mp4.txt", false}}) {
        RunResult run = RunGame({"--replay", replayPath, "--video", name, "--size", "9x9"});
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_EQ(run.err.find("--video needs a file ending") == std::string::npos, good) << name;
    }
    RunResult alone = RunGame({"--video", dir + "x.mp4", "--files", dir});
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("--video needs --replay FILE or --script FILE"), std::string::npos);
}

TEST(ScriptVideo, AScriptedSessionExportsAtTheVirtualClocksPace) {
    // Four virtual seconds from the first picture to the script's end.
    const std::string dir = MakeFilesCopy("script-video");
    WriteWholeFile(dir + "s.script", "0 mouse 640 480\n3500 press mouse1\n4000 end\n");
    RunResult run = RunGame({"--headless", "--script", dir + "s.script", "--seed", "3", "--files",
                             dir, "--video", dir + "s.mp4", "--size", "320x240"});
    EXPECT_EQ(run.status, 3) << run.err; // a script's end
    const int frames = std::stoi(probe(dir + "s.mp4", "v", "nb_read_frames"));
    EXPECT_NEAR(frames, 240, 6);
    EXPECT_EQ(probe(dir + "s.mp4", "v", "width"), "320");
}
