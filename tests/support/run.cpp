// run.cpp - starting the game binary as a child process for scripted runs.
#include "support/run.h"

#include "support/fixture.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

// A fresh temporary folder holding a copy of the built asset pack.
std::string MakeFilesCopy(const std::string& tag) {
    std::string dir = MakeTempDir(tag);
    fs::copy(BuiltFilesDir(), dir,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    // A leftover from the developer's own runs must not change the test.
    for (const char* stale : {"Setup.ini", "Debug.txt", "251/scores.dat", "251/crash.dat"})
        fs::remove(dir + stale);
    return dir;
}

// The game binary beside the tests.
std::string GameBinary() {
    return std::string(ZP_BINARY_DIR) + "/zorvek-plon";
}

// Runs the binary with output captured in temporary files.
RunResult RunGame(const std::vector<std::string>& args, const std::string& cwd,
                  int timeoutSeconds) {
    std::string outDir = MakeTempDir("out");
    std::string outPath = outDir + "stdout", errPath = outDir + "stderr";
    std::string binary = GameBinary();
    std::vector<char*> argv;
    argv.push_back(binary.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        alarm(static_cast<unsigned>(timeoutSeconds)); // survives exec: a hung run is killed
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
    }
    result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    fs::remove_all(outDir);
    return result;
}

// A headless scripted run with the test's fixed seed and start time.
RunResult RunScripted(const std::string& dir, const std::string& script,
                      const std::vector<std::string>& extraArgs) {
    std::string scriptPath = dir + "run.script";
    WriteWholeFile(scriptPath, script);
    std::vector<std::string> args = {
        "--headless",          "--script", scriptPath, "--seed", "1", "--start-time",
        "2026-12-07 18:05:09", "--files",  dir};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return RunGame(args);
}

// The whole file as text.
std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The file's lines: LF ends a line, CR is dropped.
std::vector<std::string> ReadLinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = ReadWholeFile(path), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Writes text as it is.
bool WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool PathExists(const std::string& path) {
    return fs::exists(path);
}

std::vector<std::string> FolderNames(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Starts a program with extra environment entries, output discarded.
int StartProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopies = env;
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        for (auto& e : envCopies) putenv(e.data());
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid > 0 ? static_cast<int>(pid) : -1;
}

// Polls for the end of the process for up to timeoutMillis of real time.
int WaitProcess(int pid, int timeoutMillis) {
    for (int waited = 0;; waited += 20) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return -1;
        }
        if (done < 0 || waited >= timeoutMillis) return -1;
        usleep(20000);
    }
}

// Ends the process and reaps it.
void StopProcess(int pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (WaitProcess(pid, 3000) < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// True when name is an executable file in one of PATH's folders.
bool ProgramInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) return true;
    return false;
}

// Seed 7 from the title: the first gun post opens at (651, 261) about 8.1 s
// in. The figure is sent onto it and fires at a pointer circling the post
// until it is overrun; then the name "Zed" is entered and the game closed.
// Extra events go in at their times; skip lists times when the circling
// pointer must stay where the extra events put it.
std::string ShootingRoundScript(const std::string& extra, int skipFrom, int skipTo) {
    std::ostringstream s;
    s << "0 mouse 640 480\n";
    for (int t = 6000; t <= 7200; t += 600) s << t << " down mouse1\n" << t + 100 << " up mouse1\n";
    s << "8150 mouse 651 261\n8150 down mouse1\n8250 up mouse1\n8300 down mouse2\n";
    for (int t = 8400, i = 0; t < 20000; t += 100, ++i) {
        if (t >= skipFrom && t < skipTo) continue;
        s << t << " mouse " << 651 + int(250 * std::cos(i * 0.3)) << " "
          << 261 + int(250 * std::sin(i * 0.3)) << "\n";
    }
    s << extra << "20000 up mouse2\n";
    for (int t = 21200; t < 30000; t += 50) s << t << " press 8\n";
    s << "30500 type Zed\n31000 press 13\n32500 down 27\n32800 up 27\n34000 press 32\n50000 end\n";
    // Events must come in time order: sort the lines by their time, stably.
    std::vector<std::pair<long, std::string>> lines;
    std::istringstream in(s.str());
    for (std::string line; std::getline(in, line);) lines.emplace_back(std::stol(line), line);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string sorted;
    for (const auto& l : lines) sorted += l.second + "\n";
    return sorted;
}
