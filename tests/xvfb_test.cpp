// xvfb_test.cpp - the real game in a real X window: started under a private
// Xvfb server, it reaches the title screen, leaves on Escape and a key pressed
// through xdotool, ends with status 0 and writes "Setup.ini". This test runs
// on the real clock, so it waits for the program in real time.
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Waits in real time until the condition holds; false after timeoutMillis.
template <class Condition> bool waitFor(Condition condition, int timeoutMillis) {
    for (int waited = 0; waited < timeoutMillis; waited += 50) {
        if (condition()) return true;
        usleep(50000);
    }
    return condition();
}

// Runs xdotool with the arguments on the display; its exit status.
int xdotool(const std::string& display, std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return WaitProcess(StartProcess(args, {"DISPLAY=" + display}), 10000);
}

bool logHas(const std::string& dir, const std::string& line) {
    for (const auto& l : ReadLinesOf(dir + "Debug.txt"))
        if (l == line) return true;
    return false;
}

// Holds a key for a moment, so that a frame sees it held.
void holdKey(const std::string& display, const std::string& key) {
    xdotool(display, {"keydown", key});
    usleep(300000);
    xdotool(display, {"keyup", key});
}

} // namespace

TEST(Xvfb, TitleScreenLeftWithEscapeAndAKeyInARealWindow) {
    if (!ProgramInPath("Xvfb") || !ProgramInPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    // A display number nobody uses.
    int number = 0;
    for (int n = 91; n <= 99 && number == 0; ++n)
        if (!PathExists("/tmp/.X11-unix/X" + std::to_string(n)) &&
            !PathExists("/tmp/.X" + std::to_string(n) + "-lock"))
            number = n;
    if (number == 0) GTEST_SKIP() << "no free X display number in :91..:99";
    std::string display = ":" + std::to_string(number);
    int server = StartProcess({"Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_GT(server, 0);
    bool up =
        waitFor([&] { return PathExists("/tmp/.X11-unix/X" + std::to_string(number)); }, 15000);
    if (!up) {
        StopProcess(server);
        FAIL() << "Xvfb did not start on " << display;
    }

    std::string dir = MakeFilesCopy("xvfb");
    int game = StartProcess({GameBinary(), "--files", dir, "--seed", "1"},
                            {"DISPLAY=" + display, "SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(game, 0);
    bool loaded = waitFor([&] { return logHas(dir, "Finished Loading"); }, 120000);
    int status = -1;
    if (loaded) {
        usleep(3000000); // the loading picture stays 2.5 s; the title then slides in
        // Focus the game's window so the keys reach it.
        xdotool(display, {"search", "--sync", "--name", "Zorvek Plon", "windowfocus", "--sync"});
        holdKey(display, "Escape");
        waitFor([&] { return logHas(dir, "Closing Up"); }, 10000);
        usleep(500000); // the closing page is up
        holdKey(display, "a");
        status = WaitProcess(game, 20000);
    }
    if (status < 0) StopProcess(game);
    StopProcess(server);
    ASSERT_TRUE(loaded) << "the title screen was never reached";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(logHas(dir, "Closing Up"));
    auto setup = ReadLinesOf(dir + "Setup.ini");
    ASSERT_FALSE(setup.empty());
    EXPECT_EQ(setup[0], "[Graphics]");
}
