// replay_test.cpp - the replay file and its bookkeeping in-process: packing
// and reading back every kind of frame, refusing cut or damaged files
// without crashing, the size of a long round, recording through the round's
// own frames, and which replay file belongs to which score record (names,
// pairing at start, removal with pruned records and of orphans).
#include "game/game.h"
#include "game/replay.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// A replay with every flag used and pointer moves large and small.
Replay sampleReplay() {
    Replay r;
    r.gameVersion = GameVersion;
    r.gameMode = 2;
    r.width = 1600;
    r.height = 900;
    r.random = 0x0123456789ABCDEFULL;
    for (int i = 0; i < 500; ++i) {
        ReplayFrame f;
        f.input.mouseX = (i % 7 == 0) ? -999999 + i : 640 + (i % 13) * 3;
        f.input.mouseY = (i % 11 == 0) ? 999999 - i : 480 - (i % 5);
        f.input.left = i % 3 == 0;
        f.input.right = i % 4 == 0;
        f.input.noticeKey = i == 17;
        f.setsRandom = i % 97 == 5;
        f.random = 0xFFFFFFFFFFFFFFFFULL - uint64_t(i);
        f.setsSize = i == 250;
        if (f.setsSize) f.width = 1280, f.height = 960;
        r.frames.push_back(f);
    }
    r.frames.back().quit = true;
    return r;
}

void expectSame(const Replay& a, const Replay& b) {
    EXPECT_EQ(a.gameVersion, b.gameVersion);
    EXPECT_EQ(a.gameMode, b.gameMode);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.random, b.random);
    ASSERT_EQ(a.frames.size(), b.frames.size());
    for (size_t i = 0; i < a.frames.size(); ++i) {
        const ReplayFrame &x = a.frames[i], &y = b.frames[i];
        EXPECT_TRUE(x.input.mouseX == y.input.mouseX && x.input.mouseY == y.input.mouseY &&
                    x.input.left == y.input.left && x.input.right == y.input.right &&
                    x.input.noticeKey == y.input.noticeKey && x.quit == y.quit &&
                    x.setsRandom == y.setsRandom && x.setsSize == y.setsSize)
            << "frame " << i;
        if (x.setsRandom) {
            EXPECT_EQ(x.random, y.random) << "frame " << i;
        }
        if (x.setsSize) {
            EXPECT_TRUE(x.width == y.width && x.height == y.height) << "frame " << i;
        }
    }
}

} // namespace

TEST(ReplayFile, EveryKindOfFrameReadsBackTheSame) {
    const Replay r = sampleReplay();
    Replay back;
    std::string error;
    ASSERT_TRUE(DecodeReplay(EncodeReplay(r), back, error)) << error;
    expectSame(r, back);
}

TEST(ReplayFile, CutDamagedAndForeignFilesAreRefusedWithoutCrashing) {
    const std::string good = EncodeReplay(sampleReplay());
    Replay back;
    std::string error;
    for (size_t n = 0; n < good.size(); ++n) {
        EXPECT_FALSE(DecodeReplay(good.substr(0, n), back, error)) << "cut at " << n;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(DecodeReplay(good + "x", back, error)) << "a byte after the stream";
    // Flipping any single byte after the header is caught (zlib's checksum
    // covers the frames) or yields a replay that still decodes sanely.
    int refused = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = char(bad[i] ^ 0x21);
        if (!DecodeReplay(bad, back, error)) ++refused;
    }
    EXPECT_EQ(refused, int(good.size())) << "every damaged byte should be noticed";

    Replay quitEarly = sampleReplay();
    quitEarly.frames[10].quit = true;
    EXPECT_FALSE(DecodeReplay(EncodeReplay(quitEarly), back, error));
    EXPECT_NE(error.find("frame 11"), std::string::npos) << error;

    Replay noFrames = sampleReplay();
    noFrames.frames.clear();
    EXPECT_FALSE(DecodeReplay(EncodeReplay(noFrames), back, error));

    Replay badMode = sampleReplay();
    badMode.gameMode = 3;
    EXPECT_FALSE(DecodeReplay(EncodeReplay(badMode), back, error));
}

