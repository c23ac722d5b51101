// platform_files_test.cpp - folders, reading text lines and saving files so
// that a failed save never damages the file already there.
#include "platform_helpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string makeTempDir() {
    std::string pattern = "/tmp/zp-files-XXXXXX";
    if (!mkdtemp(pattern.data())) return "/tmp/";
    return pattern + "/";
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Names in a folder other than . and ..
std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

std::vector<std::string> linesOf(const std::string& dir, const std::string& bytes) {
    std::string path = dir + "in.txt";
    writeBytes(path, bytes);
    std::vector<std::string> lines{"stale"};
    EXPECT_TRUE(ReadTextLines(path, lines));
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(ReadTextLines, LineEndsCarriageReturnsAndZeroBytes) {
    std::string dir = makeTempDir();
    EXPECT_EQ(linesOf(dir, ""), Lines{}); // an empty file has no lines
    EXPECT_EQ(linesOf(dir, "\n"), Lines{""});
    EXPECT_EQ(linesOf(dir, "a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(linesOf(dir, "a\nlast"), (Lines{"a", "last"})); // last line without LF
    EXPECT_EQ(linesOf(dir, "x\r\r\ny\rz\n"), (Lines{"x", "yz"}));
    // A zero byte ends the line like LF; what follows it starts the next line.
    EXPECT_EQ(linesOf(dir, std::string("ab\0cd\nef\n", 9)), (Lines{"ab", "cd", "ef"}));
    EXPECT_EQ(linesOf(dir, std::string("ab\0cd", 5)), (Lines{"ab", "cd"}));
    EXPECT_EQ(linesOf(dir, std::string("ab\0\n\0\r\0", 7)), (Lines{"ab", "", "", ""}));

    Lines lines{"stale"};
    EXPECT_FALSE(ReadTextLines(dir + "missing.txt", lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(PlatformError().empty());
}

TEST(WriteTextLinesAtomic, WritesCrLfLinesAndReplacesTheFile) {
    std::string dir = makeTempDir();
    std::string path = dir + "scores.dat";
    writeBytes(path, "old contents that are longer than the new ones\n");
    ASSERT_TRUE(WriteTextLinesAtomic(path, {"one", "", "three"}));
    EXPECT_EQ(ReadAll(path), "one\r\n\r\nthree\r\n");
    Lines back;
    ASSERT_TRUE(ReadTextLines(path, back));
    EXPECT_EQ(back, (Lines{"one", "", "three"}));
    EXPECT_EQ(listDir(dir), Lines{"scores.dat"}); // no temporary left behind
    ASSERT_TRUE(WriteTextLinesAtomic(dir + "empty.txt", {}));
    EXPECT_EQ(ReadAll(dir + "empty.txt"), "");
    // The saved file gets the mode the process's mask gives, which stays as it was.
    mode_t before = umask(027);
    ASSERT_TRUE(WriteTextLinesAtomic(dir + "masked.txt", {"x"}));
    EXPECT_EQ(umask(before), mode_t(027));
    struct stat info;
    ASSERT_EQ(stat((dir + "masked.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, mode_t(0640));
}

TEST(WriteTextLinesAtomic, FailedSaveLeavesTheOldFileWhole) {
    std::string dir = makeTempDir();
    std::string path = dir + "Setup.ini";
    const std::string old = "Width = 800\r\nHeight = 600\r\n";
    writeBytes(path, old);

    // A write that fails part-way (the file-size limit stands in for a full disk).
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved_ok = WriteTextLinesAtomic(path, Lines(500, "a line far too long to fit"));
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(listDir(dir), Lines{"Setup.ini"});

    // A folder that does not exist.
    EXPECT_FALSE(WriteTextLinesAtomic(dir + "nowhere/Setup.ini", {"x"}));
    EXPECT_NE(PlatformError().find("nowhere"), std::string::npos);

    // A folder where files cannot be created (permissions do not bind root).
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
        EXPECT_FALSE(WriteTextLinesAtomic(path, {"new"}));
        chmod(dir.c_str(), 0755);
        EXPECT_EQ(ReadAll(path), old);
    }

    // A folder standing where the file should be cannot be replaced.
    ASSERT_TRUE(MakeDir(dir + "taken"));
    EXPECT_FALSE(WriteTextLinesAtomic(dir + "taken", {"x"}));
    EXPECT_EQ(listDir(dir).size(), 2u);
}

TEST(TextFiles, LinesAreOnDiskAsSoonAsWritten) {
    std::string dir = makeTempDir();
    std::string path = dir + "Debug.txt";
    writeBytes(path, "previous run\n");
    int file = CreateTextFile(path);
    ASSERT_NE(file, 0);
    EXPECT_EQ(ReadAll(path), ""); // truncated
    WriteTextLine(file, "Start");
    WriteTextLine(file, "\tstep");
    EXPECT_EQ(ReadAll(path), "Start\r\n\tstep\r\n"); // flushed while still open
    CloseTextFile(file);
    WriteTextLine(file, "after close"); // ignored
    CloseTextFile(file);
    EXPECT_EQ(ReadAll(path), "Start\r\n\tstep\r\n");
    WriteTextLine(0, "nothing");
    CloseTextFile(0);
    EXPECT_EQ(CreateTextFile(dir + "no/such/folder.txt"), 0);
}

TEST(Folders, ChangeCreateTestAndDelete) {
    std::string dir = makeTempDir();
    std::string start = CurrentDir();
    ASSERT_TRUE(MakeDir(dir + "251"));
    EXPECT_TRUE(MakeDir(dir + "251")); // already there is fine
    EXPECT_FALSE(MakeDir(dir + "a/b/c"));
    writeBytes(dir + "plain", "x");
    EXPECT_FALSE(MakeDir(dir + "plain")); // a file is in the way

    ASSERT_TRUE(ChangeDir(dir + "251"));
    char real[4096];
    ASSERT_NE(realpath((dir + "251").c_str(), real), nullptr);
    EXPECT_EQ(CurrentDir(), real);
    writeBytes("crash.dat", "1");
    EXPECT_TRUE(FileExists("crash.dat"));
    EXPECT_FALSE(FileExists("scores.dat"));
    EXPECT_TRUE(DeleteFile("crash.dat"));
    EXPECT_FALSE(FileExists("crash.dat"));
    EXPECT_FALSE(DeleteFile("crash.dat"));
    EXPECT_FALSE(ChangeDir("no-such-folder"));
    EXPECT_EQ(CurrentDir(), real);
    ASSERT_TRUE(ChangeDir(start));
}

TEST(FolderLinks, ListingLinksAndFolderTests) {
    std::string dir = makeTempDir();
    mkdir((dir + "sub").c_str(), 0755);
    writeBytes(dir + "b.txt", "b");
    writeBytes(dir + "a.txt", "a");
    EXPECT_EQ(FolderEntries(dir), (Lines{"a.txt", "b.txt", "sub"})); // sorted, no . or ..
    EXPECT_EQ(FolderEntries(dir + "missing"), Lines{});

    EXPECT_TRUE(MakeLink(dir + "a.txt", dir + "link"));
    EXPECT_EQ(LinkTarget(dir + "link"), dir + "a.txt");
    EXPECT_FALSE(MakeLink(dir + "b.txt", dir + "link")); // taken: not replaced
    EXPECT_EQ(LinkTarget(dir + "link"), dir + "a.txt");
    EXPECT_EQ(LinkTarget(dir + "a.txt"), ""); // a plain file is no link
    EXPECT_EQ(LinkTarget(dir + "missing"), "");
    EXPECT_TRUE(MakeLink("nowhere", dir + "dangling")); // a link may point nowhere
    EXPECT_EQ(LinkTarget(dir + "dangling"), "nowhere");
    EXPECT_TRUE(DeleteFile(dir + "dangling"));

    EXPECT_TRUE(MakeLink(dir + "sub", dir + "sublink"));
    EXPECT_TRUE(IsFolder(dir + "sub"));
    EXPECT_TRUE(IsFolder(dir + "sublink")); // a link to a folder counts
    EXPECT_FALSE(IsFolder(dir + "a.txt"));
    EXPECT_FALSE(IsFolder(dir + "missing"));
    EXPECT_FALSE(IsFolder(""));
    EXPECT_TRUE(FolderWritable(dir + "sub"));
    EXPECT_FALSE(FolderWritable(dir + "a.txt"));
    EXPECT_FALSE(FolderWritable(dir + "missing"));
}

// Whole-file reads take regular files only, unless asked to read a pipe too
// (a script given as /dev/stdin): a device or folder is refused, not read.
TEST(ReadFileBytes, OnlyRegularFilesUnlessPipesAreAsked) {
    std::string dir = makeTempDir();
    writeBytes(dir + "plain", "abc");
    struct Case {
        std::string path;
        bool pipesToo, ok;
        const char* said; // in the error when refused
    };
    for (const Case& c : {Case{dir + "plain", false, true, ""},
                          Case{"/dev/zero", false, false, "not a regular file"},
                          Case{dir, false, false, "not a regular file"},
                          Case{"/dev/zero", true, false, "larger than 64 bytes"}}) {
        std::string bytes = "stale";
        EXPECT_EQ(ReadFileBytes(c.path, bytes, 64, c.pipesToo), c.ok) << c.path;
        EXPECT_EQ(bytes, c.ok ? "abc" : "") << c.path;
        if (!c.ok) {
            EXPECT_NE(PlatformError().find(c.said), std::string::npos) << PlatformError();
        }
    }
}
