// fault_test.cpp - the game under bad conditions: a disk that fills up while
// saving, a process killed in the middle of a save, files that cannot be
// read or written, pictures, sounds and fonts that are missing, no sound
// device, corrupt setup, score and arrangement files, and inputs the fuzzers
// once found troublesome.
#include "music/music.h"
#include "platform/platform.h"
#include "platform/recording.h"
#include "platform/script.h"
#include "scores/scores.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A Files folder holding the game folder, which is current; the debug log open.
class Fault : public ::testing::Test {
  protected:
    std::string files, game;
    void SetUp() override {
        StartDoubles();
        files = MakeTempDir("fault");
        game = files + "251/";
        ASSERT_TRUE(MakeDir(game));
        ASSERT_TRUE(ChangeDir(game));
        shell.DebugLog = CreateTextFile(files + "Debug.txt");
        shell.AudioDriverList = AudioDriverNames();
        SetDefaultSettings();
        SetDefaultBindings();
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        ChangeDir("/");
        fs::remove_all(files);
    }
    std::vector<std::string> log() const { return ReadLinesOf(files + "Debug.txt"); }
};

// A round of the table with a timestamp that orders it.
Scores round(int64_t score, int64_t when, const std::string& name) {
    Scores s;
    s.Score = score;
    s.Timestamp = when;
    s.Name = name;
    s.GameMode = int(when % 3);
    for (int i = 1; i <= 30; ++i) s.Best[i] = int(when % 7) * i;
    return s;
}

// A table of n rounds whose names carry the tag.
std::list<Scores> table(int n, const std::string& tag) {
    std::list<Scores> t;
    for (int i = 0; i < n; ++i) t.push_back(round(1000 + i, 5000000 - i, tag + std::to_string(i)));
    return t;
}

// True when some line of the log starts with the text.
bool logged(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

// Bytes that look like nothing in particular, the same every time.
std::string junk(size_t n, uint32_t seed) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out += char(seed >> 24);
    }
    return out;
}

} // namespace

// ------------------------------------------------------------ saving fails

TEST_F(Fault, AFullDiskKeepsTheOldFilesAndTheRoundsInMemory) {
    scores.ScoreTable = table(2, "old");
    SaveScores();
    WriteSetupFile();
    const std::string oldScores = ReadWholeFile(game + "scores.dat");
    const std::string oldSetup = ReadWholeFile(files + "Setup.ini");
    ASSERT_FALSE(oldScores.empty());
    ASSERT_FALSE(oldSetup.empty());

    // Now both files would be well past the size limit that stands in for a
    // full disk (root ignores permissions, but not this limit).
    scores.ScoreTable = table(300, "new");
    for (int k = 0; k < 100; ++k) shell.ControlBindings[k] = 200 + k;
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    AddRoundScore(1);
    WriteSetupFile();
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(ReadWholeFile(game + "scores.dat"), oldScores);
    EXPECT_EQ(ReadWholeFile(files + "Setup.ini"), oldSetup);
    EXPECT_EQ(scores.ScoreTable.size(), 301u);
    EXPECT_EQ(scores.ScoreTable.front().Quit, 1) << "the new round comes first";
    EXPECT_EQ(CurrentDir() + "/", game) << "the writer goes back into the game folder";
    const auto lines = log();
    EXPECT_TRUE(logged(lines, "\tCould not save scores.dat: "));
    EXPECT_TRUE(logged(lines, "\tSetup file could not be written: "));
    // No half-written temporary file is left beside either file.
    EXPECT_EQ(FolderNames(game), std::vector<std::string>{"scores.dat"});
    EXPECT_EQ(FolderNames(files), (std::vector<std::string>{"251", "Debug.txt", "Setup.ini"}));

    // Once there is room again the same table is saved whole.
    SaveScores();
    scores = ScoreState{};
    LoadScores();
    EXPECT_EQ(scores.ScoreTable.size(), 301u);
}

// Saves alternately in a child process that is killed at many moments; the
// file must always hold one whole version. save(i) writes version i % 2.
template <class Save>
void killWhileSaving(const std::string& path, const std::string& a, const std::string& b,
                     Save save) {
    int olds = 0, news = 0;
    for (int trial = 1; trial <= 24; ++trial) {
        int done[2];
        ASSERT_EQ(pipe(done), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(done[0]);
            for (int i = 1;; ++i) {
                save(i);
                if (write(done[1], "x", 1) != 1) _exit(1);
            }
        }
        close(done[1]);
        // Let it finish a few saves, a different number each time, then kill
        // it wherever it is: usually in the middle of the next one.
        char c;
        for (int k = 0; k < 1 + trial % 5; ++k) ASSERT_EQ(read(done[0], &c, 1), 1);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(done[0]);
        ASSERT_TRUE(WIFSIGNALED(status));
        const std::string now = ReadWholeFile(path);
        ASSERT_TRUE(now == a || now == b) << "trial " << trial << ": " << now.size() << " bytes";
        (now == a ? olds : news)++;
    }
    EXPECT_EQ(olds + news, 24);
}

