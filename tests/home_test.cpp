// home_test.cpp - the player's own files folder: which folder the game works
// in, the data directory from the environment, and the mirror of the asset
// pack whose folders are real and whose files are links.
#include "shell/home.h"

#include "platform/platform.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A small pack: Common/ with a font, 251/ with a picture and music/ below it.
std::string makePack(const std::string& dir) {
    for (const char* folder : {"", "Common", "251", "251/music"}) MakeDir(dir + folder);
    WriteWholeFile(dir + "Common/a.ttf", "font");
    WriteWholeFile(dir + "251/gfx.png", "picture");
    WriteWholeFile(dir + "251/music/groove.ini", "tune");
    return dir;
}

// An installed tree under root: root/games/ (the program's folder) and the
// pack where an installed program looks for it.
std::string makeInstalled(const std::string& root) {
    MakeDir(root);
    MakeDir(root + "games");
    MakeDir(root + "share");
    MakeDir(root + "share/games");
    makePack(root + "share/games/zorvek-plon/");
    return root + "games";
}

} // namespace

TEST(DataHome, XdgWhenAbsoluteElseHomeLocalShare) {
    EXPECT_EQ(DataHomeFrom("/x/data", "/home/p"), "/x/data/");
    EXPECT_EQ(DataHomeFrom("/x/data/", "/home/p"), "/x/data/");
    // A relative XDG_DATA_HOME is not used (it would depend on the current folder).
    EXPECT_EQ(DataHomeFrom("data", "/home/p"), "/home/p/.local/share/");
    EXPECT_EQ(DataHomeFrom("", "/home/p/"), "/home/p/.local/share/");
    EXPECT_EQ(DataHomeFrom("", ""), "");
    EXPECT_EQ(DataHomeFrom("", "relative"), "");
}

TEST(MirrorPack, RealFoldersLinkedFilesAndThePlayersFilesKept) {
    std::string base = MakeTempDir("mirror");
    std::string pack = makePack(base + "pack/"), home = base + "deep/er/home/";
    ASSERT_TRUE(MirrorPack(pack, home)); // missing parents are made
    for (const char* folder : {"", "Common", "251", "251/music"}) {
        EXPECT_TRUE(IsFolder(home + folder)) << folder;
        EXPECT_EQ(LinkTarget(home + folder), "") << folder << " must be a real folder";
    }
    EXPECT_EQ(LinkTarget(home + "Common/a.ttf"), pack + "Common/a.ttf");
    EXPECT_EQ(LinkTarget(home + "251/gfx.png"), pack + "251/gfx.png");
    EXPECT_EQ(ReadWholeFile(home + "251/music/groove.ini"), "tune");

    // What the player's runs wrote, a file of the player's that shadows one of
    // the pack, a link left from a pack that moved, and a folder that had been
    // a link (an older layout).
    WriteWholeFile(home + "Setup.ini", "setup");
    WriteWholeFile(home + "251/scores.dat", "scores");
    DeleteFile(home + "251/gfx.png");
    WriteWholeFile(home + "251/gfx.png", "mine");
    DeleteFile(home + "Common/a.ttf");
    ASSERT_TRUE(MakeLink("/old/pack/Common/a.ttf", home + "Common/a.ttf"));
    std::filesystem::remove_all(home + "251/music");
    ASSERT_TRUE(MakeLink(pack + "251/music", home + "251/music"));
    // The pack is upgraded: a sound joins, the music file leaves.
    WriteWholeFile(pack + "251/001.wav", "sound");
    DeleteFile(pack + "251/music/groove.ini");
    WriteWholeFile(pack + "251/music/other.ini", "tune 2");

    ASSERT_TRUE(MirrorPack(pack, home));
    EXPECT_EQ(ReadWholeFile(home + "Setup.ini"), "setup");
    EXPECT_EQ(ReadWholeFile(home + "251/scores.dat"), "scores");
    EXPECT_EQ(ReadWholeFile(home + "251/gfx.png"), "mine");
    EXPECT_EQ(LinkTarget(home + "Common/a.ttf"), pack + "Common/a.ttf");
    EXPECT_EQ(LinkTarget(home + "251/001.wav"), pack + "251/001.wav");
    EXPECT_EQ(LinkTarget(home + "251/music"), "");
    EXPECT_EQ(FolderEntries(home + "251/music"), std::vector<std::string>{"other.ini"});
    EXPECT_EQ(FolderEntries(pack + "251/music"), std::vector<std::string>{"other.ini"})
        << "the pack itself must never be touched";

    // A pack file leaves a folder that stays: its link leaves too, none dangles.
    DeleteFile(pack + "251/001.wav");
    ASSERT_TRUE(MirrorPack(pack, home));
    EXPECT_EQ(LinkTarget(home + "251/001.wav"), "");
    EXPECT_FALSE(PathExists(home + "251/001.wav"));

    // The player moved the folder to another disk and linked it back: followed, all kept.
    std::filesystem::rename(base + "deep/er/home", base + "moved");
    ASSERT_TRUE(MakeLink(base + "moved", base + "deep/er/home"));
    ASSERT_TRUE(MirrorPack(pack, home));
    EXPECT_EQ(LinkTarget(base + "deep/er/home"), base + "moved");
    EXPECT_EQ(ReadWholeFile(home + "251/scores.dat"), "scores");
}

