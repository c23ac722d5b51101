// web_test.cpp - the browser build in a real browser: Debian's chromium,
// driven by tests/web/drive.mjs over a server on 127.0.0.1. The title comes
// up and takes a screenshot in live play; a scripted round gives the native
// program's per-frame checksums with and without threads; the score table
// and setup file outlive a reload; the title's picture is the native one; the
// page picks its variant by isolation, sends a software WebGL's drawing to the
// rasteriser and plays sound; the engine switches from the settings panel;
// a click lands where the native mapping puts it. Skipped while no browser
// build is there (`make web`), failed instead when ZP_WEB_REQUIRED is set.
#include "platform/platform.h"
#include "support/run.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {

// The browser build's folder.
std::string webBuild() {
    const char* given = std::getenv("ZP_WEB_BUILD");
    return given && *given ? given : ZP_SOURCE_DIR "/build-web";
}

// Why the browser tests cannot run here, "" when they can.
std::string missingPart() {
    if (!PathExists(webBuild() + "/zorvek-plon.wasm")) return "no browser build (make web)";
    if (!PathExists(ZP_SOURCE_DIR "/tests/web/node_modules/playwright-core"))
        return "no playwright-core (npm ci --prefix tests/web)";
    if (!PathExists("/usr/bin/chromium")) return "no /usr/bin/chromium";
    return "";
}

#define NEED_BROWSER()                                                                             \
    do {                                                                                           \
        std::string why = missingPart();                                                           \
        if (!why.empty()) {                                                                        \
            if (std::getenv("ZP_WEB_REQUIRED")) FAIL() << why;                                     \
            GTEST_SKIP() << why;                                                                   \
        }                                                                                          \
    } while (0)

// Runs the driver with dir's files served under /t/ (unless args mount
// another folder); its output lands in dir + "browser/". True when it finished without error.
bool drive(const std::string& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"node",    ZP_SOURCE_DIR "/tests/web/drive.mjs",
                                     "--root",  webBuild(),
                                     "--out",   dir + "browser",
                                     "--mount", dir};
    argv.insert(argv.end(), args.begin(), args.end());
    int pid = StartProcess(argv);
    int status = WaitProcess(pid, 600000);
    if (status < 0) StopProcess(pid);
    return status == 0;
}

// The page address's query for a scripted run like RunScripted's.
std::string scriptedQuery(const std::string& seed) {
    return "?--script=/t/run.script&--seed=" + seed + "&--start-time=2026-12-07%2018:05:09";
}

// The one file in a folder whose name ends with suffix, "" when not exactly one.
std::string onlyFileEndingWith(const std::string& dir, const std::string& suffix) {
    std::string found;
    int count = 0;
    for (const std::string& name : FolderNames(dir))
        if (name.size() > suffix.size() && name.ends_with(suffix)) found = dir + name, count++;
    return count == 1 ? found : "";
}

// A picture of the title, F11 pressed at 5 s, then the closing screen.
const char* const TitleShotScript = "0 mouse 640 480\n5000 press 122\n6000 down 27\n6300 up 27\n"
                                    "7500 press 32\n20000 end\n";

TEST(WebBrowser, TitleAppearsAndF11SavesAScreenshot) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-title");
    // Loading ends with the engine test, whose frames take screenshots too.
    // F11 is pressed until the game takes it, not until the file is written:
    // a second press in the same second would write the same name again.
    ASSERT_TRUE(drive(dir, {"--visit", "", "log:Finished Loading", "--press", "F11",
                            "log:Grabbing Screenshot", "--wait", "log:Saved Screenshot 1"}))
        << ReadWholeFile(dir + "browser/result.json");
    std::vector<std::string> shots = FolderNames(dir + "browser/downloads");
    ASSERT_FALSE(shots.empty()) << "no screenshot was offered as a download";
    std::string shot = dir + "browser/home/" + shots[0];
    Pixmap picture;
    ASSERT_TRUE(LoadPixmapPng(shot, picture)) << PlatformError();
    EXPECT_GE(picture.width, 640);
    EXPECT_EQ(ReadWholeFile(dir + "browser/downloads/" + shots[0]), ReadWholeFile(shot))
        << "the download is not the saved screenshot";
}

// The value of "key" in the driver's result.json for the visit at index
// visit (a string's text, or the bare number or word), "" when absent.
std::string visitValue(const std::string& json, int visit, const std::string& key) {
    size_t at = json.find("\"visits\"");
    for (int v = 0; v <= visit && at != std::string::npos; ++v)
        at = json.find("\"failed\"", at + 1);
    if (at != std::string::npos) at = json.find("\"" + key + "\": ", at);
    if (at == std::string::npos) return "";
    at += key.size() + 4;
    bool text = json[at] == '"';
    if (text) at++;
    return json.substr(at, json.find_first_of(text ? "\"" : ",}\n", at) - at);
}

