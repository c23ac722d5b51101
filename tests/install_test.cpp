// install_test.cpp - the game as a player gets it: installed into a prefix
// and run by an ordinary user, who finds everything the game writes in the
// data directory; and the Debian package with what it must hold.
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The uid and gid an unprivileged run takes when the tests run as root.
constexpr int Nobody = 65534;

struct Command {
    int status = -1;
    std::string out; // stdout and stderr together
};

// Runs a shell command line; its exit status and output.
Command run(const std::string& line) {
    Command c;
    FILE* pipe = popen((line + " 2>&1").c_str(), "r");
    if (!pipe) return c;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) c.out.append(buffer, n);
    int status = pclose(pipe);
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return c;
}

// Single-quotes text for the shell.
std::string shellQuoted(const std::string& text) {
    std::string q = "'";
    for (char ch : text) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// Every path under root with its size and change time, to see whether a run touched it.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        struct stat info;
        if (lstat(it->path().c_str(), &info) != 0) continue;
        files[it->path().string()] = std::to_string(info.st_size) + "@" +
                                     std::to_string(info.st_mtim.tv_sec) + "." +
                                     std::to_string(info.st_mtim.tv_nsec);
    }
    return files;
}

// The round of the scripted round test (seed 7: the figure is overrun well
// before 25 s; the name "Zed" is confirmed at 26 s), then a screenshot on the
// title screen, Escape and a key on the closing page.
std::string roundScript() {
    std::string script = "0 mouse 640 480\n";
    for (int t = 6000; t <= 7200; t += 600)
        script += std::to_string(t) + " down mouse1\n" + std::to_string(t + 100) + " up mouse1\n";
    for (int t = 7500; t < 25000; t += 50) script += std::to_string(t) + " press 8\n";
    return script + "25500 type Zed\n26000 press 13\n26800 press 122\n"
                    "27500 down 27\n27800 up 27\n29000 press 32\n45000 end\n";
}

// Straight from the title screen to the closing page and out.
const char* const LeaveScript = "0 mouse 640 480\n6500 down 27\n6800 up 27\n8000 press 32\n"
                                "20000 end\n";

// A temporary folder an unprivileged user may read (and, with writable, write).
std::string openFolder(const std::string& tag, bool writable) {
    std::string dir = MakeTempDir(tag);
    chmod(dir.c_str(), 0755);
    if (writable && geteuid() == 0 && chown(dir.c_str(), Nobody, Nobody) != 0) return "";
    return dir;
}

} // namespace

TEST(InstalledGame, PlayersFilesGoToTheDataDirectoryAndNothingIntoThePrefix) {
    if (geteuid() == 0 && !ProgramInPath("setpriv"))
        GTEST_SKIP() << "setpriv (util-linux) is needed to run the game as an ordinary user";
    std::string prefix = openFolder("prefix", false) + "usr";
    Command install = run(shellQuoted(ZP_CMAKE_COMMAND) + " --install " +
                          shellQuoted(ZP_BINARY_DIR) + " --prefix " + shellQuoted(prefix));
    ASSERT_EQ(install.status, 0) << install.out;
    const std::string program = prefix + "/games/zorvek-plon";
    const std::string pack = prefix + "/share/games/zorvek-plon/";
    for (const std::string& path : {program, pack + "Common/icons.png", pack + "251/gfx.png",
                                    pack + "251/001.wav", pack + "251/music/groove.ini"})
        EXPECT_TRUE(PathExists(path)) << path;
    EXPECT_FALSE(PathExists(pack + "251/scores.dat")) << "a developer's scores must stay out";

    std::string home = openFolder("player", true);
    ASSERT_FALSE(home.empty());
    const std::string files = home + "data/zorvek-plon/";
    auto play = [&](const std::string& script) {
        std::string scriptPath = home + "run.script";
        WriteWholeFile(scriptPath, script);
        chmod(scriptPath.c_str(), 0644);
        std::string as =
            geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : std::string();
        return run("cd / && " + as + "env -i PATH=/usr/bin:/bin HOME=" + shellQuoted(home) +
                   " XDG_DATA_HOME=" + shellQuoted(home + "data") + " " + shellQuoted(program) +
                   " --headless --script " + shellQuoted(scriptPath) +
                   " --seed 7 --start-time '2026-12-07 18:05:09'");
    };
    const auto before = snapshot(prefix);

    Command first = play(roundScript());
    ASSERT_EQ(first.status, 0) << first.out << ReadWholeFile(files + "Debug.txt");
    std::string log = ReadWholeFile(files + "Debug.txt");
    EXPECT_NE(log.find("\tSFX(1)\r\n"), std::string::npos) << "sounds are read through the links";
    EXPECT_NE(log.find("\tSaved Screenshot 1\r\n"), std::string::npos) << log;
    EXPECT_NE(ReadWholeFile(files + "Setup.ini").find("[Graphics]"), std::string::npos);
    const std::string scores = ReadWholeFile(files + "251/scores.dat");
    EXPECT_NE(scores.find("|Zed|"), std::string::npos) << scores;
    int shots = 0;
    for (const std::string& name : FolderEntries(files))
        if (name.rfind("Zorvek Plon (Screenshot_07 Dec 2026_", 0) == 0) ++shots;
    EXPECT_EQ(shots, 1);
    EXPECT_TRUE(before == snapshot(prefix)) << "the run changed the installed files";
    EXPECT_FALSE(PathExists(prefix + "/games/Files"));

    // A second start reads the table back: closing saves exactly what was loaded.
    Command second = play(LeaveScript);
    ASSERT_EQ(second.status, 0) << second.out << ReadWholeFile(files + "Debug.txt");
    EXPECT_EQ(ReadWholeFile(files + "251/scores.dat"), scores);
    EXPECT_TRUE(before == snapshot(prefix));
}

