// session_xvfb_test.cpp - a whole session in a real X window, played with real
// mouse and key events: the game runs under a private Xvfb server and xdotool
// chooses "Medium", starts a round, walks, fires, pauses and quits it, types a
// name, takes screenshots on the title, in the round and in the pause menu,
// toggles the panel and the overlay and leaves. The files the session leaves
// are checked, and the three screenshots are kept under the build folder in
// "artefacts/" (title.png, round.png, pause.png) for a person to look at.
//
// The game runs on the real clock, as fast as the machine lets it, so the test
// never waits a fixed time for it: every input is held until a frame of the
// game has taken it in. A screenshot is the frame barrier: F11 is handled at
// the end of a shown frame, after that frame has read what was sent before
// it. In the round the checksum log counts the frames played.
#include "platform/platform.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The game's window is 800 x 600 pixels over the logical 1280 x 960.
const double Scale = 800.0 / 1280.0;

// Waits in real time until the condition holds; false after timeoutMillis
// (a limit for a hung game only: every wait is for something the game does).
template <class Condition> bool waitFor(Condition condition, int timeoutMillis = 120000) {
    for (int waited = 0; waited < timeoutMillis; waited += 50) {
        if (condition()) return true;
        usleep(50000);
    }
    return condition();
}

// A running X server and the game on it, ended when the test ends.
struct Session {
    std::string display;
    std::string dir;
    int server = -1, game = -1;
    ~Session() {
        if (game > 0) StopProcess(game);
        if (server > 0) StopProcess(server);
    }

    // Runs xdotool with the arguments on this display; its exit status.
    int xdotool(std::vector<std::string> args) const {
        args.insert(args.begin(), "xdotool");
        return WaitProcess(StartProcess(args, {"DISPLAY=" + display}), 10000);
    }
    // Moves the pointer to a logical position inside the game's window.
    void pointAt(int x, int y) const {
        xdotool({"search", "--name", "Zorvek Plon", "mousemove", "--window", "%1",
                 std::to_string(static_cast<int>(x * Scale)),
                 std::to_string(static_cast<int>(y * Scale))});
    }
    void down(const std::string& key) const { xdotool({"keydown", key}); }
    void up(const std::string& key) const { xdotool({"keyup", key}); }
    // A key the game counts presses of (F11, F12, Tab, Backspace, Return).
    void press(const std::string& key) const { xdotool({"key", key}); }

    std::vector<std::string> log() const { return ReadLinesOf(dir + "Debug.txt"); }
    int count(const std::string& line) const {
        int n = 0;
        for (const auto& l : log()) n += l == line;
        return n;
    }
    int savedShots() const { return count("\tSaved Screenshot 1"); }
    // Presses F11 and waits until the game has saved one more screenshot; the
    // name of the file, "" when none came. A screen that starts by forgetting
    // the presses before it (the name screen) may swallow one: with
    // pressAgain, F11 is pressed again after 5, 10, 20... seconds without one.
    std::string screenshot(bool pressAgain = false) const {
        int before = savedShots();
        for (int wait = pressAgain ? 5000 : 240000; savedShots() <= before && wait <= 240000;
             wait *= 2) {
            press("F11");
            waitFor([&] { return savedShots() > before; }, wait);
        }
        return savedShots() > before ? lastShot() : "";
    }
    // The name of the newest screenshot the log tells of.
    std::string lastShot() const {
        std::string name;
        for (const auto& l : log())
            if (l.rfind("\tSaving Screenshot : ", 0) == 0) name = l.substr(21);
        return name;
    }
    // Lets n shown frames pass, each after everything sent so far.
    bool frames(int n) const {
        for (int i = 0; i < n; ++i)
            if (screenshot().empty()) return false;
        return true;
    }
    // Round frames played so far (lines of the checksum log).
    int roundFrames() const { return static_cast<int>(ReadLinesOf(dir + "sums.txt").size()); }
    // Holds a mouse button (1 left, 3 right) for n frames of the round.
    bool holdButton(int button, int n) const {
        int from = roundFrames();
        xdotool({"mousedown", std::to_string(button)});
        bool played = waitFor([&] { return roundFrames() >= from + n; });
        xdotool({"mouseup", std::to_string(button)});
        return played;
    }
};

// A display number nobody uses, 0 when none is free.
int freeDisplayNumber() {
    for (int n = 71; n <= 89; ++n)
        if (!PathExists("/tmp/.X11-unix/X" + std::to_string(n)) &&
            !PathExists("/tmp/.X" + std::to_string(n) + "-lock"))
            return n;
    return 0;
}