// The first line of the debug log that starts with prefix, "" when none.
std::string logLine(const std::string& log, const std::string& prefix) {
    for (const std::string& line : ReadLinesOf(log))
        if (line.rfind(prefix, 0) == 0) return line;
    return "";
}

// Isolated, the page loads the threaded variant and the rasteriser draws on
// the cores chromium reports; without the headers, the one-thread variant.
// Either way chromium's software WebGL is seen and the rasteriser draws, the
// game's sound reaches a running WebAudio context, and the round is the
// native one frame by frame.
TEST(WebBrowser, ScriptedRoundGivesTheNativeChecksumsOnBothVariants) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-round");
    WriteWholeFile(dir + "run.script", ShootingRoundScript());
    RunResult native =
        RunGame({"--headless", "--script", dir + "run.script", "--seed", "7", "--start-time",
                 "2026-12-07 18:05:09", "--files", dir, "--checksums", dir + "native.sums"});
    ASSERT_EQ(native.status, 0) << native.err;
    std::vector<std::string> want = ReadLinesOf(dir + "native.sums");
    ASSERT_GT(want.size(), 100u);
    int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    struct Case {
        bool isolated;
        const char* variant;
        std::string drawn;
    } cases[] = {
        {true, "zorvek-plon-threads",
         "rasteriser draws on " + std::to_string(cores) + (cores > 1 ? " threads" : " thread")},
        {false, "zorvek-plon", "rasteriser draws on 1 thread"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        std::string out = dir + c.variant + "/";
        std::vector<std::string> args = {
            "--mount", dir,      "--visit",      scriptedQuery("7") + "&--checksums=/tmp/web.sums",
            "exit",    "--read", "/tmp/web.sums"};
        if (!c.isolated) args.push_back("--not-isolated");
        ASSERT_TRUE(drive(out, args)) << ReadWholeFile(out + "browser/result.json");
        std::string result = ReadWholeFile(out + "browser/result.json");
        EXPECT_EQ(visitValue(result, 0, "variant"), c.variant);
        EXPECT_EQ(visitValue(result, 0, "state"), "running") << result;
        EXPECT_GT(std::atoi(visitValue(result, 0, "scheduled").c_str()), 0) << result;
        std::string driver = logLine(out + "browser/home/Debug.txt", "\tDriver : ");
        EXPECT_NE(driver.find("SwiftShader"), std::string::npos) << driver;
        EXPECT_NE(driver.find(c.drawn), std::string::npos) << driver;
        std::vector<std::string> got = ReadLinesOf(out + "browser/read/web.sums");
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(got[i], want[i])
                << "the browser's round parts from the native one at line " << i + 1;
    }
}

TEST(WebBrowser, ScoreTableAndSetupFileSurviveAReload) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-reload");
    WriteWholeFile(dir + "run.script", ShootingRoundScript());
    // The round, then a plain visit that reads its files back from IndexedDB.
    ASSERT_TRUE(
        drive(dir, {"--visit", scriptedQuery("7"), "exit", "--visit", "", "log:Finished Loading"}))
        << ReadWholeFile(dir + "browser/result.json");
    std::vector<std::string> table = ReadLinesOf(dir + "browser/home/251/scores.dat");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_NE(table[0].find("Zed"), std::string::npos) << table[0];
    EXPECT_NE(ReadWholeFile(dir + "browser/home/Setup.ini").find("Fullscreen"), std::string::npos);
    EXPECT_EQ(FolderNames(dir + "browser/home/251/replays").size(), 1u);
}

// Pixels of two pictures of one size where any channel is more than 3 % of
// its range apart.
size_t differingPixels(const Pixmap& a, const Pixmap& b) {
    size_t differing = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int(a.pixels[i] >> shift & 255) - int(b.pixels[i] >> shift & 255)) >
                255 * 3 / 100) {
                differing++;
                break;
            }
    return differing;
}

