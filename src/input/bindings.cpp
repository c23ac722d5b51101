// bindings.cpp - the binding code space: whether the input behind a code is
// held, a player's bound control, capturing the input being pressed (for
// rebinding and for "press anything") and the display names of codes.
#include "input/bindings.h"

#include "platform/keys.h"
#include "platform/platform.h"
#include "shell/shell.h"

#include <cstdint>

namespace {

// Platform axis index (x, y, z, u, v, r) for the axis components 0..11 in pairs.
constexpr int ComponentAxis[6] = {1, 0, 2, 3, 4, 5}; // Y, X, Z, U, V, R

constexpr int HatUp = 20, HatRight = 25, HatDown = 28, HatLeft = 23;
constexpr int FirstButton = 30, LastButton = 18;

// Whether joystick j (1-based) is one the start-up table describes.
bool KnownJoystick(int j) {
    int count = shell.JoystickCount < MaxJoysticks ? shell.JoystickCount : MaxJoysticks;
    return j >= 1 && j <= count;
}

// Whether the hat reading h holds the given hat direction (diagonals hold two).
bool HatHolds(int c, float h) {
    switch (c) {
    case HatUp:
        return (h > 0.8f || h < 0.2f) && h >= 0;
    case HatRight:
        return h > 0.1f && h < 0.4f;
    case HatDown:
        return h > 0.3f && h < 0.7f;
    case HatLeft:
        return h > 0.6f && h < 0.9f;
    default:
        return false;
    }
}

// Whether axis component c (0..11) of joystick j is pushed past its dead zone.
bool AxisHolds(int j, int c) {
    int axis = ComponentAxis[c / 2];
    float value = JoystickAxis(j - 1, axis);
    float rest = shell.JoystickRest[j][axis];
    return (c % 2 == 0) ? value < rest - AxisDeadZone : value > rest + AxisDeadZone;
}

struct KeyNameEntry {
    int code;
    const char* name;
};

// The named keys; digits, letters, keypad digits and F-keys are made in KeyName.
const KeyNameEntry NamedKeys[] = {
    {1, "Left Mousebutton"},
    {2, "Right Mousebutton"},
    {3, "Middle Mousebutton"},
    {8, "Backspace"},
    {9, "Tab"},
    {12, "Clear"},
    {13, "Return"},
    {19, "Pause"},
    {20, "CapsLock"},
    {27, "Escape"},
    {32, "Space"},
    {33, "Page Up"},
    {34, "Page Down"},
    {35, "End"},
    {36, "Home"},
    {37, "Left"},
    {38, "Up"},
    {39, "Right"},
    {40, "Down"},
    {41, "Select"},
    {42, "Print"},
    {43, "Execute"},
    {44, "Screen"},
    {45, "Insert"},
    {46, "Delete"},
    {91, "Sys Left"},
    {92, "Sys Right"},
    {106, "*"},
    {107, "+"},
    {109, "-"},
    {110, "."},
    {111, "/"},
    {144, "NumLock"},
    {145, "ScrollLock"},
    {160, "LShift"},
    {161, "RShift"},
    {162, "LControl"},
    {163, "RControl"},
    {164, "LAlt"},
    {165, "RAlt"},
    {173, "Mute"},
    {174, "Volume Down"},
    {175, "Volume Up"},
    {186, ";"},
    {187, "="},
    {188, ","},
    {189, "-"},
    {190, "."},
    {191, "/"},
    {192, "'"},
    {219, "["},
    {220, "\\"},
    {221, "]"},
    {222, "#"},
    {223, "`"},
    {226, "\\"},
};

const char* const AxisNames[12] = {"Y-", "Y+", "X-", "X+", "Z-", "Z+",
                                   "U-", "U+", "V-", "V+", "R-", "R+"};

} // namespace

// 1 while the key, joystick direction, hat direction or button behind code is held.
int InputHeld(int code) {
    if (code >= 10 && code <= 254) return IsKeyDown(code) ? 1 : 0;
    if (code <= 299) return 0;
    int j = code / 50 - 5;
    // Codes of joysticks that are not attached name nothing that can be held.
    if (!KnownJoystick(j)) return 0;
    if (shell.JoystickEnabled[j] == 0) return 0;
    int c = code % 50;
    if (c <= 11) return AxisHolds(j, c) ? 1 : 0;
    if (c == HatUp || c == HatRight || c == HatDown || c == HatLeft) {
        if (shell.JoystickHatFlag[j] != 1) return 0;
        return HatHolds(c, JoystickHat(j - 1)) ? 1 : 0;
    }
    if (c >= FirstButton && c - FirstButton <= LastButton)
        return JoystickButton(j - 1, c - FirstButton) ? 1 : 0;
    return 0;
}

// Whether the given control of the given player (1-based) is held.
int ReadControl(int control, int player) {
    int index = (player - 1) * 20 + control;
    if (index < 0 || index > 100) return 0;
    return InputHeld(shell.ControlBindings[index]);
}

// The code of an input being pressed now (lowest key first, then joysticks), or 0.
int PressedInputCode() {
    if (IsKeyDown(KeyF11) || IsKeyDown(KeyF12)) return 0; // F11 and F12 can never be bound
    for (int k = 1; k <= 255; ++k)
        if (IsKeyDown(k)) return k;
    for (int j = 1; KnownJoystick(j); ++j) {
        if (shell.JoystickEnabled[j] != 1) continue;
        int base = 50 * j + 250;
        for (int c = 0; c <= 11; ++c)
            if (AxisHolds(j, c)) return base + c;
        if (shell.JoystickHatFlag[j] == 1) {
            float h = JoystickHat(j - 1);
            if (h == 0.0f) return base + HatUp;
            if (h == 0.25f) return base + HatRight;
            if (h == 0.5f) return base + HatDown;
            if (h == 0.75f) return base + HatLeft;
        }
        for (int b = 0; b <= LastButton; ++b)
            if ((shell.JoystickButtons[j] >> b & 1u) && JoystickButton(j - 1, b))
                return base + FirstButton + b;
    }
    return 0;
}

// The display name of a binding code: a key's name or a joystick component's.
std::string KeyName(int code) {
    if (code == 0) return ""; // nothing bound
    for (const KeyNameEntry& entry : NamedKeys)
        if (entry.code == code) return entry.name;
    if (code >= 48 && code <= 57) return std::string(1, static_cast<char>('0' + code - 48));
    if (code >= 65 && code <= 90) return std::string(1, static_cast<char>('A' + code - 65));
    if (code >= 96 && code <= 105) return std::string(1, static_cast<char>('0' + code - 96));
    if (code >= KeyF1 && code <= KeyF12) return "F" + std::to_string(code - KeyF1 + 1);
    int c = code % 50;
    if (c < 0) c += 50; // negative codes are still named by a component
    if (c <= 11) return AxisNames[c];
    if (c == HatUp) return "Up";
    if (c == HatRight) return "Right";
    if (c == HatDown) return "Down";
    if (c == HatLeft) return "Left";
    return std::to_string(c - 30);
}