TEST_F(Fault, AKillInTheMiddleOfSavingScoresLeavesAWholeFile) {
    const std::list<Scores> first = table(3000, "a"), second = table(2500, "b");
    scores.ScoreTable = second;
    SaveScores();
    const std::string b = ReadWholeFile("scores.dat");
    scores.ScoreTable = first;
    SaveScores();
    const std::string a = ReadWholeFile("scores.dat");
    ASSERT_GT(a.size(), 100000u);
    killWhileSaving(game + "scores.dat", a, b, [&](int i) {
        scores.ScoreTable = i % 2 ? second : first;
        SaveScores();
    });
    scores = ScoreState{};
    LoadScores();
    EXPECT_TRUE(scores.ScoreTable.size() == 3000u || scores.ScoreTable.size() == 2500u);
}

TEST_F(Fault, AKillInTheMiddleOfWritingTheSetupFileLeavesAWholeFile) {
    WriteSetupFile();
    const std::string a = ReadWholeFile(files + "Setup.ini");
    for (int k = 0; k < 100; ++k) shell.ControlBindings[k] = 100 + k;
    shell.Settings[slot::Width] = 1440;
    WriteSetupFile();
    const std::string b = ReadWholeFile(files + "Setup.ini");
    ASSERT_NE(a, b);
    killWhileSaving(files + "Setup.ini", a, b, [&](int i) {
        if (i % 2) {
            SetDefaultBindings();
            shell.Settings[slot::Width] = 800;
        } else {
            for (int k = 0; k < 100; ++k) shell.ControlBindings[k] = 100 + k;
            shell.Settings[slot::Width] = 1440;
        }
        WriteSetupFile();
    });
}

// ------------------------------------------------------------ corrupt files

TEST_F(Fault, ASetupFileOfJunkKeepsTheDefaults) {
    // Junk with line breaks and zero bytes, but no "=" that could name a key.
    std::string bytes = junk(4000, 7);
    for (char& c : bytes)
        if (c == '=') c = '#';
    ASSERT_TRUE(WriteWholeFile(files + "Setup.ini", bytes));
    ASSERT_TRUE(ChangeDir(".."));
    ReadSetupFile();
    ASSERT_TRUE(ChangeDir(game));
    const int* s = shell.Settings;
    EXPECT_EQ(s[slot::Width], 800);
    EXPECT_EQ(s[slot::Height], 600);
    EXPECT_EQ(s[slot::Fullscreen], 0);
    EXPECT_EQ(s[slot::SlowSystem], 0);
    EXPECT_EQ(s[slot::MasterVolume], 50);
    EXPECT_EQ(shell.ControlBindings[0], 38);
    EXPECT_EQ(shell.ControlBindings[13], 86);
    const auto lines = log();
    EXPECT_TRUE(logged(lines, "\tReading Setup File"));
    EXPECT_TRUE(logged(lines, "\tSetup Loaded"));
}

TEST_F(Fault, AScoresFileCutOffInTheMiddleKeepsEveryWholeRound) {
    scores.ScoreTable = table(3, "r");
    SaveScores();
    std::string whole = ReadWholeFile("scores.dat");
    // Cut inside the third round's first line: it keeps what it has, Best all 0.
    const size_t third = whole.find("1002|r2|");
    ASSERT_NE(third, std::string::npos);
    ASSERT_TRUE(WriteWholeFile("scores.dat", whole.substr(0, third + 11)));
    scores = ScoreState{};
    LoadScores();
    ASSERT_EQ(scores.ScoreTable.size(), 3u);
    const Scores& last = scores.ScoreTable.back();
    EXPECT_EQ(last.Score, 1002);
    EXPECT_EQ(last.Name, "r2");
    EXPECT_EQ(last.Timestamp, 4);
    for (int i = 0; i <= 30; ++i) EXPECT_EQ(last.Best[i], 0);
    EXPECT_EQ(scores.ScoreTable.front().Best[30], round(1000, 5000000, "").Best[30]);

    // Junk with no "|" in it is no round at all, and the name stays.
    std::string bytes = junk(5000, 3);
    for (char& c : bytes)
        if (c == '|') c = '!';
    ASSERT_TRUE(WriteWholeFile("scores.dat", bytes));
    scores.PlayerName = "Kept";
    LoadScores();
    EXPECT_TRUE(scores.ScoreTable.empty());
    EXPECT_EQ(scores.PlayerName, "Kept");
}

