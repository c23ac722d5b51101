// settings_panel.cpp - the options sheet that Tab slides down from the top edge
// on every screen: graphics options, the control bindings grid of keyboard- or
// pad-played set-ups, audio options and the joystick list, and the three
// widgets it is built from (option button, volume slider, binding button).
#include "draw/draw.h"
#include "input/bindings.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "text/text.h"
#include "ui/ui.h"

#include <algorithm>
#include <cstdint>
#include <limits>

PanelState panel;

namespace {

constexpr int PanelHidden = -300, PanelSlideStep = 32;

// The icon sheet has 64 cells; anything else would read past it.
int IconCell(int cell) {
    return std::clamp(cell, 0, 63);
}

// Steps the chosen display mode by +1 or -1, wrapping around the mode list, and
// takes its size. An empty list leaves everything as it is.
void StepMode(int step) {
    int count = display.ModeCount;
    if (count <= 0) return;
    int index = shell.Settings[slot::ModeIndex] + step;
    if (index > count) index = 1;
    if (index < 1) index = count;
    shell.Settings[slot::ModeIndex] = index;
    shell.Settings[slot::Width] = display.ModeWidths[index];
    shell.Settings[slot::Height] = display.ModeHeights[index];
}

// The resolution button and the area below it: keys and clicks step the mode.
void ResolutionControl(int o) {
    // Presses made while the area was not under the pointer are dropped, so a
    // stale arrow press from another screen never changes the mode.
    int right = KeyPressCount(KeyRight), up = KeyPressCount(KeyUp);
    int left = KeyPressCount(KeyLeft), down = KeyPressCount(KeyDown);
    int hovered = OptionButton(slot::Widescreen, 20, 70, 11, "Resolution");
    if (!hovered) hovered = MouseInRect(20, 70 + o, 200, 70);
    if (!hovered) return;
    if (right || up || panel.LeftClicks) StepMode(1);
    if (left || down || panel.RightClicks) StepMode(-1);
}

// The chosen size and a remark on how it will look.
void DrawSizeText(int o) {
    SetZoom(1);
    int width = shell.Settings[slot::Width], height = shell.Settings[slot::Height];
    DrawTextAligned(20, o + 108, std::to_string(width) + "x" + std::to_string(height), 0, 0);
    if (height < 900) {
        SetTint(255, 180, 80, 1);
        DrawTextAligned(80, o + 128, "Small (Bit blurry)", 0, 0);
    } else if (height <= 960) {
        SetTint(255, 255, 80, 1);
        DrawTextAligned(80, o + 128, "Native (Crisp, Clear)", 0, 0);
    } else {
        SetTint(180, 255, 80, 1);
        DrawTextAligned(80, o + 128, "Bigger! (High-Definition!)", 0, 0);
    }
}

// The "Apply" button: saves the setup and reopens the display with it.
void ApplyButton(int o) {
    SetZoom(1);
    SetTint(0, 120, 0, 0.5f);
    int w = MeasureText("Apply") + 4, h = TextLineHeight() + 4;
    if (MouseInRect(18, o + 258, w, h)) {
        DrawRect(18, static_cast<float>(o + 258), static_cast<float>(w), static_cast<float>(h));
        if (panel.LeftClicks) {
            panel.LeftClicks = 0;
            frame.SettingsOpen = 0;
            WriteSetupFile();
            if (!ApplyDisplaySettings()) EndWithoutDisplay();
        }
    }
    SetTint(80, 255, 80, 1);
    DrawTextAligned(20, o + 260, "Apply", 0, 0);
}

// Window mode, resolution, frame skipping, engine and "Apply".
void GraphicsColumn(int o) {
    OptionButton(slot::Fullscreen, 20, 30, 13, "Windowed", "Fullscreen");
    ResolutionControl(o);
    DrawSizeText(o);
    SetTint(80, 255, 80, 1);
    OptionButton(slot::SlowSystem, 20, 146, 18, "Draw all Frames|Decent System",
                 "Frameskip|Slow System");
    OptionButton(slot::GfxEngine, 20, 184, 18, "OpenGL|Optimum", "DirectX 9|Alternative",
                 "DirectX 7|Backup");
    ApplyButton(o);
}

// One player's bindings laid out like a game pad with its top-left at x, y.
void PadBindings(int player, int x, int y) {
    struct Cell {
        int control, dx, dy, r, g, b;
    };
    static const Cell cells[] = {
        {0, 50, 0, 80, 255, 80},    {3, 0, 50, 80, 255, 80},    {5, 100, 50, 80, 255, 80},
        {8, 50, 50, 80, 255, 80},   {13, 190, 0, 255, 255, 80}, {12, 155, 30, 80, 80, 255},
        {11, 225, 30, 255, 80, 80}, {10, 190, 60, 80, 255, 80},
    };
    int base = (player - 1) * 20;
    for (const Cell& cell : cells) {
        SetTint(static_cast<float>(cell.r), static_cast<float>(cell.g), static_cast<float>(cell.b));
        BindButton(base + cell.control, x + cell.dx, y + cell.dy);
    }
}

// The bindings of four players: 1 and 2 at the left, 3 and 4 beside them.
void BindingsGrid(int o) {
    int x = 250, y = o + 10;
    for (int player = 1; player <= 4; player++) {
        PadBindings(player, x, y);
        y += 150;
        if (player == 2) {
            y = o + 10;
            x += 400;
        }
    }
}

// A volume slot snapped to 0 and 100 near the ends of the track.
int SnapVolume(int value) {
    if (value < 6) return 0;
    if (value > 94) return 100;
    return value;
}

// The joysticks by name; a click enables or disables one.
void JoystickList(int x, int y) {
    int count = std::clamp(shell.JoystickCount, 0, MaxJoysticks);
    for (int i = 1; i <= count; i++) {
        if (JoystickButton(i - 1, 0))
            SetTint(255, 255, 80, 1);
        else
            SetTint(80, 255, 80, 1);
        if (shell.JoystickEnabled[i] == 0) SetAlpha(0.2f);
        const std::string& name = shell.JoystickNames[i];
        if (MouseInRect(x, y, MeasureText(name), 14) && panel.LeftClicks) {
            panel.LeftClicks = 0;
            shell.JoystickEnabled[i] = 1 - shell.JoystickEnabled[i];
        }
        DrawTextAligned(x, y, name, 0, 0);
        y += 15;
    }
}

// Audio driver, the three volumes and the joystick list.
void AudioColumn(int o) {
    int x = display.VirtualWidth - 280, y = o + 10;
    OptionButton(slot::AudioDriver, x, 20, 24, "AUDIO");
    SetZoom(1);
    SetTint(255, 180, 180, 1);
    DrawTextAligned(x, y + 40, "Changes require a Restart", 0, 0);
    int* s = shell.Settings;
    y += 60;
    s[slot::MasterVolume] = SnapVolume(VolumeSlider(s[slot::MasterVolume], x, y, "Master Volume"));
    y += 50;
    s[slot::SoundVolume] = SnapVolume(VolumeSlider(s[slot::SoundVolume], x, y, "Sounds"));
    y += 50;
    s[slot::MusicVolume] = SnapVolume(VolumeSlider(s[slot::MusicVolume], x, y, "Music"));
    y += 60;
    JoystickList(x, y);
}

// The shaded sheet, its green edge and the column title.
void DrawBackdrop(int o) {
    SetFont(display.FontSet[2]);
    ResetDrawState();
    float width = static_cast<float>(display.VirtualWidth);
    SetBlendKind(2);
    SetTint(40, 40, 40, 0.8f);
    DrawRect(0, 0, width, static_cast<float>(o + 300));
    SetBlendKind(1);
    SetTint(80, 80, 80, 0.4f);
    DrawRect(0, 0, width, static_cast<float>(o + 298));
    SetTint(180, 255, 180, 1);
    DrawRect(0, static_cast<float>(o + 298), width, 2);
    // The panel's icons must not be cut off by what the screen below drew.
    sprites.DrawnSprites[1] = 0;
    sprites.DrawnSprites[2] = 0;
    SetTint(80, 255, 80, 1);
    DrawTextAligned(20, o + 4, "Graphics", 0, 0);
}

} // namespace

