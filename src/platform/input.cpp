// input.cpp - keyboard, mouse and joystick state.
//
// One input state, fed either by SDL's events (live play) or by a script of
// timed events played against the virtual clock. Keys are kept as Windows
// virtual-key numbers so the bindings and key names mean the same keys on
// every system. Live input can also be written out (--record) as a script
// that replays the session.
#include "platform/internal.h"
#include "platform/keys.h"
#include "platform/script.h"

#include <SDL.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

namespace {

// One joystick port: an SDL joystick, or one played by the script.
struct Joystick {
    SDL_Joystick* device = nullptr; // nullptr for a scripted joystick
    SDL_JoystickID id = -1;
    std::string name;
    std::array<float, 6> axes{}; // scripted joysticks only
    float hat = -1;
    uint32_t buttons = 0;
    int buttonCount = 0;
};

// A scripted press holds its key or button down through the next whole frame
// that is presented, so code that tests what is held during a frame sees it
// (a slow system presents every other frame and tests some keys only then).
// A screen waiting without showing frames gets it released after a while.
struct HeldPress {
    int code;
    int frame; // framesEnded when it went down
    int ms;    // Millis when it went down
};
const int PressHoldLimitMs = 100;

struct InputState {
    std::array<bool, 256> keyDown{};
    std::array<int, 256> keyPresses{};
    std::array<bool, 4> mouseDown{};
    std::array<int, 4> mousePresses{};
    std::deque<int> typed;
    float mouseX = 0, mouseY = 0;
    bool closeRequested = false;
    std::vector<Joystick> joysticks;
    // scripted input
    bool scripted = false;
    std::string scriptName;
    std::vector<ScriptEvent> events;
    size_t nextEvent = 0;
    bool scriptEnded = false;
    std::vector<HeldPress> pressed; // "press" inputs still held down
    int framesEnded = 0;            // frames ended so far, presented or skipped
    // --record
    FILE* record = nullptr;
    std::string recordPath;
    bool moveWaiting = false; // a mouse move not yet written
    int recordX = 0, recordY = 0;
};

InputState input;

// SDL scancodes to Windows virtual-key numbers; positions follow the UK layout.
int virtualKeyOf(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 65 + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return 49 + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 97 + (sc - SDL_SCANCODE_KP_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return KeyF1 + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return 124 + (sc - SDL_SCANCODE_F13);
    switch (sc) {
    case SDL_SCANCODE_0:
        return 48;
    case SDL_SCANCODE_KP_0:
        return 96;
    case SDL_SCANCODE_BACKSPACE:
        return KeyBackspace;
    case SDL_SCANCODE_TAB:
        return KeyTab;
    case SDL_SCANCODE_CLEAR:
        return 12;
    case SDL_SCANCODE_RETURN:
        return KeyReturn;
    case SDL_SCANCODE_KP_ENTER:
        return KeyReturn;
    case SDL_SCANCODE_PAUSE:
        return 19;
    case SDL_SCANCODE_CAPSLOCK:
        return 20;
    case SDL_SCANCODE_ESCAPE:
        return KeyEscape;
    case SDL_SCANCODE_SPACE:
        return KeySpace;
    case SDL_SCANCODE_PAGEUP:
        return 33;
    case SDL_SCANCODE_PAGEDOWN:
        return 34;
    case SDL_SCANCODE_END:
        return 35;
    case SDL_SCANCODE_HOME:
        return 36;
    case SDL_SCANCODE_LEFT:
        return KeyLeft;
    case SDL_SCANCODE_UP:
        return KeyUp;
    case SDL_SCANCODE_RIGHT:
        return KeyRight;
    case SDL_SCANCODE_DOWN:
        return KeyDown;
    case SDL_SCANCODE_SELECT:
        return 41;
    case SDL_SCANCODE_EXECUTE:
        return 43;
    case SDL_SCANCODE_PRINTSCREEN:
        return 44;
    case SDL_SCANCODE_INSERT:
        return 45;
    case SDL_SCANCODE_DELETE:
        return 46;
    case SDL_SCANCODE_HELP:
        return 47;
    case SDL_SCANCODE_LGUI:
        return 91;
    case SDL_SCANCODE_RGUI:
        return 92;
    case SDL_SCANCODE_APPLICATION:
        return 93;
    case SDL_SCANCODE_SLEEP:
        return 95;
    case SDL_SCANCODE_KP_MULTIPLY:
        return 106;
    case SDL_SCANCODE_KP_PLUS:
        return 107;
    case SDL_SCANCODE_KP_MINUS:
        return 109;
    case SDL_SCANCODE_KP_PERIOD:
        return 110;
    case SDL_SCANCODE_KP_DIVIDE:
        return 111;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return 144;
    case SDL_SCANCODE_SCROLLLOCK:
        return 145;
    case SDL_SCANCODE_LSHIFT:
        return 160;
    case SDL_SCANCODE_RSHIFT:
        return 161;
    case SDL_SCANCODE_LCTRL:
        return 162;
    case SDL_SCANCODE_RCTRL:
        return 163;
    case SDL_SCANCODE_LALT:
        return KeyLeftAlt;
    case SDL_SCANCODE_RALT:
        return KeyRightAlt;
    case SDL_SCANCODE_MUTE:
        return 173;
    case SDL_SCANCODE_VOLUMEDOWN:
        return 174;
    case SDL_SCANCODE_VOLUMEUP:
        return 175;
    case SDL_SCANCODE_AUDIONEXT:
        return 176;
    case SDL_SCANCODE_AUDIOPREV:
        return 177;
    case SDL_SCANCODE_AUDIOSTOP:
        return 178;
    case SDL_SCANCODE_AUDIOPLAY:
        return 179;
    case SDL_SCANCODE_SEMICOLON:
        return 186;
    case SDL_SCANCODE_EQUALS:
        return 187;
    case SDL_SCANCODE_COMMA:
        return 188;
    case SDL_SCANCODE_MINUS:
        return 189;
    case SDL_SCANCODE_PERIOD:
        return 190;
    case SDL_SCANCODE_SLASH:
        return 191;
    case SDL_SCANCODE_APOSTROPHE:
        return 192;
    case SDL_SCANCODE_LEFTBRACKET:
        return 219;
    case SDL_SCANCODE_BACKSLASH:
        return 220;
    case SDL_SCANCODE_RIGHTBRACKET:
        return 221;
    case SDL_SCANCODE_NONUSHASH:
        return 222;
    case SDL_SCANCODE_GRAVE:
        return 223;
    case SDL_SCANCODE_NONUSBACKSLASH:
        return 226;
    default:
        return 0;
    }
}

// Writes text to the --record file, flushed at once. A failed write (a full
// disk) is said on stderr and ends the recording: what was written stays.
void recordText(const std::string& text) {
    if (!input.record) return;
    bool written = std::fwrite(text.data(), 1, text.size(), input.record) == text.size();
    written = std::fflush(input.record) == 0 && written;
    if (written) return;
    std::fprintf(stderr,
                 "zorvek-plon: --record: cannot write %s: %s; the input is no longer "
                 "recorded\n",
                 input.recordPath.c_str(), std::strerror(errno));
    std::fclose(input.record);
    input.record = nullptr;
}

// Writes one event to the --record file.
void recordEvent(const ScriptEvent& event) {
    if (input.record) recordText(FormatScriptEvent(event) + "\n");
}

// Writes the mouse position if it moved since the last written one.
void recordMove() {
    if (!input.moveWaiting) return;
    input.moveWaiting = false;
    ScriptEvent event;
    event.ms = Millis();
    event.verb = ScriptVerb::Mouse;
    event.a = float(input.recordX);
    event.b = float(input.recordY);
    recordEvent(event);
}

// Records a key or mouse button change (code 1000 + n for mouse button n).
void recordChange(int code, bool down) {
    if (!input.record) return;
    recordMove(); // the button acts where the pointer was
    ScriptEvent event;
    event.ms = Millis();
    event.verb = down ? ScriptVerb::Down : ScriptVerb::Up;
    event.code = code;
    recordEvent(event);
}

// Keeps the generic Shift/Ctrl/Alt codes in step with their two sides.
void updateGeneric(int generic, int left, int right) {
    bool down = input.keyDown[left] || input.keyDown[right];
    if (down && !input.keyDown[generic]) input.keyPresses[generic]++;
    input.keyDown[generic] = down;
}

// A key goes down or up; a new press is counted when it was up.
void setKey(int vk, bool down) {
    if (vk <= 0 || vk > 255) return;
    if (down && !input.keyDown[vk]) input.keyPresses[vk]++;
    input.keyDown[vk] = down;
    updateGeneric(16, 160, 161);
    updateGeneric(17, 162, 163);
    updateGeneric(18, 164, 165);
}

// A mouse button (1 left, 2 right, 3 middle) goes down or up.
void setMouse(int button, bool down) {
    if (button < 1 || button > 3) return;
    if (down && !input.mouseDown[button]) input.mousePresses[button]++;
    input.mouseDown[button] = down;
}

// Applies a down/up to a key or mouse button code.
void setCode(int code, bool down) {
    if (code > 1000)
        setMouse(code - 1000, down);
    else
        setKey(code, down);
}

// Queues typed text, UTF-8 decoded; characters above 255 are not Latin-1 and dropped.
void typeUtf8(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned code = *p;
        int more = 0;
        if (code >= 0xF0)
            code &= 0x07, more = 3;
        else if (code >= 0xE0)
            code &= 0x0F, more = 2;
        else if (code >= 0xC0)
            code &= 0x1F, more = 1;
        else if (code >= 0x80)
            code = 0x110000; // stray continuation byte
        p++;
        for (; more > 0 && (*p & 0xC0) == 0x80; more--, p++) code = (code << 6) | (*p & 0x3F);
        if (more > 0) code = 0x110000; // cut short
        if (code >= 32 && code <= 255 && code != 127) input.typed.push_back(int(code));
    }
}

// Opens an SDL joystick by device index unless it is already open.
void openJoystick(int index) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
    for (const Joystick& j : input.joysticks)
        if (j.device && j.id == id) return;
    SDL_Joystick* device = SDL_JoystickOpen(index);
    if (!device) return;
    Joystick j;
    j.device = device;
    j.id = SDL_JoystickInstanceID(device);
    const char* name = SDL_JoystickName(device);
    j.name = name ? name : "Joystick";
    j.buttonCount = std::min(SDL_JoystickNumButtons(device), 32);
    input.joysticks.push_back(j);
}

