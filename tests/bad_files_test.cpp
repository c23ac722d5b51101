// bad_files_test.cpp - folders and files that are not what the game expects:
// a files or game folder that cannot be used, saves that fail, special files
// (pipes, devices) and huge files in place of the game's own, a script read
// from a pipe, symbolic links planted where the game writes, a score table
// not read whole, and a second copy of the game on the same files folder.
#include "app/app.h"
#include "app/cmdline.h"
#include "platform/platform.h"
#include "platform/script.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"
#include "ui/ui.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Title screen, Escape, a key on the closing page.
const char* const LeaveScript = "7000 down 27\n7100 up 27\n7300 down 65\n7400 up 65\n9000 end\n";

// True when some line of the file starts with the text.
bool logged(const std::string& path, const std::string& start) {
    for (const std::string& line : ReadLinesOf(path))
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

} // namespace

// ------------------------------------------------------------ unusable folders

TEST(BadFolders, AGameFolderThatIsAFileStopsTheGameWithoutWritingOutside) {
    // <outer>/top/files/ with "251" a plain file: nothing may land in top/ or outer/.
    const std::string outer = MakeTempDir("badgame");
    fs::create_directories(outer + "top");
    const std::string files = outer + "top/files/";
    fs::rename(MakeFilesCopy("badgame-pack"), files);
    fs::remove_all(files + "251");
    ASSERT_TRUE(WriteWholeFile(files + "251", "not a folder"));

    const RunResult run = RunScripted(files, LeaveScript);
    EXPECT_EQ(run.status, ExitFilesFolderUnusable) << run.err;
    EXPECT_NE(run.err.find("cannot use the game folder"), std::string::npos) << run.err;
    EXPECT_TRUE(logged(files + "Debug.txt", "\tCannot use the game folder "));
    EXPECT_EQ(FolderNames(outer), std::vector<std::string>{"top"});
    EXPECT_EQ(FolderNames(outer + "top"), std::vector<std::string>{"files"});
    EXPECT_FALSE(PathExists(files + "Setup.ini"));
    EXPECT_FALSE(PathExists(files + "scores.dat"));
    EXPECT_EQ(ReadWholeFile(files + "251"), "not a folder");
    fs::remove_all(outer);
}

TEST(BadFolders, AFilesFolderThatCannotBeEnteredWritesNothing) {
    StartDoubles();
    const std::string here = MakeTempDir("badfiles");
    ASSERT_TRUE(ChangeDir(here));
    ASSERT_TRUE(WriteWholeFile(here + "blocked", "a file where the folder should be"));
    shell.FilesDir = here + "blocked/";
    int status = -1;
    try {
        StartUp();
    } catch (const ProcessEnded& end) {
        status = end.status;
    }
    EXPECT_EQ(status, ExitFilesFolderUnusable);
    EXPECT_EQ(FolderNames(here), std::vector<std::string>{"blocked"}) << "no log, setup or scores";
    ChangeDir("/");
    fs::remove_all(here);
    PlatformShutdown();
}

TEST(BadFolders, SavesOutsideTheGameFolderNeverClimbOutOfAnUnknownFolder) {
    // The current folder is not a game folder and start-up never said where
    // the files folder is: the setup file and a screenshot go nowhere.
    StartDoubles();
    const std::string outer = MakeTempDir("noclimb");
    fs::create_directories(outer + "elsewhere");
    ASSERT_TRUE(ChangeDir(outer + "elsewhere/"));
    shell.DebugLog = CreateTextFile(outer + "elsewhere/Debug.txt");
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60));
    SetLogicalSize(1280, 960);
    WriteSetupFile();
    TakeScreenshot();
    CloseTextFile(shell.DebugLog);
    EXPECT_EQ(FolderNames(outer), std::vector<std::string>{"elsewhere"});
    EXPECT_EQ(FolderNames(outer + "elsewhere"), std::vector<std::string>{"Debug.txt"});
    EXPECT_TRUE(logged(outer + "elsewhere/Debug.txt", "\tSetup file not written: "));
    ASSERT_FALSE(frame.Notices.empty());
    EXPECT_EQ(frame.Notices.back().txt, "Screenshot failed");

    // Once start-up knows the files folder, both land there from the game folder.
    fs::create_directories(outer + "files/251");
    ASSERT_TRUE(ChangeDir(outer + "files/251/"));
    shell.FilesPath = outer + "files/";
    WriteSetupFile();
    EXPECT_TRUE(PathExists(outer + "files/Setup.ini"));
    EXPECT_EQ(CurrentDir() + "/", outer + "files/251/");
    ChangeDir("/");
    fs::remove_all(outer);
    PlatformShutdown();
}

