// script.h - the scripted-input format, shared by playback and recording.
//
// One event per line, "#" comments and blank lines ignored:
//   <ms> <verb> <args>
// ms: virtual milliseconds since start. Verbs: mouse X Y | down I | up I |
// press I | type TEXT | close | joy N axis A V | joy N hat V | joy N button B 0/1
// | end. I is a virtual-key number or mouse1, mouse2, mouse3. Events at the same
// ms apply in file order.
#pragma once

#include <string>
#include <vector>

enum class ScriptVerb { Mouse, Down, Up, Press, Type, Close, JoyAxis, JoyHat, JoyButton, End };

struct ScriptEvent {
    int ms = 0;
    ScriptVerb verb = ScriptVerb::End;
    int code = 0;        // key code, or 1000 + mouse button (mouse1 = 1001)
    float a = 0, b = 0;  // mouse x, y; joystick axis index/value, hat value, button/state
    int joystick = 0;    // 0-based joystick port for joystick verbs
    std::string text;    // type
};

// Parses a whole script. On a bad line returns false and sets error to
// "<file>:<line>: <reason>".
bool ParseScript(const std::string& source, const std::string& name,
                 std::vector<ScriptEvent>& events, std::string& error);
std::string FormatScriptEvent(const ScriptEvent& event); // one line, no newline