TEST_F(Fault, AnArrangementOfJunkAndOverlongSectionsPlaysWithinItsTables) {
    ASSERT_TRUE(MakeDir("music"));
    // A section with far more lines than are kept, junk, and a header cut short.
    std::ostringstream text;
    text << "[MELODY]\nSTRETCH=DOUBLE\n";
    for (int i = 0; i < 1500; ++i) text << "\"q w " << i << "\"\n";
    text << junk(3000, 11) << "\n[BASS\n\"\"\n\"\"\"\n";
    ASSERT_TRUE(WriteWholeFile("music/junk.ini", text.str()));
    StartMusic("junk", 5, 200);
    EXPECT_EQ(music.MusicPlaying, 1);
    EXPECT_EQ(music.PatternCount[SectionMelody], MaxPatternLines);
    EXPECT_EQ(music.PatternLines[SectionMelody][MaxPatternLines], "q w 997");
    EXPECT_EQ(music.StretchMode[SectionMelody], -2);
    EXPECT_EQ(music.PatternCount[SectionBass], 2);
    EXPECT_EQ(music.PatternLines[SectionBass][2], "");
    for (int step = 0; step < 300; ++step) {
        SleepMillis(100);
        MusicTick();
        ASSERT_GE(music.StepIndex, -1);
        ASSERT_LT(music.StepIndex, 64);
    }
    EXPECT_GE(music.StepIndex, 0) << "the track went on playing";
    StopMusic();
    EXPECT_EQ(OpenChannelCount(), 0);
}

// ------------------------------------------------------------ found by fuzzing

TEST(FuzzFound, ScriptNumbersPastWhatAFloatHoldsAreRefused) {
    // "1e300" is a finite double but no finite float: it used to become an
    // infinite mouse position, which the game then turned into whole pixels.
    std::vector<ScriptEvent> events;
    std::string error;
    EXPECT_FALSE(ParseScript("0 mouse 640 1e300\n", "s", events, error));
    EXPECT_EQ(error, "s:1: mouse needs X Y");
    EXPECT_FALSE(ParseScript("0 joy 1 hat 1e39\n", "s", events, error));
    // Finite floats too far out for a whole pixel are refused as well.
    EXPECT_FALSE(ParseScript("5 mouse 3e9 0\n", "s", events, error));
    EXPECT_EQ(error, "s:1: mouse X Y must lie within -1000000 and 1000000");
    ASSERT_TRUE(ParseScript("5 mouse -1000000 1e6\n", "s", events, error)) << error;
    EXPECT_EQ(FormatScriptEvent(events[0]), "5 mouse -1000000 1000000");
}

TEST(FuzzFound, ARoundFarBelowZeroSitsAtTheFootOfTheScoreGraph) {
    // A scores.dat round of -9223372036854775808 points against a best of 5:
    // the bar height overflowed while being worked out.
    StartDoubles();
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60));
    SetLogicalSize(1280, 960);
    scores.ScoreTable = {round(5, 2000, "Top"), round(INT64_MIN, 1000, "Low")};
    scores.ScoreTable.back().GameMode = scores.ScoreTable.front().GameMode = 0;
    ClearRecordedDraws();
    ScorePanel(320, 0, 0, 0);
    // The line from the older round's point to the newer one's.
    const float foot = 960 - 10 + 1000000, top = 960 - 10 - 150;
    bool found = false;
    for (const DrawRecord& d : RecordedDraws())
        found = found || (d.kind == DrawKind::Line && d.y == foot && d.h == top);
    EXPECT_TRUE(found);
}

TEST(FuzzFound, AWaveWhoseDataIsShorterThanOneSampleIsRefused) {
    // One byte of 16-bit sound: the loader was left with no bytes at all and
    // copied from a null buffer (the sanitizer build stops on that).
    StartDoubles();
    const std::string dir = MakeTempDir("fault-wav");
    auto u16 = [](int v) { return std::string{char(v & 255), char(v >> 8)}; };
    auto u32 = [&](int v) { return u16(v & 0xffff) + u16(v >> 16); };
    const std::string fmt = u16(1) + u16(1) + u32(8000) + u32(16000) + u16(2) + u16(16);
    ASSERT_TRUE(WriteWholeFile(dir + "short.wav", "RIFF" + u32(37) + "WAVEfmt " + u32(16) + fmt +
                                                      "data" + u32(1) + std::string(1, '\0')));
    EXPECT_EQ(LoadSound(dir + "short.wav"), 0);
    EXPECT_NE(PlatformError().find("holds no samples"), std::string::npos) << PlatformError();
    // Two bytes are one whole sample and load.
    ASSERT_TRUE(WriteWholeFile(dir + "one.wav", "RIFF" + u32(38) + "WAVEfmt " + u32(16) + fmt +
                                                    "data" + u32(2) + std::string(2, '\x10')));
    EXPECT_NE(LoadSound(dir + "one.wav"), 0) << PlatformError();
    fs::remove_all(dir);
}

