// cmdline.cpp - the command line: its usage text, checking every option and
// filling the platform's configuration and the files folder.
#include "app/cmdline.h"

#include "platform/platform.h"
#include "platform/script.h"
#include "shell/shell.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

const char* const Version = "1.0.0";
const char* const Usage =
    "usage: zorvek-plon [--files DIR] [--headless] [--script FILE] [--record FILE] [--seed N]\n"
    "                   [--start-time \"YYYY-MM-DD HH:MM:SS\"] [--help] [--version]\n"
    "\n"
    "  --files DIR        read and write the game's files in DIR instead of Files/ beside\n"
    "                     the program\n"
    "  --headless         no window; everything is still drawn, off screen\n"
    "  --script FILE      play the input from FILE on a virtual clock; the program ends\n"
    "                     with status 3 when the script ends\n"
    "  --record FILE      write the live input to FILE as a script\n"
    "  --seed N           seed of the random numbers (default: from the clock)\n"
    "  --start-time T     the calendar moment at start, \"YYYY-MM-DD HH:MM:SS\"\n"
    "  --help             show this text\n"
    "  --version          show the title and version\n"
    "\n"
    "Exit status: 0 after the closing screen, 1 when no display can be opened,\n"
    "2 for a bad command line, 3 when a script ended, 4 when the files folder\n"
    "cannot be used.\n";

// True when text is "YYYY-MM-DD HH:MM:SS" with digits in the digit places.
bool validStartTime(const std::string& text) {
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
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

// A path given on the command line, made absolute against the caller's folder.
std::string absolutePath(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// Prints the complaint and the usage; the status of a bad command line.
int badCommandLine(const std::string& complaint) {
    std::fprintf(stderr, "zorvek-plon: %s\n%s", complaint.c_str(), Usage);
    return 2;
}

} // namespace

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
            filesDir = absolutePath(v);
            if (filesDir.back() != '/') filesDir += '/';
        } else if (arg == "--script") {
            if (!value(v) || v.empty()) return badCommandLine("--script needs a file");
            std::vector<std::string> lines;
            if (!ReadTextLines(v, lines)) return badCommandLine("--script: cannot read " + v);
            std::string source, error;
            for (const auto& line : lines) source += line + "\n";
            std::vector<ScriptEvent> events;
            if (!ParseScript(source, v, events, error)) return badCommandLine(error);
            config.scriptPath = absolutePath(v);
        } else if (arg == "--record") {
            if (!value(v) || v.empty()) return badCommandLine("--record needs a file");
            config.recordPath = absolutePath(v);
        } else if (arg == "--seed") {
            if (!value(v) || !readSeed(v, config.seed) || config.seed < 0)
                return badCommandLine("--seed needs a whole number of 0 or more");
        } else if (arg == "--start-time") {
            if (!value(v) || !validStartTime(v))
                return badCommandLine("--start-time needs \"YYYY-MM-DD HH:MM:SS\"");
            config.startTime = v;
        } else {
            return badCommandLine("unknown argument: " + arg);
        }
    }
    return -1;
}