// Through WebGL (SDL's GLES2 renderer, kept although headless chromium's is
// a software one) and through our rasteriser.
TEST(WebBrowser, TitlePictureMatchesTheNativeOneOnBothEngines) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-picture");
    RunResult native = RunScripted(dir, TitleShotScript);
    ASSERT_EQ(native.status, 0) << native.err;
    Pixmap want;
    ASSERT_TRUE(LoadPixmapPng(onlyFileEndingWith(dir, ").png"), want)) << PlatformError();
    for (const char* engine : {"OpenGL", "DX7"}) {
        SCOPED_TRACE(engine);
        std::string setup =
            std::string("[Graphics]\r\nGFX Engine = ") + engine + "\r\nWidth=800\r\nHeight=600\r\n";
        std::string out = dir + engine + "/";
        ASSERT_TRUE(
            drive(out, {"--mount", dir, "--visit", "", "log:Finished Loading", "--write",
                        "Setup.ini", setup, "--visit", scriptedQuery("1") + "&keep-webgl", "exit"}))
            << ReadWholeFile(out + "browser/result.json");
        Pixmap got;
        ASSERT_TRUE(LoadPixmapPng(onlyFileEndingWith(out + "browser/home/", ").png"), got))
            << PlatformError();
        ASSERT_EQ(got.width, want.width);
        ASSERT_EQ(got.height, want.height);
        size_t differing = differingPixels(want, got);
        EXPECT_LE(double(differing), 0.015 * double(want.pixels.size()))
            << differing << " of " << want.pixels.size() << " pixels differ";
    }
}

// From the rasteriser to WebGL through the settings panel's engine button and
// "Apply": the display reopens on WebGL and the title's picture after it is
// the native one's.
TEST(WebBrowser, EngineSwitchFromTheSettingsPanelKeepsThePicture) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-switch");
    const char* const script = "5500 press 9\n8400 mouse 30 218\n8500 press mouse1\n"
                               "8700 mouse 30 290\n8800 press mouse1\n15000 mouse 640 480\n"
                               "15300 press 122\n16000 down 27\n16300 up 27\n17500 press 32\n"
                               "30000 end\n";
    const std::string setup = "[Graphics]\r\nGFX Engine = DX7\r\nWidth=800\r\nHeight=600\r\n";
    WriteWholeFile(dir + "Setup.ini", setup);
    RunResult native = RunScripted(dir, script);
    ASSERT_EQ(native.status, 0) << native.err;
    Pixmap want;
    ASSERT_TRUE(LoadPixmapPng(onlyFileEndingWith(dir, ").png"), want)) << PlatformError();
    std::string out = dir + "web/";
    ASSERT_TRUE(
        drive(out, {"--mount", dir, "--visit", "", "log:Finished Loading", "--write", "Setup.ini",
                    setup, "--visit", scriptedQuery("1") + "&keep-webgl", "exit"}))
        << ReadWholeFile(out + "browser/result.json");
    std::string log = ReadWholeFile(out + "browser/home/Debug.txt");
    size_t applied = log.rfind("Applying Graphical Settings");
    ASSERT_NE(applied, std::string::npos) << log;
    EXPECT_NE(log.find("opengles2 draws", applied), std::string::npos) << log.substr(applied);
    EXPECT_NE(ReadWholeFile(out + "browser/home/Setup.ini").find("GFX Engine = OpenGL"),
              std::string::npos);
    Pixmap got;
    ASSERT_TRUE(LoadPixmapPng(onlyFileEndingWith(out + "browser/home/", ").png"), got))
        << PlatformError();
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    EXPECT_LE(double(differingPixels(want, got)), 0.015 * double(want.pixels.size()));
}

// An 800x600 window (logical 1280x960) shown at half size in the middle of
// a 1280x300 page, bars of 440 pixels at its sides: a click at the page's
// (540, 100) is the window's (200, 200) and the game's (320, 320).
TEST(WebBrowser, ClickLandsWhereTheNativeMappingPutsIt) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-pointer");
    std::string setup = "[Graphics]\r\nGFX Engine = DX7\r\nWidth=800\r\nHeight=600\r\n";
    ASSERT_TRUE(drive(dir, {"--viewport", "1280x300", "--visit", "", "log:Finished Loading",
                            "--write", "Setup.ini", setup, "--visit", "?--record=/tmp/live.script",
                            "log:Finished Loading", "--click", "540", "100",
                            "file:/tmp/live.script=down mouse1", "--read", "/tmp/live.script"}))
        << ReadWholeFile(dir + "browser/result.json");
    std::vector<std::string> lines = ReadLinesOf(dir + "browser/read/live.script");
    auto down = std::find_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.ends_with(" down mouse1"); });
    ASSERT_NE(down, lines.begin()) << ReadWholeFile(dir + "browser/read/live.script");
    std::string move = *(down - 1);
    EXPECT_TRUE(move.ends_with(" mouse 320 320")) << move;
}

} // namespace