// Samples the clicks, slides the panel and draws it while any of it shows.
void SettingsPanel() {
    panel.LeftClicks = MousePressCount(1);
    panel.RightClicks = MousePressCount(2);
    int& o = panel.PanelOffset;
    if (frame.SettingsOpen == 1 && o < 0) o += PanelSlideStep;
    if (frame.SettingsOpen == 0 && o > PanelHidden) o -= PanelSlideStep;
    if (o <= PanelHidden) return;

    DrawBackdrop(o);
    GraphicsColumn(o);
    // "Apply" may have reopened the display; the rest still draws this frame.
    if (shell.TitleInputMode == 0) BindingsGrid(o);
    AudioColumn(o);
}

// Shows and cycles Settings[slot] with an icon and the label of its value; 1
// while the pointer is over it.
int OptionButton(int slot, int x, int y, int icon, const std::string& label0,
                 const std::string& label1, const std::string& label2, const std::string& label3,
                 const std::string& label4, const std::string& label5) {
    std::string labels[6] = {label0, label1, label2, label3, label4, label5};
    if (label0 == "AUDIO") {
        int drivers = static_cast<int>(shell.AudioDriverList.size());
        for (int k = 0; k < 6 && k < drivers; k++)
            labels[k] = "Audio Driver|" + shell.AudioDriverList[k];
    }
    int value = shell.Settings[slot];
    int count = 1;
    for (int k = 1; k <= 5; k++)
        if (!labels[k].empty()) count = k + 1;
    // A value without a label (or a stray value from the setup file) shows
    // label0; the icon follows the value only within the six label places.
    int labelIndex = (value >= 1 && value <= 5 && !labels[value].empty()) ? value : 0;
    const std::string& shown = labels[labelIndex];
    int cell = IconCell(icon + ((value >= 0 && value <= 5) ? value : 0));
    int o = panel.PanelOffset;

    SetZoom(1);
    SetFont(display.FontSet[2]);
    std::string firstLine = shown;
    if (shown.find('|') == std::string::npos) {
        DrawTextAligned(x + 38, y + o + 16, shown, 0, 1);
    } else {
        firstLine = FieldOf(shown, "|", 1);
        DrawTextAligned(x + 38, y + o + 8, firstLine, 0, 1);
        DrawTextAligned(x + 38, y + o + 24, FieldOf(shown, "|", 2), 0, 1);
    }

    SetZoom(2);
    int w = MeasureText(firstLine);
    if (!MouseInRect(x, y + o, w, 32)) DrawSprite(display.IconSheetCrisp, x, y + o, cell, 1);
    if (!MouseInRect(x, y + o, w + 38, 32)) return 0;
    DrawGlowSprite(display.IconSheetCrisp, x, y + o, cell, display.IconSheet, 1.1f, 0.8f);
    if (panel.LeftClicks) shell.Settings[slot] = ((value + 1) % count + count) % count;
    return 1;
}