namespace {

// A replay file around a hand-made body, packed by zlib and so passing its
// checksum: what a hostile file can hold. claimed is the unpacked length the
// header gives (the body's own when negative).
std::string packedFile(const std::string& body, const std::string& version = GameVersion,
                       int64_t claimed = -1) {
    std::string file =
        std::string("ZPREPLAY") + char(ReplayFormatVersion) + '\0' + char(version.size()) + version;
    const uint64_t length = claimed < 0 ? body.size() : uint64_t(claimed);
    for (int i = 0; i < 4; ++i) file += char(length >> (8 * i));
    return file + CompressBytes(body);
}

// A round header (Easy, 1280 x 960, generator 0) and a frame count as varint.
std::string roundHeader(uint64_t frames) {
    std::string body = std::string("\0\x00\x05\xC0\x03", 5) + std::string(8, '\0');
    for (; frames >= 0x80; frames >>= 7) body += char(frames | 0x80);
    return body + char(frames);
}

} // namespace

TEST(ReplayFile, HostileBodiesAreRefusedBeforeTheirFramesAreMade) {
    const std::string idle = std::string(MaxReplayFrames, '\0');
    struct Case {
        const char* what;
        std::string file, reason;
    };
    const Case cases[] = {
        {"a valid round of idle frames", packedFile(roundHeader(3) + std::string(3, '\0')), ""},
        {"2^60 frames claimed", packedFile(roundHeader(uint64_t(1) << 60) + "\0"),
         "more than it holds"},
        {"more frames than a round can have",
         packedFile(roundHeader(idle.size() + 1) + idle + '\0'), "more than a round can have"},
        {"an unpacked length past any round",
         packedFile(roundHeader(1) + '\0', GameVersion, 40 << 20), "more than a round can have"},
        {"a byte after the last frame", packedFile(roundHeader(2) + std::string(3, '\0')),
         "bytes after the last frame"},
        {"control characters in the version", packedFile(roundHeader(1), "1.0\x1b[2J\a"),
         "version \"1.0?[2J?\""},
    };
    for (const Case& c : cases) {
        Replay back;
        std::string error;
        const bool read = DecodeReplay(c.file, back, error);
        EXPECT_EQ(read, c.reason.empty()) << c.what << ": " << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        for (char ch : error) EXPECT_GE(ch, ' ') << c.what << ": control character in the message";
    }
}

TEST(ReplayFile, TenMinutesOfBusyPlayStayWellUnderAMegabyte) {
    // The pointer moves every frame and the buttons change often: a player far
    // busier than most, for 36000 frames.
    Replay r;
    r.gameVersion = GameVersion;
    uint64_t seed = 12345;
    int x = 640, y = 480;
    for (int i = 0; i < 36000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        x += int((seed >> 33) % 41) - 20;
        y += int((seed >> 45) % 41) - 20;
        ReplayFrame f;
        f.input.mouseX = x;
        f.input.mouseY = y;
        f.input.left = (i / 30) % 2 == 0;
        f.input.right = (i / 45) % 3 != 0;
        r.frames.push_back(f);
    }
    r.frames.back().quit = true;
    const std::string bytes = EncodeReplay(r);
    EXPECT_LT(bytes.size(), 200u * 1024) << "bytes: " << bytes.size();
    Replay back;
    std::string error;
    ASSERT_TRUE(DecodeReplay(bytes, back, error)) << error;
    EXPECT_EQ(back.frames.back().input.mouseX, x);
}