// ------------------------------------------------------------ the whole game

namespace {

// Title screen, Escape, a key on the closing page.
const char* const LeaveScript = "7000 down 27\n7100 up 27\n7300 down 65\n7400 up 65\n9000 end\n";

} // namespace

TEST(FaultRun, TheGameRunsWithoutPicturesSoundsAndFontsAndSaysWhatIsMissing) {
    const std::string dir = MakeFilesCopy("fault-bare");
    // Every font and music stem gone; the other pictures and sounds replaced by junk.
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) paths.push_back(entry.path());
    for (const fs::path& path : paths) {
        const std::string ext = path.extension().string();
        if (ext == ".ttf" ||
            (ext == ".wav" && path.string().find("/music/") != std::string::npos)) {
            fs::remove(path);
        } else if (ext == ".png" || ext == ".wav") {
            ASSERT_TRUE(WriteWholeFile(path.string(), junk(700, 13)));
        }
    }
    const RunResult run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, 0) << run.err << ReadWholeFile(dir + "Debug.txt");
    const auto lines = ReadLinesOf(dir + "Debug.txt");
    for (const char* file :
         {"SVBasicManual.ttf", "Blue Highway.ttf", "Acknowledge TT BRK.ttf", "icons.png",
          "logo.png", "Palvex.png", "badgeget.wav", "badges.png", "001.wav", "gfx.png"}) {
        EXPECT_TRUE(logged(lines, std::string("\tCould not load ") + file + " : ")) << file;
    }
    EXPECT_TRUE(logged(lines, "Sounds loaded"));
    EXPECT_TRUE(PathExists(dir + "Setup.ini")) << "the closing page was reached";
}

TEST(FaultRun, FilesThatCannotBeReadOrWrittenLeaveTheGameRunning) {
    const std::string dir = MakeFilesCopy("fault-blocked");
    // Folders standing where the files must go: as root, permissions would
    // not stop anything, but a folder can be neither read as text nor replaced.
    fs::remove(dir + "Setup.ini");
    fs::remove(dir + "251/scores.dat");
    ASSERT_TRUE(fs::create_directory(dir + "Setup.ini"));
    ASSERT_TRUE(fs::create_directory(dir + "251/scores.dat"));
    const RunResult run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = ReadLinesOf(dir + "Debug.txt");
    EXPECT_TRUE(logged(lines, "\tSetup file could not be read, keeping the defaults: "));
    EXPECT_TRUE(logged(lines, "\tCould not read scores.dat: "));
    EXPECT_TRUE(logged(lines, "\tSetup file could not be written: "));
    EXPECT_TRUE(logged(lines, "\tCould not save scores.dat: "));
    EXPECT_TRUE(fs::is_directory(dir + "Setup.ini"));
    EXPECT_TRUE(fs::is_directory(dir + "251/scores.dat"));
}

TEST(FaultRun, CorruptSetupAndScoresFilesGiveDefaults) {
    const std::string dir = MakeFilesCopy("fault-corrupt");
    ASSERT_TRUE(WriteWholeFile(dir + "Setup.ini",
                               "Width=\xff\xfe\nHeight=$zz\nKey=7\nKey=,\n" + junk(3000, 5)));
    ASSERT_TRUE(WriteWholeFile(dir + "251/scores.dat", junk(3000, 9) + "\n5|Bob\n"));
    ASSERT_TRUE(WriteWholeFile(dir + "251/crash.dat", junk(100, 2)));
    const RunResult run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = ReadLinesOf(dir + "Debug.txt");
    EXPECT_TRUE(logged(lines, "\tSetup Loaded"));
    // The unreadable sizes became 0, then the size the display really used.
    const auto setup = ReadLinesOf(dir + "Setup.ini");
    ASSERT_FALSE(setup.empty());
    EXPECT_EQ(setup[0], "[Graphics]");
    EXPECT_NE(std::find(setup.begin(), setup.end(), "Width=800"), setup.end());
    const std::string saved = ReadWholeFile(dir + "251/scores.dat");
    EXPECT_NE(saved.find("5|Bob|0|0|0|0|0|0\r\n"), std::string::npos) << saved.size();
}

TEST(FaultRun, WithoutASoundDeviceTheGamePlaysSilently) {
    const std::string dir = MakeFilesCopy("fault-nosound");
    // No OpenAL back-end by this name exists, so no device can be opened.
    setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
    const RunResult run = RunScripted(dir, LeaveScript);
    unsetenv("ALSOFT_DRIVERS");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("no sound device: playing silently"), std::string::npos) << run.err;
    const auto setup = ReadLinesOf(dir + "Setup.ini");
    EXPECT_NE(std::find(setup.begin(), setup.end(), "AudioDriver = OpenAL"), setup.end())
        << "the file keeps naming the driver it asked for";
}