// ------------------------------------------------------------ saves and big files

namespace {

// A Files folder holding the game folder, which is current; the debug log open.
class BadFiles : public ::testing::Test {
  protected:
    std::string files, game;
    void SetUp() override {
        StartDoubles();
        files = MakeTempDir("badfiles");
        game = files + "251/";
        ASSERT_TRUE(MakeDir(game));
        ASSERT_TRUE(ChangeDir(game));
        shell.DebugLog = CreateTextFile(files + "Debug.txt");
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        ChangeDir("/");
        fs::remove_all(files);
        PlatformShutdown();
    }
    bool saysLog(const std::string& start) const { return logged(files + "Debug.txt", start); }
    // Two rounds as the file holds them.
    static std::string twoRounds() {
        std::string best = "0";
        for (int i = 2; i <= 30; ++i) best += "|0";
        return "20|Ann|0|5000|0|0|0|0\r\n" + best + "\r\n10|Bob|0|4000|0|1|0|0\r\n" + best + "\r\n";
    }
};

} // namespace

TEST_F(BadFiles, AFailedScoreSaveTellsThePlayerAndTheNextSaveRetries) {
    ASSERT_TRUE(WriteWholeFile(game + "scores.dat", twoRounds()));
    LoadScores();
    ASSERT_EQ(scores.ScoreTable.size(), 2u);
    // A folder where the file must go cannot be replaced (as root, permissions would not stop it).
    fs::remove(game + "scores.dat");
    fs::create_directory(game + "scores.dat");
    AddRoundScore(0);
    ASSERT_FALSE(frame.Notices.empty());
    EXPECT_EQ(frame.Notices.back().txt, "Could not save scores");
    EXPECT_TRUE(saysLog("\tCould not save scores.dat: "));
    EXPECT_EQ(scores.ScoreTable.size(), 3u) << "the rounds stay in memory";

    fs::remove(game + "scores.dat");
    frame.Notices.clear();
    SaveScores();
    EXPECT_TRUE(frame.Notices.empty());
    scores.ScoreTable.clear();
    LoadScores();
    EXPECT_EQ(scores.ScoreTable.size(), 3u) << "the retry wrote every round";
}

TEST_F(BadFiles, TextReadersStopAtTheCapAndKeepOnlyWholeLines) {
    const std::string path = game + "capped.txt";
    ASSERT_TRUE(WriteWholeFile(path, "a\nbb\nccc"));
    std::vector<std::string> lines;
    bool cut = true;
    ASSERT_TRUE(ReadTextLines(path, lines, &cut, 8)); // exactly the file's size
    EXPECT_FALSE(cut);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "bb", "ccc"}));
    ASSERT_TRUE(ReadTextLines(path, lines, &cut, 7)); // "ccc" is cut short: dropped
    EXPECT_TRUE(cut);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "bb"}));
    ASSERT_TRUE(ReadTextLines(path, lines, &cut, 5)); // the cap falls right after a LF
    EXPECT_TRUE(cut);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "bb"}));
    ASSERT_TRUE(ReadTextLines(path, lines, &cut, 0));
    EXPECT_TRUE(cut);
    EXPECT_TRUE(lines.empty());
}

