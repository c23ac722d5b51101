// clock.cpp - milliseconds, sleeping, the calendar and ending the process.
//
// The real clock is the monotonic one. The virtual clock moves only when the
// program sleeps or draws (each drawn primitive costs a set number of
// microseconds), so tests and scripted runs are the same on any machine. The
// calendar is a start moment advanced by Millis, formatted with English month
// names whatever the locale.
#include "platform/internal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

struct ClockState {
    bool virtualClock = false;
    int64_t virtualMicros = 0; // virtual time since start
    int64_t drawCostMicros = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    int64_t startSeconds = 0; // calendar moment at start, seconds on a UTC-like scale
    bool endThrows = false;
};

ClockState clock_;

const char* const monthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Parses "YYYY-MM-DD HH:MM:SS" into seconds; false when malformed.
bool parseMoment(const std::string& text, int64_t& seconds) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
        s > 60)
        return false;
    std::tm parts{};
    parts.tm_year = y - 1900;
    parts.tm_mon = mo - 1;
    parts.tm_mday = d;
    parts.tm_hour = h;
    parts.tm_min = mi;
    parts.tm_sec = s;
    seconds = int64_t(timegm(&parts));
    return true;
}

// The local wall-clock time now, as seconds on the same UTC-like scale.
int64_t localNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return int64_t(timegm(&parts));
}

// The calendar moment now, broken down.
std::tm momentNow() {
    std::time_t t = std::time_t(clock_.startSeconds + Millis() / 1000);
    std::tm parts{};
    gmtime_r(&t, &parts);
    return parts;
}

} // namespace

// Chooses the real or virtual clock and the calendar's start moment.
void ClockInit(const PlatformConfig& config) {
    clock_ = ClockState{};
    clock_.virtualClock = config.virtualClock || !config.scriptPath.empty();
    clock_.endThrows = config.endThrows;
    clock_.startSeconds = localNow();
    if (!config.startTime.empty() && !parseMoment(config.startTime, clock_.startSeconds))
        std::fprintf(stderr, "start time \"%s\" is not YYYY-MM-DD HH:MM:SS; using now\n",
                     config.startTime.c_str());
}

bool ClockIsVirtual() {
    return clock_.virtualClock;
}

// Adds one drawn primitive's cost to the virtual clock.
void ChargeDrawCost() {
    if (clock_.virtualClock) clock_.virtualMicros += clock_.drawCostMicros;
}

// Sets the virtual cost of one drawn primitive.
void SetVirtualDrawCost(int microsecondsPerDraw) {
    clock_.drawCostMicros = microsecondsPerDraw > 0 ? microsecondsPerDraw : 0;
}

// Milliseconds since the platform started.
int Millis() {
    if (clock_.virtualClock) return int(clock_.virtualMicros / 1000);
    auto elapsed = std::chrono::steady_clock::now() - clock_.start;
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

// Waits ms milliseconds (virtual: just moves the clock), then takes in input.
void SleepMillis(int ms) {
    if (ms > 0) {
        if (clock_.virtualClock) {
            clock_.virtualMicros += int64_t(ms) * 1000;
        } else {
            VideoIdle(); // the rasteriser's workers draw through the sleep
            HostSleep(ms);
        }
    }
    PumpInput();
}

// Today's date as "07 Dec 2026".
std::string CurrentDateText() {
    std::tm t = momentNow();
    char text[32];
    std::snprintf(text, sizeof text, "%02d %s %04d", t.tm_mday, monthNames[t.tm_mon],
                  t.tm_year + 1900);
    return text;
}

// The time of day as "18:05:09".
std::string CurrentTimeText() {
    std::tm t = momentNow();
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// Closes the input record, then exits (or throws ProcessEnded in tests).
void EndProcess(int status) {
    InputCloseRecord();
    if (clock_.endThrows) throw ProcessEnded{status};
    PlatformShutdown();
    std::exit(status);
}
