// setup_fuzz.cpp - throws arbitrary bytes at the "Setup.ini" reader.
//
// Each input is written as Setup.ini in a scratch Files folder and read the
// way start-up reads it. Whatever was read must then survive the writer: the
// file WriteSetupFile makes from those values reads back to the very same
// settings and bindings. The values read then go where the game takes them:
// start-up's display set-up (modes, engine, splash and its jingle volume) and
// a frame of the open settings panel (sizes, volume sliders, bindings grid).
#include "fuzz_support.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The slots the setup file carries.
const int CarriedSlots[] = {slot::Fullscreen,  slot::GfxEngine,   slot::Width,
                            slot::Height,      slot::SlowSystem,  slot::MasterVolume,
                            slot::SoundVolume, slot::MusicVolume, slot::AudioDriver};

// The tables as start-up leaves them before reading the file.
void resetTables() {
    std::vector<std::string> drivers = AudioDriverNames();
    shell = ShellState{};
    SetDefaultSettings();
    SetDefaultBindings();
    shell.AudioDriverList = drivers;
}

struct Snapshot {
    int settings[100];
    int bindings[101];
};

Snapshot take() {
    Snapshot s;
    std::memcpy(s.settings, shell.Settings, sizeof s.settings);
    std::memcpy(s.bindings, shell.ControlBindings, sizeof s.bindings);
    return s;
}

// Start-up's display set-up with the settings as read, then one frame of the
// open settings panel as this game shows it and one with the bindings grid of
// keyboard-played set-ups. Runs in the game folder, as start-up leaves it.
void driveDisplayAndPanel() {
    if (!ChangeDir(GameFolder())) std::abort();
    ClearRecordedDraws();     // the last input's drawing is of no use
    display = DisplayState{}; // a first set-up, so the splash and its jingle come too
    frame = FrameState{};
    panel = PanelState{};
    FUZZ_CHECK(ApplyDisplaySettings()); // the recording back-end always opens one
    FUZZ_CHECK(CurrentDir() + "/" == FuzzDir() + GameFolder());
    FUZZ_CHECK(!FileExists("crash.dat"));
    FUZZ_CHECK(shell.Settings[slot::Width] == display.PhysicalWidth &&
               shell.Settings[slot::Height] == display.PhysicalHeight);

    frame.SettingsOpen = 1;
    panel.PanelOffset = 20 - 32; // one slide step short of fully open
    for (int mode : {1, 0}) {
        shell.TitleInputMode = mode;
        SettingsPanel();
        FUZZ_CHECK(panel.PanelOffset == 20);
        // The sliders snap every volume into 0..100, whatever the file held.
        for (int s : {slot::MasterVolume, slot::SoundVolume, slot::MusicVolume})
            FUZZ_CHECK(shell.Settings[s] >= 0 && shell.Settings[s] <= 100);
    }
    if (!ChangeDir("..")) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ALSOFT_DRIVERS", "null", 1); // an OpenAL choice opens no real device
    StartFuzzPlatform();
    if (!ChangeDir(FuzzDir()) || !MakeDir(GameFolder())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!ChangeDir(FuzzDir())) std::abort();
    WriteFuzzFile("Setup.ini", data, size);
    resetTables();
    ReadSetupFile();
    const Snapshot first = take();
    for (int s : CarriedSlots) {
        FUZZ_CHECK(first.settings[s] >= 0 || s == slot::AudioDriver);
    }
    FUZZ_CHECK(first.settings[slot::AudioDriver] >= 0 &&
               first.settings[slot::AudioDriver] < int(shell.AudioDriverList.size()));

    // Written from the game folder, as the settings panel and closing screen do.
    if (!ChangeDir(GameFolder())) std::abort();
    WriteSetupFile();
    FUZZ_CHECK(CurrentDir() + "/" == FuzzDir() + GameFolder());
    if (!ChangeDir("..")) std::abort();
    resetTables();
    ReadSetupFile();
    const Snapshot second = take();
    for (int s : CarriedSlots) {
        if (first.settings[s] != second.settings[s])
            std::fprintf(stderr, "slot %d: %d read, %d after writing\n", s, first.settings[s],
                         second.settings[s]);
        FUZZ_CHECK(first.settings[s] == second.settings[s]);
    }
    // The writer leaves unbound slots out, so reading its file gives them their
    // start-up defaults back.
    resetTables();
    for (int k = 0; k < 100; k++)
        FUZZ_CHECK(second.bindings[k] ==
                   (first.bindings[k] > 0 ? first.bindings[k] : shell.ControlBindings[k]));

    resetTables();
    ReadSetupFile();
    driveDisplayAndPanel();
    return 0;
}