TEST_F(BadFiles, AScoresFileOverTheCapIsKeptAsideNotSavedOver) {
    // Two rounds, then (sparse) zeros far past the cap.
    const std::string path = game + "scores.dat";
    ASSERT_TRUE(WriteWholeFile(path, twoRounds()));
    const auto size = std::uintmax_t(TextReadCap) + (std::uintmax_t(1) << 20);
    fs::resize_file(path, size);
    LoadScores();
    EXPECT_EQ(scores.ScoreTable.size(), 2u);
    EXPECT_TRUE(saysLog("\tscores.dat is larger than "));

    AddRoundScore(0);
    EXPECT_TRUE(saysLog("\tscores.dat was too large to read whole: kept it as scores.dat.full"));
    ASSERT_TRUE(PathExists(path + ".full"));
    EXPECT_EQ(fs::file_size(path + ".full"), size) << "the original is whole";
    scores.ScoreTable.clear();
    LoadScores();
    EXPECT_EQ(scores.ScoreTable.size(), 3u);
    EXPECT_FALSE(scores.FileCut);

    // A second cut file takes the next free name.
    fs::resize_file(path, size);
    LoadScores();
    SaveScores();
    EXPECT_EQ(fs::file_size(path + ".full2"), size);
    EXPECT_EQ(fs::file_size(path + ".full"), size);

    // Whole rounds up to just under the cap, then one more: what the game
    // saves back after the cut read stays readable whole, and no start
    // afterwards keeps yet another copy aside.
    const std::string big =
        "1|" + std::string(TextReadCap / 2 - 50, 'n') + "|0|7000|0|0|0|0\r\n\r\n";
    ASSERT_TRUE(WriteWholeFile(path, big + big + twoRounds()));
    EXPECT_FALSE(LoadScores());
    AddRoundScore(0);
    ASSERT_TRUE(PathExists(path + ".full3"));
    EXPECT_LE(fs::file_size(path), std::uintmax_t(TextReadCap));
    for (int start = 0; start < 2; ++start) {
        scores = ScoreState{};
        EXPECT_TRUE(LoadScores());
        SaveScores();
    }
    EXPECT_FALSE(PathExists(path + ".full4"));
    EXPECT_GT(scores.ScoreTable.front().Timestamp, 7000) << "the new round is kept";
}

TEST_F(BadFiles, AFailedReplaySaveTellsThePlayerAndTheNextSaveRetries) {
    ASSERT_TRUE(WriteWholeFile(game + "scores.dat", twoRounds()));
    LoadScores();
    ASSERT_TRUE(WriteWholeFile(game + ReplayFolder, "a file where the folder goes"));
    Scores& ann = scores.ScoreTable.front();
    EXPECT_FALSE(StoreReplay(ann, "ann's round"));
    ASSERT_FALSE(frame.Notices.empty());
    EXPECT_EQ(frame.Notices.back().txt, "Could not save the replay");
    EXPECT_TRUE(ann.Replay.empty());

    // The folder is mended; the next save retries.
    fs::remove(game + ReplayFolder);
    frame.Notices.clear();
    SaveScores();
    EXPECT_TRUE(frame.Notices.empty());
    ASSERT_FALSE(ann.Replay.empty());
    EXPECT_EQ(ReadWholeFile(game + ReplayFolder + "/" + ann.Replay), "ann's round");
    EXPECT_TRUE(scores.PendingReplays.empty());
}

// ------------------------------------------------------------ the whole game

namespace {

// The first line of the log that mentions both texts, "" when none does.
std::string logLineWith(const std::string& log, const std::string& a, const std::string& b) {
    for (const std::string& line : ReadLinesOf(log))
        if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return line;
    return "";
}

} // namespace

