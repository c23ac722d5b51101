// script.cpp - reading and writing scripted input.
//
// A script is plain text, one event per line: "<ms> <verb> <args>", with "#"
// starting a comment line. The same format is written by --record, so a
// recorded session plays back as a script.
#include "platform/script.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const axisLetters = "xyzuvr";
const float MaxMousePosition = 1000000.0f;

// Splits off the next blank-separated word starting at pos.
std::string nextWord(const std::string& line, size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) pos++;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') pos++;
    return line.substr(start, pos - start);
}

// A word as an error message quotes it: at most 32 characters, then "...".
std::string quoted(const std::string& word) {
    const size_t most = 32;
    return "\"" + (word.size() > most ? word.substr(0, most) + "..." : word) + "\"";
}

// A whole decimal number filling the word; false otherwise.
bool wholeNumber(const std::string& word, long& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(word.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

// A real filling the word that a float holds as a finite number; false otherwise.
bool realNumber(const std::string& word, float& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || std::fabs(v) > double(FLT_MAX)) return false;
    value = float(v);
    return true;
}

// A key (1-255) or mouse button (mouse1-mouse3) as an event code.
bool inputCode(const std::string& word, int& code) {
    if (word.size() == 6 && word.compare(0, 5, "mouse") == 0 && word[5] >= '1' && word[5] <= '3') {
        code = 1000 + (word[5] - '0');
        return true;
    }
    long key;
    if (!wholeNumber(word, key) || key < 1 || key > 255) return false;
    code = int(key);
    return true;
}

// Parses one event line (no comment, not blank); returns the reason on failure.
std::string parseLine(const std::string& line, ScriptEvent& event) {
    size_t pos = 0;
    long ms;
    std::string word = nextWord(line, pos);
    if (!wholeNumber(word, ms) || ms < 0 || ms > 2000000000L)
        return "expected a time in milliseconds, found " + quoted(word);
    event.ms = int(ms);
    std::string verb = nextWord(line, pos);
    std::vector<std::string> args;
    auto collect = [&] {
        for (std::string w = nextWord(line, pos); !w.empty(); w = nextWord(line, pos))
            args.push_back(w);
    };
    if (verb == "type") {
        // The rest of the line after one separator, spaces included.
        if (pos < line.size()) pos++;
        event.verb = ScriptVerb::Type;
        event.text = line.substr(pos);
        if (event.text.empty()) return "type needs text";
        return "";
    }
    collect();
    if (verb == "mouse") {
        event.verb = ScriptVerb::Mouse;
        if (args.size() != 2 || !realNumber(args[0], event.a) || !realNumber(args[1], event.b))
            return "mouse needs X Y";
        // The game turns the position into whole pixels; keep it where an int reaches.
        if (std::fabs(event.a) > MaxMousePosition || std::fabs(event.b) > MaxMousePosition)
            return "mouse X Y must lie within -1000000 and 1000000";
        return "";
    }
    if (verb == "down" || verb == "up" || verb == "press") {
        event.verb = verb == "down" ? ScriptVerb::Down
                     : verb == "up" ? ScriptVerb::Up
                                    : ScriptVerb::Press;
        if (args.size() != 1 || !inputCode(args[0], event.code))
            return verb + " needs a key number 1-255 or mouse1, mouse2, mouse3";
        return "";
    }
    if (verb == "close" || verb == "end") {
        event.verb = verb == "close" ? ScriptVerb::Close : ScriptVerb::End;
        if (!args.empty()) return verb + " takes no arguments";
        return "";
    }
    if (verb == "joy") {
        long n;
        if (args.size() < 2 || !wholeNumber(args[0], n) || n < 1 || n > 4)
            return "joy needs a joystick number 1-4";
        event.joystick = int(n) - 1;
        const std::string& what = args[1];
        if (what == "axis") {
            event.verb = ScriptVerb::JoyAxis;
            std::string letters = axisLetters;
            if (args.size() != 4 || args[2].size() != 1 ||
                letters.find(args[2][0]) == std::string::npos)
                return "joy axis needs an axis x, y, z, u, v or r and a value";
            event.a = float(letters.find(args[2][0]));
            if (!realNumber(args[3], event.b) || event.b < -1 || event.b > 1)
                return "joy axis value must be a number from -1 to 1";
            return "";
        }
        if (what == "hat") {
            event.verb = ScriptVerb::JoyHat;
            if (args.size() != 3 || !realNumber(args[2], event.a) || event.a > 1 ||
                (event.a < 0 && event.a != -1))
                return "joy hat needs -1 (at rest) or a value from 0 to 1";
            return "";
        }
        if (what == "button") {
            event.verb = ScriptVerb::JoyButton;
            long b, state;
            if (args.size() != 4 || !wholeNumber(args[2], b) || b < 0 || b > 31 ||
                !wholeNumber(args[3], state) || (state != 0 && state != 1))
                return "joy button needs a button 0-31 and 0 or 1";
            event.a = float(b);
            event.b = float(state);
            return "";
        }
        return "unknown joystick input " + quoted(what);
    }
    if (verb.empty()) return "missing verb after the time";
    return "unknown verb " + quoted(verb);
}

// Writes a real the way the parser reads it back ("640", "0.25").
std::string realText(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    return text;
}

} // namespace