TEST(Package, HoldsTheGameAndItsDesktopFilesWhichValidate) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"})
        if (!ProgramInPath(tool))
            GTEST_SKIP() << tool << " (dpkg-dev) is needed to build the package";
    std::string dir = MakeTempDir("package");
    Command cpack = run(shellQuoted(ZP_CPACK_COMMAND) + " -G DEB --config " +
                        shellQuoted(std::string(ZP_BINARY_DIR) + "/CPackConfig.cmake") + " -B " +
                        shellQuoted(dir));
    ASSERT_EQ(cpack.status, 0) << cpack.out;
    std::string deb;
    for (const std::string& name : FolderEntries(dir))
        if (name.size() > 4 && name.substr(name.size() - 4) == ".deb") deb = dir + name;
    ASSERT_FALSE(deb.empty()) << cpack.out;

    Command list = run("dpkg-deb -c " + shellQuoted(deb));
    ASSERT_EQ(list.status, 0) << list.out;
    std::vector<std::string> wanted = {
        "./usr/games/zorvek-plon",
        "./usr/share/games/zorvek-plon/Common/icons.png",
        "./usr/share/games/zorvek-plon/Common/SVBasicManual.ttf",
        "./usr/share/games/zorvek-plon/251/gfx.png",
        "./usr/share/games/zorvek-plon/251/music/groove.ini",
        "./usr/share/applications/example.brannoch.zorvekplon.desktop",
        "./usr/share/metainfo/example.brannoch.zorvekplon.metainfo.xml",
        "./usr/share/man/man6/zorvek-plon.6.gz",
        "./usr/share/doc/zorvek-plon/copyright"};
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        wanted.push_back("./usr/share/icons/hicolor/" + std::to_string(size) + "x" +
                         std::to_string(size) + "/apps/zorvek-plon.png");
    for (const std::string& path : wanted)
        EXPECT_NE(list.out.find(" " + path + "\n"), std::string::npos) << path;
    EXPECT_EQ(list.out.find("scores.dat"), std::string::npos);
    EXPECT_EQ(list.out.find("Setup.ini"), std::string::npos);

    // Run-time libraries only: nothing a build needs.
    Command depends = run("dpkg-deb -f " + shellQuoted(deb) + " Depends");
    for (const char* library : {"libsdl2-2.0-0", "libopenal1", "libpng16-16", "libfreetype6"})
        EXPECT_NE(depends.out.find(library), std::string::npos) << depends.out;
    for (const char* tool : {"-dev", "cmake", "g++", "gcc "})
        EXPECT_EQ(depends.out.find(tool), std::string::npos) << depends.out;

    // The icon is a real picture of its stated size.
    std::string root = dir + "root/";
    ASSERT_EQ(run("dpkg-deb -x " + shellQuoted(deb) + " " + shellQuoted(root)).status, 0);
    Pixmap icon;
    ASSERT_TRUE(LoadPixmapPng(root + "usr/share/icons/hicolor/48x48/apps/zorvek-plon.png", icon));
    EXPECT_EQ(icon.width, 48);
    EXPECT_EQ(icon.height, 48);

    // The desktop entry and the metainfo as installed, then the whole package.
    for (const char* tool : {"desktop-file-validate", "appstreamcli", "lintian"})
        if (!ProgramInPath(tool))
            GTEST_SKIP() << tool << " is needed to check the package (the rest was checked)";
    std::string share = root + "usr/share/";
    Command desktop = run("desktop-file-validate " +
                          shellQuoted(share + "applications/example.brannoch.zorvekplon.desktop"));
    EXPECT_EQ(desktop.status, 0) << desktop.out;
    EXPECT_EQ(desktop.out, "") << "no warnings either";
    Command metainfo =
        run("appstreamcli validate --no-net " +
            shellQuoted(share + "metainfo/example.brannoch.zorvekplon.metainfo.xml"));
    EXPECT_EQ(metainfo.status, 0) << metainfo.out;
    EXPECT_EQ(metainfo.out.find("W: "), std::string::npos) << metainfo.out;
    EXPECT_EQ(metainfo.out.find("E: "), std::string::npos) << metainfo.out;
    Command lintian = run("lintian --tag-display-limit 0 " + shellQuoted(deb));
    EXPECT_EQ(lintian.status, 0) << lintian.out;
    for (const char* level : {"E: ", "W: "}) {
        EXPECT_NE(lintian.out.rfind(level, 0), 0u) << lintian.out;
        EXPECT_EQ(lintian.out.find(std::string("\n") + level), std::string::npos) << lintian.out;
    }
}
