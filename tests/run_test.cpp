// run_test.cpp - scripted runs of the real game binary, headless on the virtual
// clock: the start-up log, the setup file as read and as written back, the
// crash marker, sizes no display offers, leaving from the title screen and the
// command line itself.
#include "support/fixture.h"
#include "support/run.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Title screen reached (about 5 s of virtual time with the engine test), then
// Escape, then a key on the closing page.
const char* const EscapeScript = "7000 down 27\n"
                                 "7100 up 27\n"
                                 "7300 down 65\n"
                                 "7400 up 65\n"
                                 "9000 end\n";

// Index of the first line at or after from equal to text, or -1.
int findLine(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& text) {
    return findLine(lines, text) >= 0;
}

// The value written after "AudioDriver = " and the names listed as comments.
std::string valueAfter(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    return "<missing>";
}

} // namespace

TEST(Run, EscapeOnTitleClosesWithStartUpLogAndSetupFile) {
    // The files folder and the script are given relative to the caller's folder.
    std::string dir = MakeFilesCopy("run-escape");
    std::string parent = dir.substr(0, dir.size() - 1);
    std::string name = parent.substr(parent.rfind('/') + 1);
    parent = parent.substr(0, parent.rfind('/'));
    WriteWholeFile(dir + "run.script", EscapeScript);
    RunResult run = RunGame(
        {"--headless", "--script", name + "/run.script", "--seed", "1", "--files", name}, parent);
    ASSERT_EQ(run.status, 0) << run.err;
    auto log = ReadLinesOf(dir + "Debug.txt");
    const std::vector<std::string> heading = {"Brannoch's Quorvat Engine",
                                              "----------------------------",
                                              "Week #251",
                                              "----------------------------",
                                              "#251 : Zorvek Plon",
                                              "----------------------------",
                                              "",
                                              "Loading",
                                              "Setting Audio Driver"};
    ASSERT_GE(log.size(), heading.size());
    EXPECT_TRUE(std::equal(heading.begin(), heading.end(), log.begin()));
    // The rest of start-up, in order (other lines may come between these).
    const std::vector<std::string> order = {"Set Audio Driver",
                                            "\tRequested Resolution : 800x600",
                                            "\tSetup Loaded",
                                            "Grabbing Previous Scores",
                                            "-=-=-=-=-=-=-=-=-=-=-=-=-=-",
                                            "Applying Graphical Settings",
                                            "\tUsing OpenGL Driver",
                                            "\tResolution : 800x600,0",
                                            "Loading : Common Objects",
                                            "Switching to Default Folder",
                                            "\tDefault Fonts",
                                            "\tDefault Icons",
                                            "\tLogos",
                                            "\tBadgeGet",
                                            "Switching to Game Folder",
                                            "Loading Sound effects",
                                            "Sounds loaded",
                                            "Starting Engine Test",
                                            "-=-=-=-=-=-=-=-=-=-=-=-=-=-",
                                            "Finished Loading",
                                            "Closing Up",
                                            "Bye!",
                                            "Play again, soon!!"};
    int at = 0;
    for (const auto& line : order) {
        int found = findLine(log, line, at);
        ASSERT_GE(found, 0) << "missing or out of order: [" << line << "]";
        at = found + 1;
    }
    // A fresh pack has no setup file: nothing read, and no re-apply happened.
    EXPECT_FALSE(hasLine(log, "\tReading Setup File"));
    EXPECT_FALSE(hasLine(log, "\tChanged Graphics Mode ingame."));
    // The default window is 4:3, so neither widescreen line appears.
    EXPECT_FALSE(hasLine(log, "\tWidescreen mode!"));
    auto setup = ReadLinesOf(dir + "Setup.ini");
    ASSERT_FALSE(setup.empty());
    EXPECT_EQ(setup[0], "[Graphics]");
    EXPECT_TRUE(hasLine(setup, "Width=800"));
    EXPECT_FALSE(PathExists(dir + "251/crash.dat"));
    // Nothing is written outside the files folder.
    EXPECT_EQ(run.out, "");
}

