// cmdline.cpp - the command line: its usage text, checking every option and
// filling the platform's configuration and the files folder.
#include "app/cmdline.h"

#include "app/replay_command.h"
#include "platform/platform.h"
#include "platform/script.h"
#include "scores/world.h"
#include "shell/shell.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

const char* const Version = GameVersion;
const char* const Usage =
    "usage: zorvek-plon [--files DIR] [--headless] [--script FILE] [--record FILE] [--seed N]\n"
    "                   [--start-time \"YYYY-MM-DD HH:MM:SS\"] [--help] [--version]\n"
    "       zorvek-plon --replay FILE [--headless] [--video OUT.mp4|OUT.webm] [--size WxH]\n"
    "       zorvek-plon --submit FILE --world URL [--name NAME]\n"
    "\n"
    "  --files DIR        read and write the game's files in DIR instead of Files/ beside\n"
    "                     the program\n"
    "  --headless         no window; everything is still drawn, off screen\n"
    "  --script FILE      play the input from FILE on a virtual clock; the program ends\n"
    "                     with status 3 when the script ends\n"
    "  --record FILE      write the live input to FILE as a script\n"
    "  --seed N           seed of the random numbers (default: from the clock)\n"
    "  --start-time T     the calendar moment at start, \"YYYY-MM-DD HH:MM:SS\"\n"
    "  --replay FILE      play a round's replay (from <files>/251/replays/); with --headless\n"
    "                     as fast as it goes, printing \"replay: score S, frames F\"\n"
    "  --video OUT        export the replay (or the --script run) as a video with its sound\n"
    "  --size WxH         the video's size (default: the setup file's display size)\n"
    "  --checksums FILE   write a checksum of the round's state for every round frame\n"
    "  --world URL        send every finished round to the world score table at URL\n"
    "                     (instead of the one world.ini names)\n"
    "  --submit FILE      send one replay to the --world table and print its answer\n"
    "  --name NAME        the name --submit sends (default: Player)\n"
    "  --help             show this text\n"
    "  --version          show the title and version\n"
    "\n"
    "Exit status: 0 after the closing screen, 1 when no display can be opened,\n"
    "2 for a bad command line or replay, 3 when a script ended, 4 when the files\n"
    "folder cannot be used, 5 when a replay does not play out as it was played,\n"
    "6 when a video cannot be written.\n";

// Scripts longer than this are refused (a recorded hour is a few megabytes).
constexpr size_t ScriptReadCap = size_t(64) << 20;

// True when text is "YYYY-MM-DD HH:MM:SS" with digits in the digit places and
// names a real moment: month 1-12, a day the month has, 00:00:00 to 23:59:59.
bool validStartTime(const std::string& text) {
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    auto num = [&](size_t at, size_t len) { return std::atoi(text.substr(at, len).c_str()); };
    int year = num(0, 4), month = num(5, 2), day = num(8, 2);
    int hour = num(11, 2), minute = num(14, 2), second = num(17, 2);
    if (month < 1 || month > 12 || day < 1) return false;
    const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int inMonth = days[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= inMonth && hour <= 23 && minute <= 59 && second <= 59;
}

// True when the file can be opened for writing (made when missing; nothing in
// it is changed), so a --record to an unwritable place is a bad command line.
bool writableFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    std::fclose(f);
    return true;
}

// Reads a whole decimal integer (optional sign); false for anything else.
bool readSeed(const std::string& text, int64_t& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str()) return false;
    out = v;
    return true;
}

// Prints the complaint and the usage; the status of a bad command line.
int badCommandLine(const std::string& complaint) {
    std::fprintf(stderr, "zorvek-plon: %s\n%s", complaint.c_str(), Usage);
    return 2;
}

} // namespace

// A path given on the command line, made absolute against the caller's folder.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// Parses the command line into the platform's configuration and the files
// folder; returns -1 to go on, else the exit status.
int ParseCommandLine(int argc, char** argv, PlatformConfig& config, std::string& filesDir) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s %s\n", TitleText().c_str(), Version);
            return 0;
        } else if (arg == "--headless") {
            config.headless = true;
        } else if (arg == "--files") {
            if (!value(v) || v.empty()) return badCommandLine("--files needs a folder");
            std::error_code ec;
            if (!std::filesystem::is_directory(v, ec))
                return badCommandLine("--files: no such folder: " + v);
            filesDir = AbsolutePath(v);
            if (filesDir.back() != '/') filesDir += '/';
        } else if (arg == "--script") {
            if (!value(v) || v.empty()) return badCommandLine("--script needs a file");
            // Read and parsed once, here: the file may be a pipe such as /dev/stdin,
            // and the player plays exactly the events that were checked.
            std::string source, error;
            if (!ReadFileBytes(v, source, ScriptReadCap, true))
                return badCommandLine("--script: " + PlatformError());
            auto events = std::make_shared<std::vector<ScriptEvent>>();
            if (!ParseScript(source, v, *events, error)) return badCommandLine(error);
            config.scriptPath = AbsolutePath(v);
            config.scriptEvents = std::move(events);
        } else if (arg == "--record") {
            if (!value(v) || v.empty()) return badCommandLine("--record needs a file");
            if (!writableFile(v)) return badCommandLine("--record: cannot write " + v);
            config.recordPath = AbsolutePath(v);
        } else if (arg == "--seed") {
            if (!value(v) || !readSeed(v, config.seed) || config.seed < 0)
                return badCommandLine("--seed needs a whole number of 0 or more");
        } else if (arg == "--start-time") {
            if (!value(v) || !validStartTime(v))
                return badCommandLine("--start-time needs \"YYYY-MM-DD HH:MM:SS\"");
            config.startTime = v;
        } else if (arg == "--world") {
            if (!value(v) || v.rfind("http://", 0) != 0)
                return badCommandLine("--world needs an http:// address");
            worldCommand.url = v;
        } else if (arg == "--submit") {
            if (!value(v) || v.empty()) return badCommandLine("--submit needs a replay file");
            worldCommand.submitPath = v;
        } else if (arg == "--name") {
            if (!value(v) || v.empty()) return badCommandLine("--name needs a name");
            worldCommand.name = v;
        } else if (TakeReplayArgument(arg, i, argc, argv, v)) {
            if (!v.empty()) return badCommandLine(v);
        } else {
            return badCommandLine("unknown argument: " + arg);
        }
    }
    if (!worldCommand.submitPath.empty() && worldCommand.url.empty())
        return badCommandLine("--submit needs --world URL");
    return -1;
}