class ReplayRecording : public ::testing::Test {
  protected:
    std::string dir;
    // Starts the doubles with a script that clicks, fires and presses the
    // notice key now and then.
    void SetUp() override {
        dir = MakeTempDir("replay");
        std::string script = "0 press 49\n";
        for (int t = 0; t < 20000; t += 500)
            script += std::to_string(t) + " down mouse1\n" + std::to_string(t + 100) +
                      " up mouse1\n" + std::to_string(t + 150) + " down mouse2\n" +
                      std::to_string(t + 450) + " up mouse2\n";
        WriteWholeFile(dir + "input.script", script);
        PlatformConfig config;
        config.scriptPath = dir + "input.script";
        StartDoubles(config);
        ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
        SetLogicalSize(1280, 960);
        ASSERT_TRUE(ChangeDir(dir));
        shell.DebugLog = CreateTextFile(dir + "Debug.txt");
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
    }
};

TEST_F(ReplayRecording, ARoundRecordedFrameByFramePlaysBackToTheSameStates) {
    // The round's own frames (no EndFrame) with input that walks, clicks and
    // fires; between frames something outside the round draws random numbers
    // and the logical size changes once, as a re-applied display would.
    SeedRandom(99);
    shell.GameMode = 1;
    BeginRound();
    std::vector<uint64_t> live;
    int outsideDraws = 0;
    for (int i = 0; i < 900 && game.Over == 0; ++i) {
        SleepMillis(16); // takes in the script's events due by now
        // Clicks go to the newest gun post, shots at the first enemy.
        frame.FrameMouseX = 200 + (i * 7) % 900;
        frame.FrameMouseY = 150 + (i * 3) % 600;
        if (IsMouseDown(1) && !game.GunPosts.empty()) {
            frame.FrameMouseX = int(game.GunPosts.front().x);
            frame.FrameMouseY = int(game.GunPosts.front().y);
        } else if (!IsMouseDown(1) && !game.Enemies.empty()) {
            frame.FrameMouseX = int(game.Enemies.front().x);
            frame.FrameMouseY = int(game.Enemies.front().y);
        }
        if (i == 300) {
            display.VirtualWidth = 1600;
            display.VirtualHeight = 900;
        }
        if (i % 100 == 50) {
            RandomInt(0, 1000); // an outside draw
            ++outsideDraws;
        }
        RoundUpdate();
        live.push_back(RoundChecksum());
    }
    EXPECT_GT(live.size(), 300u) << "the size change should fall inside the round";
    EXPECT_GT(game.RoundScore, 0) << "the round should have some shooting in it";
    const Replay recorded = RecordedReplay();
    ASSERT_EQ(recorded.frames.size(), live.size());
    int noted = 0, left = 0, right = 0, sizes = 0;
    for (const ReplayFrame& f : recorded.frames) {
        noted += f.setsRandom;
        left += f.input.left;
        right += f.input.right;
        sizes += f.setsSize;
    }
    EXPECT_EQ(noted, outsideDraws) << "each outside draw is noted once, nothing else";
    EXPECT_EQ(sizes, live.size() > 300 ? 1 : 0);
    EXPECT_GT(left, 0);
    EXPECT_GT(right, 0);
    EXPECT_TRUE(recorded.frames[0].input.noticeKey);

    // Played back through a file, from another generator state and size.
    Replay replay;
    std::string error;
    ASSERT_TRUE(DecodeReplay(EncodeReplay(recorded), replay, error)) << error;
    SeedRandom(1);
    display.VirtualWidth = 1440;
    BeginReplayRound(replay);
    for (size_t i = 0; i < replay.frames.size(); ++i) {
        StepReplayRound(replay, i);
        ASSERT_EQ(RoundChecksum(), live[i]) << "frame " << i + 1;
    }
    EndReplayRound();
    EXPECT_EQ(display.VirtualWidth, live.size() > 300 ? 1600 : 1280);

    // Without the noted outside draws the round goes elsewhere: the notes matter.
    Replay unnoted = replay;
    for (ReplayFrame& f : unnoted.frames) f.setsRandom = false;
    BeginReplayRound(unnoted);
    bool parted = false;
    for (size_t i = 0; i < unnoted.frames.size() && !parted; ++i) {
        StepReplayRound(unnoted, i);
        parted = RoundChecksum() != live[i];
    }
    EndReplayRound();
    EXPECT_TRUE(parted);
}

