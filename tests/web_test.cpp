// web_test.cpp - the browser build in a real browser: Debian's chromium,
// driven by tests/web/drive.mjs over a server on 127.0.0.1. The title comes
// up and takes a screenshot in live play; a scripted round gives the native
// program's per-frame checksums; the score table and setup file outlive a
// reload; the title's picture is the native one. Skipped while no browser
// build is there (`make web`), failed instead when ZP_WEB_REQUIRED is set.
#include "platform/platform.h"
#include "support/run.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

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
    ASSERT_TRUE(drive(
        dir, {"--visit", "", "log:Finished Loading", "--press", "F11", "log:Saved Screenshot 1"}))
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

TEST(WebBrowser, ScriptedRoundGivesTheNativeChecksums) {
    NEED_BROWSER();
    std::string dir = MakeFilesCopy("web-round");
    WriteWholeFile(dir + "run.script", ShootingRoundScript());
    RunResult native =
        RunGame({"--headless", "--script", dir + "run.script", "--seed", "7", "--start-time",
                 "2026-12-07 18:05:09", "--files", dir, "--checksums", dir + "native.sums"});
    ASSERT_EQ(native.status, 0) << native.err;
    ASSERT_TRUE(drive(dir, {"--visit", scriptedQuery("7") + "&--checksums=/tmp/web.sums", "exit",
                            "--read", "/tmp/web.sums"}))
        << ReadWholeFile(dir + "browser/result.json");
    std::vector<std::string> want = ReadLinesOf(dir + "native.sums");
    std::vector<std::string> got = ReadLinesOf(dir + "browser/read/web.sums");
    ASSERT_GT(want.size(), 100u);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(got[i], want[i])
            << "the browser's round parts from the native one at line " << i + 1;
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

// Through WebGL (SDL's GLES2 renderer) and through our rasteriser on one thread.
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
        ASSERT_TRUE(drive(out, {"--mount", dir, "--visit", "", "log:Finished Loading", "--write",
                                "Setup.ini", setup, "--visit", scriptedQuery("1"), "exit"}))
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

} // namespace
