// setup_fuzz.cpp - throws arbitrary bytes at the "Setup.ini" reader.
//
// Each input is written as Setup.ini in a scratch Files folder and read the
// way start-up reads it. Whatever was read must then survive the writer: the
// file WriteSetupFile makes from those values reads back to the very same
// settings and bindings.
#include "fuzz_support.h"
#include "shell/shell.h"

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
    return 0;
}