TEST(ChooseFilesDir, BuildFolderInstalledPackAndBareProgram) {
    std::string base = MakeTempDir("choose");
    std::string data = base + "data/";

    // A program beside a writable Files/ keeps using it, as from the build folder.
    MakeDir(base + "build");
    makePack(base + "build/Files/");
    EXPECT_EQ(ChooseFilesDir(base + "build", data), "Files/");

    // An installed program gets the player's folder, mirrored from the pack.
    std::string program = makeInstalled(base + "usr/");
    std::string home = ChooseFilesDir(program, data);
    EXPECT_EQ(home, data + "zorvek-plon/");
    EXPECT_EQ(LinkTarget(home + "251/gfx.png"), base + "usr/share/games/zorvek-plon/251/gfx.png");
    // The game's walk between its folders stays inside the player's folder.
    std::string start = CurrentDir();
    ASSERT_TRUE(ChangeDir(home) && ChangeDir("251/") && ChangeDir("../") && ChangeDir("Common/") &&
                ChangeDir("../") && ChangeDir("251/"));
    EXPECT_EQ(CurrentDir(), data + "zorvek-plon/251");
    ChangeDir(start);
    EXPECT_FALSE(PathExists(program + "/Files")) << "nothing is made beside the program";

    // The installed pack is never chosen (root could write into it): without
    // a data directory, or with one that is a file, there is no folder.
    EXPECT_EQ(ChooseFilesDir(program, ""), "");
    WriteWholeFile(base + "afile", "x");
    EXPECT_EQ(ChooseFilesDir(program, base + "afile/"), "");
    EXPECT_EQ(ReadWholeFile(base + "afile"), "x");

    // A bare program with no pack anywhere makes its own Files/ as before.
    MakeDir(base + "bare");
    EXPECT_EQ(ChooseFilesDir(base + "bare", base + "data2/"), "Files/");
    EXPECT_FALSE(PathExists(base + "data2"));
    EXPECT_EQ(ChooseFilesDir("", data), "Files/");
}

TEST(ChooseFilesDir, ReadOnlyFilesBesideTheProgramMoveToThePlayersFolder) {
    // Permissions only bind an ordinary user: as root, the choice runs in a
    // child that has become "nobody".
    std::string base = MakeTempDir("readonly");
    chmod(base.c_str(), 0755);
    MakeDir(base + "game");
    makePack(base + "game/Files/");
    std::string data = base + "data/";
    MakeDir(data);
    if (geteuid() != 0) {
        chmod((base + "game/Files").c_str(), 0555);
        EXPECT_EQ(ChooseFilesDir(base + "game", data), data + "zorvek-plon/");
        chmod((base + "game/Files").c_str(), 0755);
        EXPECT_EQ(ChooseFilesDir(base + "game", data), "Files/");
        return;
    }
    ASSERT_EQ(chown(data.c_str(), 65534, 65534), 0);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
        std::string chosen = ChooseFilesDir(base + "game", data);
        bool linked =
            LinkTarget(data + "zorvek-plon/251/gfx.png") == base + "game/Files/251/gfx.png";
        chosen += linked ? "|linked" : "|unlinked";
        _exit(write(pipeEnds[1], chosen.data(), chosen.size()) == ssize_t(chosen.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(answer, data + "zorvek-plon/|linked");
    // The same folder is still the program's own for whoever may write it.
    EXPECT_EQ(ChooseFilesDir(base + "game", data), "Files/");
}