// Closes the SDL joystick with this instance id and drops its port.
void closeJoystick(SDL_JoystickID id) {
    for (size_t i = 0; i < input.joysticks.size(); i++) {
        if (input.joysticks[i].device && input.joysticks[i].id == id) {
            SDL_JoystickClose(input.joysticks[i].device);
            input.joysticks.erase(input.joysticks.begin() + long(i));
            return;
        }
    }
}

// Makes scripted joysticks 1..n for every joystick number the script uses.
void makeScriptJoysticks() {
    int count = 0;
    std::array<int, 4> buttons{};
    for (const ScriptEvent& e : input.events) {
        if (e.verb != ScriptVerb::JoyAxis && e.verb != ScriptVerb::JoyHat &&
            e.verb != ScriptVerb::JoyButton)
            continue;
        count = std::max(count, e.joystick + 1);
        if (e.verb == ScriptVerb::JoyButton)
            buttons[size_t(e.joystick)] = std::max(buttons[size_t(e.joystick)], int(e.a) + 1);
    }
    for (int n = 0; n < count; n++) {
        Joystick j;
        j.name = "Script Joystick " + std::to_string(n + 1);
        j.buttonCount = std::max(buttons[size_t(n)], 1);
        input.joysticks.push_back(j);
    }
}

// Forgets a held press of a code; true when there was one.
bool dropPress(int code) {
    auto it = std::find_if(input.pressed.begin(), input.pressed.end(),
                           [code](const HeldPress& p) { return p.code == code; });
    if (it == input.pressed.end()) return false;
    input.pressed.erase(it);
    return true;
}