// One run for the setup file's forgiving reader, the crash marker and a size
// that no display offers: each shows in the file written at close.
TEST(Run, SetupFileCrashMarkerAndUnofferedSizeShowInFileWrittenAtClose) {
    std::string dir = MakeFilesCopy("run-setup");
    WriteWholeFile(dir + "Setup.ini", "[Graphics]\r\n"
                                      "Fullscreen = 1\r\n"
                                      "GFX Engine = DX 9\r\n"
                                      "Width = -1000\n"
                                      "Height=700\r\n"
                                      "\r\n"
                                      "[Audio]\r\n"
                                      "Master = 250\r\n"
                                      "AudioDriver = No Such Driver\r\n"
                                      "[Controls]\r\n"
                                      "Key=-3,65\r\n"
                                      "Key=100,66\r\n"
                                      "Key=0,87\r\n");
    WriteWholeFile(dir + "251/crash.dat", ""); // as if the last run died opening the display
    RunResult run = RunScripted(dir, EscapeScript);
    ASSERT_EQ(run.status, 0) << run.err;
    auto log = ReadLinesOf(dir + "Debug.txt");
    EXPECT_TRUE(hasLine(log, "\tReading Setup File"));
    EXPECT_TRUE(hasLine(log, "\tRequested Resolution : 1000x700"));
    // The marker replaces OpenGL by DirectX 9; "DX 9" in the file selected nothing.
    EXPECT_TRUE(hasLine(log, "\tUsing DirectX 9 Driver"));
    EXPECT_FALSE(hasLine(log, "\tUsing OpenGL Driver"));
    EXPECT_FALSE(hasLine(log, "\tDirectX 9 Mode"));
    // 1000 x 700 is offered by no display: the default size is used and stored.
    EXPECT_TRUE(hasLine(log, "\tResolution : 800x600,0"));
    EXPECT_FALSE(PathExists(dir + "251/crash.dat")); // this run ended cleanly

    auto setup = ReadLinesOf(dir + "Setup.ini");
    EXPECT_TRUE(hasLine(setup, "Fullscreen = False"));
    EXPECT_TRUE(hasLine(setup, "GFX Engine = DX9"));
    EXPECT_TRUE(hasLine(setup, "Width=800"));
    EXPECT_TRUE(hasLine(setup, "Height=600"));
    EXPECT_TRUE(hasLine(setup, "Master = 250"));
    EXPECT_TRUE(hasLine(setup, "Sound = 50"));
    EXPECT_TRUE(hasLine(setup, "Key=3,65"));
    EXPECT_TRUE(hasLine(setup, "Key=0,87"));
    EXPECT_FALSE(hasLine(setup, "Key=100,66"));
    EXPECT_FALSE(hasLine(setup, "Key=0,38")); // the default of slot 0 was replaced
    EXPECT_TRUE(hasLine(setup, "Key=8,40"));  // untouched defaults stay
    // An unknown driver name leaves driver 0: the first of the listed names.
    EXPECT_EQ(valueAfter(setup, "AudioDriver = "), valueAfter(setup, "; AudioDriver = "));
    // No slow-system line unless the engine test found the machine slow.
    EXPECT_EQ(hasLine(setup, "ESS=1 ; This is a slow system, and things must run a wee bit "
                             "slower for it.  Awww.."),
              hasLine(log, "Settings Overwritten, Set to Default Lower Limits at 30fps."));
}

TEST(Run, TabOnTitleWritesSetupFileWithoutClosing) {
    std::string dir = MakeFilesCopy("run-tab");
    // Two Tab presses on the title screen, then the script ends without closing:
    // the only writer of "Setup.ini" that can have run is the Tab key.
    RunResult run = RunScripted(dir, "6000 press 9\n6500 press 9\n7000 end\n");
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_FALSE(run.err.empty()); // the platform says where the script ended
    auto setup = ReadLinesOf(dir + "Setup.ini");
    ASSERT_FALSE(setup.empty());
    EXPECT_EQ(setup[0], "[Graphics]");
    EXPECT_FALSE(hasLine(ReadLinesOf(dir + "Debug.txt"), "Closing Up"));
}

TEST(Run, CommandLineHelpVersionAndMistakes) {
    std::string garbage = MakeTempDir("run-cli") + "bad.script";
    WriteWholeFile(garbage, "100 jump 5\n");
    RunResult help = RunGame({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: zorvek-plon"), std::string::npos);
    RunResult version = RunGame({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("#251 : Zorvek Plon ", 0), 0u) << version.out;
    for (std::vector<std::string> bad : {std::vector<std::string>{"--bogus"},
                                         {"--seed"},
                                         {"--seed", "12x"},
                                         {"--start-time", "2026-12-07"},
                                         {"--files", "/no/such/folder/anywhere"},
                                         {"--script", "/no/such/script"},
                                         {"--script", garbage}}) {
        RunResult run = RunGame(bad);
        EXPECT_EQ(run.status, 2) << bad[0];
        EXPECT_NE(run.err.find("usage: zorvek-plon"), std::string::npos) << bad[0];
        EXPECT_EQ(run.out, "");
    }
}