TEST(BadFilesRun, PipesAndDevicesInPlaceOfTheGamesFilesAreRefusedNotWaitedOn) {
    const std::string dir = MakeFilesCopy("special");
    // A pipe nobody writes to, or the endless /dev/zero, where a file should be.
    const std::vector<std::string> fifos = {"Setup.ini", "251/gfx.png", "Common/logo.png",
                                            "Common/Blue Highway.ttf"};
    const std::vector<std::string> zeros = {"251/scores.dat", "251/001.wav"};
    for (const std::string& name : fifos) {
        fs::remove(dir + name);
        ASSERT_EQ(mkfifo((dir + name).c_str(), 0644), 0) << name;
    }
    for (const std::string& name : zeros) {
        fs::remove(dir + name);
        fs::create_symlink("/dev/zero", dir + name);
    }
    // Hanging on any of them gets the run killed (status 142) long before the
    // test's own time runs out.
    ASSERT_TRUE(WriteWholeFile(dir + "run.script", LeaveScript));
    const RunResult run = RunGame({"--headless", "--script", dir + "run.script", "--seed", "1",
                                   "--start-time", "2026-12-07 18:05:09", "--files", dir},
                                  "", 120);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string log = dir + "Debug.txt";
    for (const char* name :
         {"Setup", "gfx.png", "logo.png", "Blue Highway.ttf", "scores.dat", "001.wav"})
        EXPECT_NE(logLineWith(log, name, "not a regular file"), "") << name;
    fs::remove_all(dir);
}

TEST(BadFilesRun, LeftoverSavesGoPlantedLinksAreNotFollowedAndASecondCopyIsRefused) {
    const std::string outer = MakeTempDir("planted");
    const std::string dir = outer + "files/";
    fs::rename(MakeFilesCopy("planted-pack"), dir);
    ASSERT_TRUE(WriteWholeFile(outer + "victim", "keep me"));
    // Saves and screenshots killed half-way, and names that only look like them.
    fs::create_directory(dir + "251/replays");
    const std::vector<std::pair<std::string, bool>> names = {{".save-Ab12Cd", false},
                                                             {"251/.save-xY9876", false},
                                                             {".save-short", true},
                                                             {"251/a.save-Ab12Cd", true},
                                                             {"251/replays/.save-Qw3rT5", false},
                                                             {"Shot (x).png.k7Lm2P", false},
                                                             {"Shot.png.k7Lm2", true},
                                                             {"Shot.png", true}};
    for (const auto& [name, stays] : names) ASSERT_TRUE(WriteWholeFile(dir + name, "1|half"));
    fs::create_symlink(outer + "victim", dir + "251/crash.dat");

    RunResult run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, 0) << run.err;
    for (const auto& [name, stays] : names) EXPECT_EQ(PathExists(dir + name), stays) << name;
    EXPECT_TRUE(logged(dir + "Debug.txt", "\tRemoved an unfinished save: " + dir + ".save-Ab12Cd"));
    EXPECT_NE(logLineWith(dir + "Debug.txt", "crash.dat", "symbolic link"), "");
    EXPECT_EQ(ReadWholeFile(outer + "victim"), "keep me");

    // A link planted for the replays folder: nothing in the folder it names is touched.
    fs::create_directory(outer + "elsewhere");
    ASSERT_TRUE(WriteWholeFile(outer + "elsewhere/1-00000000.zpr", "not the game's"));
    fs::remove_all(dir + "251/replays");
    fs::create_symlink(outer + "elsewhere", dir + "251/replays");
    run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadWholeFile(outer + "elsewhere/1-00000000.zpr"), "not the game's");
    EXPECT_TRUE(logged(dir + "Debug.txt", "\tThe replays folder is a link or no folder"));

    // The log itself planted as a link: refused, said on stderr, the game still runs.
    fs::remove(dir + "Debug.txt");
    fs::create_symlink(outer + "victim", dir + "Debug.txt");
    run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Debug.txt: it is a symbolic link"), std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(outer + "victim"), "keep me");
    EXPECT_TRUE(fs::is_symlink(dir + "Debug.txt"));

    // A second copy of the game on the same files folder is refused before it writes.
    ASSERT_EQ(LockForRun(dir + RunLockName), LockResult::Taken);
    fs::remove(dir + "Debug.txt");
    run = RunScripted(dir, LeaveScript);
    EXPECT_EQ(run.status, ExitFilesFolderUnusable);
    EXPECT_NE(run.err.find("another copy of the game is running"), std::string::npos) << run.err;
    EXPECT_FALSE(PathExists(dir + "Debug.txt"));
    fs::remove_all(outer);
}

