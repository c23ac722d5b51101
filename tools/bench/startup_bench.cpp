// startup_bench.cpp - how long start-up takes to reach the title screen (real
// clock, headless display), and the peak memory of a short scripted session.
#include "app/app.h"
#include "bench.h"

#include "platform/keys.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/shell.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The folder of this program (the build folder, with Files/ and the game in it).
fs::path programFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
}

// A private copy of the asset pack, so the benchmarks leave build/Files alone.
std::string copyOfFiles(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / ("zp-bench-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return "";
    std::error_code ec;
    fs::copy(programFolder() / "Files", pattern, fs::copy_options::recursive, ec);
    if (ec) return "";
    for (const char* stale : {"Setup.ini", "Debug.txt", "251/scores.dat", "251/crash.dat"})
        fs::remove(pattern + "/" + stale, ec);
    return pattern + "/";
}

} // namespace

// Start to title screen: platform start-up, tables, log, setup file, display and
// every asset, without the engine test's frames and the 2.5 s loading minimum.
void BenchStartup(BenchTable& table) {
    std::string dir = copyOfFiles("startup");
    if (dir.empty()) return AddBenchNote(table, "start to title", "no asset pack in build/Files");
    auto started = std::chrono::steady_clock::now();
    PlatformConfig config;
    config.headless = true;
    config.silentAudio = true;
    config.seed = 1;
    if (!PlatformInit(config)) {
        AddBenchNote(table, "start to title", "no display: " + PlatformError());
        return;
    }
    shell.FilesDir = dir;
    StartUp();
    auto finished = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(finished - started).count();
    double engineTest = display.EngineTestMillis;
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    PlatformShutdown();
    AddBenchRow(table, "start to title (engine test excluded)", ms - engineTest, "ms", 150);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// Peak resident memory of the game over a short headless scripted session:
// start-up, a moment on the title screen, Escape and the closing page.
void BenchMemory(BenchTable& table) {
    std::string dir = copyOfFiles("memory");
    if (dir.empty()) return AddBenchNote(table, "peak memory", "no asset pack in build/Files");
    std::string script = dir + "bench.script";
    const std::string esc = std::to_string(KeyEscape);
    std::ofstream(script) << "7000 down " + esc + "\n7100 up " + esc +
                                 "\n7300 down 65\n7400 up 65\n9000 end\n";
    std::string binary = (programFolder() / "zorvek-plon").string();
    pid_t pid = fork();
    if (pid == 0) {
        FILE* quiet = std::freopen("/dev/null", "w", stderr);
        (void)quiet;
        execl(binary.c_str(), binary.c_str(), "--headless", "--script", script.c_str(), "--seed",
              "1", "--files", dir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        AddBenchNote(table, "peak memory", "the scripted session did not end normally");
    } else {
        // ru_maxrss is the child's high-water mark of resident memory (VmHWM), in KiB.
        AddBenchRow(table, "peak memory of a short session", usage.ru_maxrss / 1024.0, "MB", 64);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