// Parses a whole script; on the first bad line names it as "<name>:<line>: ...".
// A zero byte ends a line just as LF does, as in every text file the game reads.
bool ParseScript(const std::string& source, const std::string& name,
                 std::vector<ScriptEvent>& events, std::string& error) {
    events.clear();
    error.clear();
    int number = 0;
    int lastMs = 0;
    for (size_t start = 0; start < source.size();) {
        size_t end = source.find_first_of(std::string("\n\0", 2), start);
        if (end == std::string::npos) end = source.size();
        std::string line = source.substr(start, end - start);
        start = end + 1;
        number++;
        std::string clean;
        for (char c : line)
            if (c != '\r') clean += c;
        size_t first = clean.find_first_not_of(" \t");
        if (first == std::string::npos || clean[first] == '#') continue;
        ScriptEvent event;
        std::string reason = parseLine(clean, event);
        if (reason.empty() && event.ms < lastMs)
            reason = "time " + std::to_string(event.ms) + " is before the line above (" +
                     std::to_string(lastMs) + ")";
        if (!reason.empty()) {
            error = name + ":" + std::to_string(number) + ": " + reason;
            events.clear();
            return false;
        }
        lastMs = event.ms;
        events.push_back(event);
    }
    return true;
}

// One script line for an event, without the newline.
std::string FormatScriptEvent(const ScriptEvent& event) {
    std::string line = std::to_string(event.ms) + " ";
    auto code = [&] {
        return event.code > 1000 ? "mouse" + std::to_string(event.code - 1000)
                                 : std::to_string(event.code);
    };
    std::string joy = "joy " + std::to_string(event.joystick + 1) + " ";
    switch (event.verb) {
    case ScriptVerb::Mouse:
        return line + "mouse " + realText(event.a) + " " + realText(event.b);
    case ScriptVerb::Down:
        return line + "down " + code();
    case ScriptVerb::Up:
        return line + "up " + code();
    case ScriptVerb::Press:
        return line + "press " + code();
    case ScriptVerb::Type:
        return line + "type " + event.text;
    case ScriptVerb::Close:
        return line + "close";
    case ScriptVerb::JoyAxis:
        return line + joy + "axis " + std::string(1, axisLetters[int(event.a) % 6]) + " " +
               realText(event.b);
    case ScriptVerb::JoyHat:
        return line + joy + "hat " + realText(event.a);
    case ScriptVerb::JoyButton:
        return line + joy + "button " + std::to_string(int(event.a)) + " " +
               std::to_string(int(event.b));
    case ScriptVerb::End:
        break;
    }
    return line + "end";
}
