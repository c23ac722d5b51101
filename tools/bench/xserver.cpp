// xserver.cpp - a private Xvfb for the benchmarks that need a real X window,
// and running child programs on it with a time limit and their output kept.
#include "bench.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds since a moment.
long long since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// True when no X server holds this display number (no lock file, no socket).
bool displayFree(int number) {
    std::error_code ec;
    return !fs::exists("/tmp/.X" + std::to_string(number) + "-lock", ec) &&
           !fs::exists("/tmp/.X11-unix/X" + std::to_string(number), ec);
}

// The child side of a fork: default signal handling (a shell may have left
// SIGINT ignored, and SDL only answers SIGINT when it is not), then exec.
[[noreturn]] void execWith(const std::vector<std::string>& argv, const std::string& display,
                           int outFd) {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (outFd >= 0) {
        dup2(outFd, 1);
        dup2(outFd, 2);
        close(outFd);
    }
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    std::fprintf(stderr, "zp-bench: cannot run %s\n", args[0]);
    _exit(127);
}

} // namespace

// Starts Xvfb on the first free display number from :97 and waits for its socket.
XServer StartXServer(int width, int height) {
    XServer server;
    if (access("/usr/bin/Xvfb", X_OK) != 0) return server;
    for (int number = 97; number < 140; number++) {
        if (!displayFree(number)) continue;
        std::string name = ":" + std::to_string(number);
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        int quiet = open("/dev/null", O_WRONLY);
        pid_t pid = fork();
        if (pid == 0)
            execWith({"/usr/bin/Xvfb", name, "-screen", "0", screen, "-nolisten", "tcp"}, "",
                     quiet);
        if (quiet >= 0) close(quiet);
        if (pid < 0) return server;
        // The socket appears once the server accepts clients; a server that
        // lost the race for this number exits, and the next number is tried.
        auto start = Clock::now();
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        while (since(start) < 10000) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) break;
            std::error_code ec;
            if (fs::exists(socket, ec)) {
                server.pid = pid;
                server.display = name;
                return server;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return server;
}

// Stops the server this benchmark started.
void StopXServer(XServer& server) {
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        auto start = Clock::now();
        while (waitpid(server.pid, nullptr, WNOHANG) == 0) {
            if (since(start) > 5000) {
                kill(server.pid, SIGKILL);
                waitpid(server.pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    server = {};
}

// Runs a program on the display, interrupts it after stopAfterMs (when above 0)
// or once it has printed stopWhen, and gathers what it printed.
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& display, int stopAfterMs,
                  const std::string& stopWhen) {
    ChildRun run;
    int fds[2];
    if (argv.empty() || pipe(fds) != 0) return run;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        execWith(argv, display, fds[1]);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return run;
    }
    run.ok = true;
    auto start = Clock::now();
    bool interrupted = false, killed = false;
    const long long hardLimit = stopAfterMs > 0 ? stopAfterMs + 5000 : 120000;
    for (;;) {
        long long now = since(start);
        if (stopAfterMs > 0 && !interrupted && now >= stopAfterMs) {
            kill(pid, SIGINT);
            interrupted = true;
        }
        if (!killed && now >= hardLimit) {
            kill(pid, SIGKILL);
            killed = true;
        }
        pollfd p{fds[0], POLLIN, 0};
        int wait = interrupted || stopAfterMs <= 0 ? 100 : int(std::min(100LL, stopAfterMs - now));
        if (poll(&p, 1, wait < 1 ? 1 : wait) > 0) {
            char buf[4096];
            ssize_t got = read(fds[0], buf, sizeof buf);
            if (got > 0) {
                run.output.append(buf, size_t(got));
                if (!interrupted && !stopWhen.empty() &&
                    run.output.find(stopWhen) != std::string::npos) {
                    kill(pid, SIGINT);
                    interrupted = true;
                }
                continue;
            }
            if (got == 0 || errno != EINTR) break; // every writer has closed the pipe
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (killed) run.output += "\n(killed: no answer within the time limit)\n";
    return run;
}

// This program's own path, for running probes.
std::string BenchProgramPath() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

// A private copy of the asset pack, so the benchmarks leave build/Files alone.
std::string CopyAssetPack(const std::string& tag) {
    std::error_code ec;
    fs::path home = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec || !fs::is_directory(home / "Files", ec)) return "";
    std::string pattern = (fs::temp_directory_path() / ("zp-bench-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return "";
    fs::copy(home / "Files", pattern, fs::copy_options::recursive, ec);
    if (ec) {
        fs::remove_all(pattern, ec);
        return "";
    }
    for (const char* stale : {"Setup.ini", "Debug.txt", "251/scores.dat", "251/crash.dat"})
        fs::remove(pattern + "/" + stale, ec);
    return pattern + "/";
}

// The number after "key " in a probe's answer line, or -1.
double ProbeField(const std::string& text, const std::string& key) {
    std::string padded = " " + text;
    for (char& c : padded)
        if (c == '\n' || c == '\t') c = ' ';
    size_t at = padded.find(" " + key + " ");
    return at == std::string::npos ? -1 : std::atof(padded.c_str() + at + key.size() + 2);
}

// The one-minute load average from /proc/loadavg.
std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string first;
    return file >> first ? first : std::string("?");
}