// A record of the shown combination (Easy) with a score and a timestamp.
Scores roundRecord(int64_t score, int64_t timestamp, const std::string& name = "Ann") {
    Scores s;
    s.Score = score;
    s.Timestamp = timestamp;
    s.Name = name;
    return s;
}

// Writes a replay file for the record under a fresh name and notes it.
void giveReplay(Scores& s) {
    MakeDir(ReplayFolder);
    s.Replay = NewReplayName(s);
    ASSERT_TRUE(WriteFileAtomic(std::string(ReplayFolder) + "/" + s.Replay, "r"));
}

TEST_F(ReplayRecording, EqualRoundsOfOneSecondGetTheirOwnFilesPairedAgainAtStart) {
    const int64_t t = 65150071535;
    scores.ScoreTable = {roundRecord(10, t), roundRecord(10, t), roundRecord(11, t),
                         roundRecord(10, t, " Ann ")};
    for (Scores& s : scores.ScoreTable) giveReplay(s);
    auto it = scores.ScoreTable.begin();
    const std::string base = ReplayBaseName(*it);
    EXPECT_EQ(base.rfind("65150071535-", 0), 0u);
    EXPECT_EQ(it++->Replay, base + ".zpr");
    EXPECT_EQ(it++->Replay, base + "-2.zpr") << "an equal round of the same second";
    EXPECT_NE(it++->Replay.rfind(base, 0), 0u) << "another score, another name";
    EXPECT_EQ(it->Replay, base + "-3.zpr") << "the name reads back trimmed from scores.dat";

    // A replay nobody owns, and another file, in the folder; then "a restart".
    WriteFileAtomic(std::string(ReplayFolder) + "/65150070000-0badf00d.zpr", "r");
    WriteFileAtomic(std::string(ReplayFolder) + "/notes.txt", "mine");
    SaveScores();
    scores = ScoreState{};
    LoadScores();
    AttachReplays(true);
    std::vector<std::string> names;
    for (const Scores& s : scores.ScoreTable) names.push_back(s.Replay);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end()) << "one file per record";
    for (const std::string& n : names) EXPECT_FALSE(n.empty());
    EXPECT_FALSE(FileExists(std::string(ReplayFolder) + "/65150070000-0badf00d.zpr"))
        << "an orphan replay is removed at start";
    EXPECT_TRUE(FileExists(std::string(ReplayFolder) + "/notes.txt"));
}

TEST_F(ReplayRecording, PrunedRecordsTakeTheirReplaysWithThem) {
    // 60 Easy rounds, newest first, scores rising with age: the 10 oldest are
    // among the 25 best and stay; nothing else past the 50th is kept.
    const int64_t t = 65150071535;
    for (int i = 0; i < 60; ++i)
        scores.ScoreTable.push_back(roundRecord(i < 50 ? 1 : 100 + i, t - i));
    for (Scores& s : scores.ScoreTable) giveReplay(s);
    // Ten more, older and low: pruned.
    for (int i = 0; i < 10; ++i) {
        scores.ScoreTable.push_back(roundRecord(0, t - 100 - i));
        giveReplay(scores.ScoreTable.back());
    }
    std::vector<std::string> all;
    for (const Scores& s : scores.ScoreTable) all.push_back(s.Replay);
    ScorePanel(320, 0, 0, 0);
    EXPECT_EQ(scores.ScoreTable.size(), 60u);
    size_t kept = 0;
    for (const std::string& name : all) {
        bool inTable = false;
        for (const Scores& s : scores.ScoreTable) inTable = inTable || s.Replay == name;
        EXPECT_EQ(FileExists(std::string(ReplayFolder) + "/" + name), inTable) << name;
        kept += inTable;
    }
    EXPECT_EQ(kept, 60u);
}