// Lets go of the presses held for long enough, or (shown set: a frame was
// just presented) those held through a whole frame after the one they went
// down in.
void releasePresses(int ms, bool shown = false) {
    for (auto it = input.pressed.begin(); it != input.pressed.end();) {
        if ((shown && input.framesEnded - it->frame >= 2) || ms - it->ms >= PressHoldLimitMs) {
            setCode(it->code, false);
            it = input.pressed.erase(it);
        } else {
            ++it;
        }
    }
}

// A press: down now (again, when a press still holds it), up after the next
// whole frame presented.
void press(int code, int ms) {
    if (dropPress(code)) setCode(code, false);
    setCode(code, true);
    input.pressed.push_back({code, input.framesEnded, ms});
}

// Applies one scripted event at ms to the input state.
void applyEvent(const ScriptEvent& e, int ms) {
    Joystick* joy = size_t(e.joystick) < input.joysticks.size()
                        ? &input.joysticks[size_t(e.joystick)]
                        : nullptr;
    switch (e.verb) {
    case ScriptVerb::Mouse:
        input.mouseX = e.a;
        input.mouseY = e.b;
        break;
    case ScriptVerb::Down:
        dropPress(e.code); // held from now on, until its up
        setCode(e.code, true);
        break;
    case ScriptVerb::Up:
        dropPress(e.code);
        setCode(e.code, false);
        break;
    case ScriptVerb::Press:
        press(e.code, ms);
        break;
    case ScriptVerb::Type:
        for (char c : e.text) input.typed.push_back(int(static_cast<unsigned char>(c)));
        break;
    case ScriptVerb::Close:
        input.closeRequested = true;
        break;
    case ScriptVerb::JoyAxis:
        if (joy) joy->axes[size_t(e.a) % 6] = e.b;
        break;
    case ScriptVerb::JoyHat:
        if (joy) joy->hat = e.a;
        break;
    case ScriptVerb::JoyButton:
        if (joy && e.a >= 0 && e.a < 32) {
            uint32_t bit = 1u << int(e.a);
            joy->buttons = e.b != 0 ? (joy->buttons | bit) : (joy->buttons & ~bit);
        }
        break;
    case ScriptVerb::End:
        break;
    }
}