// A track with a knob at `value`; dragging with the left button moves it.
int VolumeSlider(int value, int x, int y, const std::string& label) {
    SetTint(80, 255, 80);
    SetZoom(3.1f, 1.5f);
    DrawSprite(display.IconSheetCrisp, x - 2, y, 21, 1);
    DrawSprite(display.IconSheetCrisp, x + 48, y, 22, 1);
    SetTint(255, 80, 80);
    SetZoom(1, 1.5f);
    // A volume far past 100 from the setup file puts the knob off the track, and
    // off the screen, but never past the ends of int.
    int64_t knobX = int64_t{x} + value - 9;
    knobX = std::clamp<int64_t>(knobX, std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::max());
    DrawSprite(display.IconSheetCrisp, static_cast<int>(knobX), y, 23, 1);
    SetTint(80, 180, 255);
    if (MouseInRect(x - 2, y - 4, 100, 24) && IsMouseDown(1)) value = frame.FrameMouseX - (x - 2);
    SetZoom(1, 1);
    DrawTextAligned(x, y + 20, label + " : " + std::to_string(value), 0, 0);
    return value;
}

// A 48 x 48 cell for ControlBindings[binding]: while the pointer rests on it
// on the fully open panel, the input pressed becomes the binding (Backspace
// unbinds); it lights up while its input is held.
void BindButton(int binding, int x, int y) {
    if (binding < 0 || binding > 100) return;
    int& bound = shell.ControlBindings[binding];
    int shown = bound;
    float active = 0;
    if (MouseInRect(x, y, 48, 48) && panel.PanelOffset >= 0) {
        active = 1;
        int code = PressedInputCode();
        if (code > KeyBackspace) bound = code;
        if (code == KeyBackspace) bound = 0;
    }
    if (InputHeld(bound)) active = 1;

    int cell = -1, labelX = x + 24, labelY = y + 24;
    std::string label;
    if (shown == 0) {
        cell = 3;
        label = "?!";
    } else if (shown >= 9 && shown <= 254) {
        cell = 3;
        label = KeyName(bound);
    } else if (shown >= 300) {
        int component = shown % 50;
        label = KeyName(bound);
        if (component < 12) {
            cell = 9;
            labelX = x;
            labelY = y;
        } else if (component >= 20 && component <= 29) {
            cell = 8;
            labelX = x;
            labelY = y;
        } else if (component >= 30) {
            cell = 10;
        }
    }
    if (cell < 0) return;
    SetZoom(3);
    DrawGlowSprite(display.IconSheetCrisp, x, y, cell, display.IconSheet, 1.1f, active);
    SetZoom(1);
    DrawTextAligned(labelX, labelY, label, 1, 1);
}