TEST(BadFilesRun, AScoreTableNotReadWholeRemovesNoReplay) {
    // Either way the orphan's record may be among the rounds not read.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a folder", "folder"}, {"over the read cap", "big"}, {"cut before, kept aside", "aside"}};
    for (const auto& [what, kind] : cases) {
        const std::string dir = MakeFilesCopy("unread");
        fs::create_directories(dir + "251/replays");
        const std::string orphan = dir + "251/replays/65150070000-0badf00d.zpr";
        ASSERT_TRUE(WriteWholeFile(orphan, "a round"));
        if (kind == "folder") fs::create_directory(dir + "251/scores.dat");
        const std::string text = kind == "big" ? std::string(TextReadCap + 10, '1') : "1|A";
        if (kind != "folder")
            WriteWholeFile(dir + (kind == "big" ? "251/scores.dat" : "251/scores.dat.full"), text);
        RunResult run = RunScripted(dir, LeaveScript);
        EXPECT_EQ(run.status, 0) << what << run.err;
        EXPECT_TRUE(PathExists(orphan)) << what;
        fs::remove_all(dir);
    }
}

// ------------------------------------------------------------ the command line

namespace {

// Runs ParseCommandLine over the words (the program name is added).
int parse(std::vector<std::string> words, PlatformConfig& config) {
    words.insert(words.begin(), "zorvek-plon");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    std::string filesDir;
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), config, filesDir);
}

} // namespace

TEST(BadCommandLine, ImpossibleMomentsAndUnwritableRecordsAreRefused) {
    for (const char* moment : {"2026-13-45 99:99:99", "2026-00-10 10:00:00", "2026-02-29 10:00:00",
                               "2026-04-31 10:00:00", "2026-12-00 10:00:00", "2026-12-07 24:00:00",
                               "2026-12-07 23:60:00", "2026-12-07 23:59:60"}) {
        PlatformConfig config;
        EXPECT_EQ(parse({"--start-time", moment}, config), 2) << moment;
    }
    for (const char* moment :
         {"2024-02-29 23:59:59", "2000-02-29 00:00:00", "2026-12-31 00:00:00"}) {
        PlatformConfig config;
        EXPECT_EQ(parse({"--start-time", moment}, config), -1) << moment;
    }

    const std::string dir = MakeTempDir("record");
    ASSERT_TRUE(WriteWholeFile(dir + "afile", "x"));
    for (const std::string& place : {dir + "afile/rec.script", dir, dir + "missing/rec.script"}) {
        PlatformConfig config;
        EXPECT_EQ(parse({"--record", place}, config), 2) << place;
    }
    PlatformConfig config;
    EXPECT_EQ(parse({"--record", dir + "rec.script"}, config), -1);
    // The real program says so with the status of a bad command line, not of a missing display.
    const RunResult run = RunGame({"--headless", "--record", dir + "afile/rec.script"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("--record: cannot write"), std::string::npos) << run.err;
    fs::remove_all(dir);
}

TEST(BadCommandLine, AScriptFromAPipeIsReadOnceAndPlayedAsChecked) {
    const std::string dir = MakeFilesCopy("pipe");
    const std::string fifo = dir + "script.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // The pipe is written once, as a shell's "game --script /dev/stdin < file" would be.
    std::thread writer([&] {
        FILE* f = std::fopen(fifo.c_str(), "wb");
        if (!f) return;
        std::fputs(LeaveScript, f);
        std::fclose(f);
    });
    const RunResult run = RunGame({"--headless", "--script", fifo, "--seed", "1", "--start-time",
                                   "2026-12-07 18:05:09", "--files", dir},
                                  "", 120);
    writer.join();
    // Escape on the title screen and a key on the closing page end the run normally.
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(logged(dir + "Debug.txt", "Play again, soon!!"));

    // What was checked is what is played: the parsed events travel with the configuration.
    ASSERT_TRUE(WriteWholeFile(dir + "plain.script", "100 press 27\n200 end\n"));
    PlatformConfig config;
    ASSERT_EQ(parse({"--script", dir + "plain.script"}, config), -1);
    ASSERT_TRUE(config.scriptEvents);
    EXPECT_EQ(config.scriptEvents->size(), 2u);
    fs::remove_all(dir);
}