// Ends the run when a script has run out.
[[noreturn]] void endScript(const char* why) {
    input.scriptEnded = true;
    std::fprintf(stderr, "script ended (%s): %s\n", why, input.scriptName.c_str());
    EndProcess(3);
}

// Moves the pointer to an SDL event's place; a recording writes the move
// before the next button or key so that it acts where the pointer was.
void takePointer(int x, int y) {
    input.mouseX = float(x);
    input.mouseY = float(y);
    if (input.record && (x != input.recordX || y != input.recordY)) {
        input.recordX = x;
        input.recordY = y;
        input.moveWaiting = true;
    }
}

// Takes one SDL event into the input state (and the record).
void handleEvent(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        input.closeRequested = true;
        if (input.record) {
            ScriptEvent event;
            event.ms = Millis();
            event.verb = ScriptVerb::Close;
            recordEvent(event);
        }
        return;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            SDL_Event quit{};
            quit.type = SDL_QUIT;
            handleEvent(quit);
        }
        return;
    case SDL_JOYDEVICEADDED:
        if (!input.scripted) openJoystick(e.jdevice.which);
        return;
    case SDL_JOYDEVICEREMOVED:
        closeJoystick(e.jdevice.which);
        return;
    default:
        break;
    }
    if (input.scripted) return; // the script alone plays keys and mouse
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        if (e.key.repeat) return;
        int vk = virtualKeyOf(e.key.keysym.scancode);
        bool down = e.type == SDL_KEYDOWN;
        if (vk == 0 || input.keyDown[size_t(vk)] == down) return;
        setKey(vk, down);
        recordChange(vk, down);
        return;
    }
    case SDL_TEXTINPUT: {
        size_t before = input.typed.size();
        typeUtf8(e.text.text);
        if (input.record && input.typed.size() > before) {
            recordMove();
            ScriptEvent event;
            event.ms = Millis();
            event.verb = ScriptVerb::Type;
            for (size_t i = before; i < input.typed.size(); i++) event.text += char(input.typed[i]);
            recordEvent(event);
        }
        return;
    }
    case SDL_MOUSEMOTION: {
        int x = e.motion.x, y = e.motion.y;
        VideoWindowToLogical(x, y);
        takePointer(x, y);
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int button = e.button.button == SDL_BUTTON_LEFT     ? 1
                     : e.button.button == SDL_BUTTON_RIGHT  ? 2
                     : e.button.button == SDL_BUTTON_MIDDLE ? 3
                                                            : 0;
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        if (button == 0 || input.mouseDown[size_t(button)] == down) return;
        int x = e.button.x, y = e.button.y;
        VideoWindowToLogical(x, y);
        takePointer(x, y);
        setMouse(button, down);
        recordChange(1000 + button, down);
        return;
    }
    default:
        return;
    }
}