// Keeps a screenshot the game saved as a test artefact in the build folder.
void keepArtefact(const std::string& from, const std::string& name) {
    std::string folder = std::string(ZP_BINARY_DIR) + "/artefacts/";
    fs::create_directories(folder);
    std::error_code ignored;
    fs::copy_file(from, folder + name, fs::copy_options::overwrite_existing, ignored);
}

// Index of the first line equal to text at or after from, or -1.
int findLine(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

} // namespace

TEST(SessionXvfb, ARoundPlayedWithRealMouseAndKeysInARealWindow) {
    if (!ProgramInPath("Xvfb") || !ProgramInPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    int number = freeDisplayNumber();
    if (number == 0) GTEST_SKIP() << "no free X display number in :71..:89";
    Session s;
    s.display = ":";
    s.display += std::to_string(number); // (GCC 12 warns falsely about ":" + text)
    s.server = StartProcess({"Xvfb", s.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_GT(s.server, 0);
    ASSERT_TRUE(
        waitFor([&] { return PathExists("/tmp/.X11-unix/X" + std::to_string(number)); }, 15000))
        << "Xvfb did not start on " << s.display;

    s.dir = MakeFilesCopy("session-xvfb");
    s.game = StartProcess(
        {GameBinary(), "--files", s.dir, "--seed", "1", "--checksums", s.dir + "sums.txt"},
        {"DISPLAY=" + s.display, "SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(s.game, 0);
    ASSERT_TRUE(waitFor([&] { return s.count("Finished Loading") == 1; }, 180000))
        << "the title screen was never reached";
    s.xdotool({"search", "--sync", "--name", "Zorvek Plon", "windowfocus", "--sync"});

    // The title screen, once it has slid in (32 frames).
    ASSERT_TRUE(s.frames(34)) << "F11 on the title screen saved nothing";
    std::string titleShot = s.screenshot();
    keepArtefact(s.dir + titleShot, "title.png");

    // "Medium": the pointer is taken in at a frame's end, the button by the next frame.
    s.pointAt(640, 480 + 200 + 50 * 1 + 20);
    ASSERT_TRUE(s.frames(1));
    s.xdotool({"mousedown", "1"});
    ASSERT_TRUE(s.frames(1));
    s.xdotool({"mouseup", "1"});
    // "Click Here to Start": held until the round plays.
    s.pointAt(640, 480);
    ASSERT_TRUE(s.frames(1));
    ASSERT_TRUE(s.holdButton(1, 1)) << "the round did not start";

    // Walk to two places, then fire where the pointer is.
    s.pointAt(400, 300);
    EXPECT_TRUE(s.holdButton(1, 48));
    s.pointAt(900, 650);
    EXPECT_TRUE(s.holdButton(1, 48));
    EXPECT_TRUE(s.holdButton(3, 36));
    std::string roundShot = s.screenshot();
    EXPECT_FALSE(roundShot.empty()) << "F11 in the round saved nothing";
    if (!roundShot.empty()) keepArtefact(s.dir + roundShot, "round.png");

    // Escape held at a shown frame's end opens the pause menu, which first
    // waits, without frames, for Escape to be let go. An F11 pressed after it
    // is taken either by that same frame (its screenshot comes while Escape is
    // held) or by the menu's first frame, once Escape is up: the round has
    // then stopped (3 s without a round frame while Escape is held).
    int shotsBefore = s.savedShots();
    s.down("Escape");
    s.press("F11");
    bool menuWaits = false;
    ASSERT_TRUE(waitFor([&] {
        if (s.savedShots() > shotsBefore) return true;
        int played = s.roundFrames();
        usleep(3000000);
        menuWaits = s.roundFrames() == played && s.savedShots() == shotsBefore;
        return menuWaits;
    })) << "Escape did not pause the round";
    s.up("Escape");
    std::string pauseShot =
        menuWaits ? (waitFor([&] { return s.savedShots() > shotsBefore; }) ? s.lastShot() : "")
                  : s.screenshot();
    EXPECT_FALSE(pauseShot.empty()) << "F11 in the pause menu saved nothing";
    if (!pauseShot.empty()) keepArtefact(s.dir + pauseShot, "pause.png");
    s.down("Down");
    ASSERT_TRUE(s.frames(1));
    s.up("Down");
    ASSERT_TRUE(s.frames(1));
    // Space chooses: the menu's last frame takes F11 with it, or the name
    // screen does (the game-over picture and its pause take no presses).
    s.down("space");
    ASSERT_FALSE(s.screenshot(true).empty()) << "the pause menu did not take Space";
    s.up("space");

    // The name screen offers "Player": it forgets the presses before it, so
    // its first frame is the first to take F11 after the menu's last. It
    // takes one Backspace and one typed letter a frame.
    ASSERT_FALSE(s.screenshot(true).empty()) << "the name screen never came";
    for (int i = 0; i < 8; ++i) {
        s.press("BackSpace");
        ASSERT_TRUE(s.frames(1));
    }
    s.xdotool({"type", "Zed"});
    ASSERT_TRUE(s.frames(3));
    s.press("Return");
    ASSERT_TRUE(waitFor([&] {
        for (const auto& l : s.log())
            if (l.rfind("Replay saved : ", 0) == 0) return true;
        return false;
    })) << "the name was never confirmed";

    // The title screen: F11, Tab twice, F12, then Escape and a key.
    std::string lastShot = s.screenshot();
    EXPECT_FALSE(lastShot.empty()) << "F11 back on the title screen saved nothing";
    for (const char* key : {"Tab", "Tab", "F12"}) {
        s.press(key);
        ASSERT_TRUE(s.frames(1));
    }
    s.down("Escape");
    bool closing = waitFor([&] { return s.count("Closing Up") == 1; });
    s.up("Escape");
    ASSERT_TRUE(closing) << "Escape on the title screen did not close the game";
    // The thank-you page opens a window of its own; a key there ends the game.
    int status = -1;
    for (int tries = 0; tries < 60 && status < 0; ++tries) {
        s.xdotool({"search", "--name", "Zorvek Plon", "windowfocus"});
        s.press("a");
        status = WaitProcess(s.game, 2000);
    }
    if (status >= 0) s.game = -1;
    EXPECT_EQ(status, 0);

    // The setup file as the program writes it for the default settings; a
    // machine the engine test found too slow for 1000 sprites at 60 frames
    // per second (a software renderer on a busy machine) is marked slow.
    auto setup = ReadLinesOf(s.dir + "Setup.ini");
    std::vector<std::string> head = {"[Graphics]", "Fullscreen = False", "GFX Engine = OpenGL",
                                     "Width=800", "Height=600"};
    if (s.count("Settings Overwritten, Set to Default Lower Limits at 30fps.") > 0)
        head.push_back("ESS=1 ; This is a slow system, and things must run a wee bit slower for "
                       "it.  Awww..");
    for (const char* line : {"", "[Audio]", "Master = 50", "Sound = 50", "Music = 50"})
        head.push_back(line);
    ASSERT_GE(setup.size(), head.size() + 1);
    for (size_t i = 0; i < head.size(); ++i) EXPECT_EQ(setup[i], head[i]) << "line " << i + 1;
    EXPECT_EQ(setup[head.size()].rfind("AudioDriver = ", 0), 0u);
    std::vector<std::string> tail = {"",          "[Controls]", "Key=0,38",  "Key=3,37",
                                     "Key=5,39",  "Key=8,40",   "Key=10,90", "Key=11,88",
                                     "Key=12,67", "Key=13,86"};
    ASSERT_GE(setup.size(), tail.size());
    for (size_t i = 0; i < tail.size(); ++i)
        EXPECT_EQ(setup[setup.size() - tail.size() + i], tail[i]);

    // One round, stored under the typed name, on Medium, quit by the player.
    auto scores = ReadLinesOf(s.dir + "251/scores.dat");
    ASSERT_EQ(scores.size(), 2u) << ReadWholeFile(s.dir + "251/scores.dat");
    EXPECT_EQ(scores[0].substr(scores[0].find('|')).rfind("|Zed|0|", 0), 0u) << scores[0];
    EXPECT_EQ(scores[0].substr(scores[0].size() - 8), "|0|1|0|1") << scores[0];

    // The log: start-up, the four screenshots and the closing lines, in order.
    auto log = s.log();
    int at = findLine(log, "Brannoch's Quorvat Engine");
    EXPECT_EQ(at, 0);
    for (const std::string& line :
         {std::string("Loading"), std::string("Applying Graphical Settings"),
          std::string("Finished Loading"), "\tSaving Screenshot : " + titleShot,
          "\tSaving Screenshot : " + roundShot, "\tSaving Screenshot : " + pauseShot,
          "\tSaving Screenshot : " + lastShot, std::string("Closing Up"), std::string("Bye!"),
          std::string("Play again, soon!!")}) {
        int next = findLine(log, line, at + 1);
        EXPECT_GT(next, at) << "\"" << line << "\" missing or out of order";
        if (next > at) at = next;
    }

    // The screenshots are real pictures of the window's physical size.
    for (const std::string& shot : {titleShot, roundShot, pauseShot, lastShot}) {
        if (shot.empty()) continue;
        Pixmap picture;
        ASSERT_TRUE(LoadPixmapPng(s.dir + shot, picture)) << shot;
        EXPECT_EQ(picture.width, 800) << shot;
        EXPECT_EQ(picture.height, 600) << shot;
    }
}
