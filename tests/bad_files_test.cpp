// bad_files_test.cpp - folders and files that are not what the game expects:
// a files or game folder that cannot be used, saves that fail, special files
// (pipes, devices) and huge files in place of the game's own, a script read
// from a pipe, and symbolic links planted where the log goes.
#include "app/app.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"
#include "ui/ui.h"

#include <filesystem>
#include <gtest/gtest.h>

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

// The names in a folder, sorted.
std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
    EXPECT_EQ(listing(outer), std::vector<std::string>{"top"});
    EXPECT_EQ(listing(outer + "top"), std::vector<std::string>{"files"});
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
    EXPECT_EQ(listing(here), std::vector<std::string>{"blocked"}) << "no log, setup or scores";
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
    EXPECT_EQ(listing(outer), std::vector<std::string>{"elsewhere"});
    EXPECT_EQ(listing(outer + "elsewhere"), std::vector<std::string>{"Debug.txt"});
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