// The joystick on a port, nullptr when there is none.
Joystick* joystickAt(int port) {
    if (port < 0 || size_t(port) >= input.joysticks.size()) return nullptr;
    return &input.joysticks[size_t(port)];
}

} // namespace

// Resets the input state, loads the script or opens the record file and the joysticks.
bool InputInit(const PlatformConfig& config) {
    InputShutdown();
    input = InputState{};
    if (config.scriptEvents) {
        input.events = *config.scriptEvents;
        input.scripted = true;
        input.scriptName = config.scriptPath;
        makeScriptJoysticks();
    } else if (!config.scriptPath.empty()) {
        std::ifstream file(config.scriptPath, std::ios::binary);
        if (!file) {
            SetPlatformError("cannot read the input script " + config.scriptPath);
            return false;
        }
        std::stringstream text;
        text << file.rdbuf();
        std::string error;
        if (!ParseScript(text.str(), config.scriptPath, input.events, error)) {
            SetPlatformError(error);
            return false;
        }
        input.scripted = true;
        input.scriptName = config.scriptPath;
        makeScriptJoysticks();
    } else if (SDL_WasInit(SDL_INIT_JOYSTICK)) {
        for (int i = 0; i < SDL_NumJoysticks(); i++) openJoystick(i);
    }
    if (!config.recordPath.empty()) {
        input.record = std::fopen(config.recordPath.c_str(), "wb");
        if (!input.record) {
            SetPlatformError("cannot write the input record " + config.recordPath);
            return false;
        }
        input.recordPath = config.recordPath;
        recordText("# input recorded by Zorvek Plon: <ms> <verb> <args>\n");
        if (!input.record) {
            SetPlatformError("cannot write the input record " + config.recordPath);
            return false;
        }
    }
    return true;
}

// Flushes and closes the record file (ending the run or shutting down).
void InputCloseRecord() {
    if (!input.record) return;
    recordMove();
    if (input.record && std::fclose(input.record) != 0)
        std::fprintf(stderr, "zorvek-plon: --record: cannot finish %s: %s\n",
                     input.recordPath.c_str(), std::strerror(errno));
    input.record = nullptr;
}

// Closes the record file and the joysticks.
void InputShutdown() {
    InputCloseRecord();
    for (Joystick& j : input.joysticks)
        if (j.device && SDL_WasInit(SDL_INIT_JOYSTICK)) SDL_JoystickClose(j.device);
    input.joysticks.clear();
}

// Applies every scripted event due at or before ms; ends the run at the
// script's end or ten minutes after its last event.
void InputAdvanceTo(int ms) {
    if (!input.scripted || input.scriptEnded) return;
    releasePresses(ms);
    while (input.nextEvent < input.events.size() && input.events[input.nextEvent].ms <= ms) {
        const ScriptEvent& e = input.events[input.nextEvent++];
        if (e.verb == ScriptVerb::End) endScript("end reached");
        applyEvent(e, ms);
        if (input.record) {
            // A scripted run is recorded too, at the moment each event acted.
            ScriptEvent taken = e;
            taken.ms = Millis();
            recordEvent(taken);
        }
    }
    if (input.nextEvent >= input.events.size()) {
        int last = input.events.empty() ? 0 : input.events.back().ms;
        if (int64_t(ms) > int64_t(last) + 600000) endScript("ten minutes after its last event");
    }
}

// Counts a presented frame and lets go of the presses it held through.
void InputFrameShown() {
    input.framesEnded++;
    releasePresses(Millis(), true);
}

// Counts a frame that ended without being presented.
void SkipFlip() {
    input.framesEnded++;
}

// Takes in scripted events due by now and every pending SDL event.
void PumpInput() {
    InputAdvanceTo(Millis());
    if (SDL_WasInit(SDL_INIT_EVENTS)) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) handleEvent(e);
    }
    recordMove();
}

bool IsKeyDown(int key) {
    return key > 0 && key < 256 && input.keyDown[size_t(key)];
}

// Presses of a key since last asked; asking resets the count.
int KeyPressCount(int key) {
    if (key <= 0 || key >= 256) return 0;
    int n = input.keyPresses[size_t(key)];
    input.keyPresses[size_t(key)] = 0;
    return n;
}

bool IsMouseDown(int button) {
    return button >= 1 && button <= 3 && input.mouseDown[size_t(button)];
}

// Clicks of a mouse button since last asked; asking resets the count.
int MousePressCount(int button) {
    if (button < 1 || button > 3) return 0;
    int n = input.mousePresses[size_t(button)];
    input.mousePresses[size_t(button)] = 0;
    return n;
}

// The oldest typed character not yet taken, 0 when none.
int NextTypedChar() {
    if (input.typed.empty()) return 0;
    int c = input.typed.front();
    input.typed.pop_front();
    return c;
}

// Forgets pending key and mouse presses and typed characters.
void FlushKeys() {
    input.keyPresses.fill(0);
    input.mousePresses.fill(0);
    input.typed.clear();
}

float LogicalMouseX() {
    return input.mouseX;
}
float LogicalMouseY() {
    return input.mouseY;
}

// Moves the pointer (and the real one, when there is a window).
void MovePointer(int x, int y) {
    input.mouseX = float(x);
    input.mouseY = float(y);
    if (!input.scripted) VideoWarpPointer(x, y);
}

// Whether the window's close control was used since last asked.
bool CloseRequested() {
    bool asked = input.closeRequested;
    input.closeRequested = false;
    return asked;
}

int JoystickCount() {
    return int(input.joysticks.size());
}

std::string JoystickName(int port) {
    Joystick* j = joystickAt(port);
    return j ? j->name : "";
}

// An axis (0 x, 1 y, 2 z, 3 u, 4 v, 5 r) as a real in -1..1.
float JoystickAxis(int port, int axis) {
    Joystick* j = joystickAt(port);
    if (!j || axis < 0 || axis > 5) return 0;
    if (!j->device) return j->axes[size_t(axis)];
    if (axis >= SDL_JoystickNumAxes(j->device)) return 0;
    float v = float(SDL_JoystickGetAxis(j->device, axis)) / 32767.0f;
    return std::clamp(v, -1.0f, 1.0f);
}

// The first hat as a fraction of a turn clockwise from up, -1 at rest.
float JoystickHat(int port) {
    Joystick* j = joystickAt(port);
    if (!j) return -1;
    if (!j->device) return j->hat;
    if (SDL_JoystickNumHats(j->device) < 1) return -1;
    switch (SDL_JoystickGetHat(j->device, 0)) {
    case SDL_HAT_UP:
        return 0;
    case SDL_HAT_RIGHTUP:
        return 0.125f;
    case SDL_HAT_RIGHT:
        return 0.25f;
    case SDL_HAT_RIGHTDOWN:
        return 0.375f;
    case SDL_HAT_DOWN:
        return 0.5f;
    case SDL_HAT_LEFTDOWN:
        return 0.625f;
    case SDL_HAT_LEFT:
        return 0.75f;
    case SDL_HAT_LEFTUP:
        return 0.875f;
    default:
        return -1;
    }
}

bool JoystickButton(int port, int button) {
    Joystick* j = joystickAt(port);
    if (!j || button < 0 || button >= j->buttonCount) return false;
    if (!j->device) return (j->buttons >> button) & 1u;
    return SDL_JoystickGetButton(j->device, button) != 0;
}

int JoystickButtonCount(int port) {
    Joystick* j = joystickAt(port);
    return j ? j->buttonCount : 0;
}

// Bit b set for every button b the joystick has.
uint32_t JoystickButtonMask(int port) {
    int n = JoystickButtonCount(port);
    return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
}
