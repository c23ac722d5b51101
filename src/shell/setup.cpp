// setup.cpp - "Setup.ini": the player's display, audio and control choices
// between runs. The reader is forgiving (unknown lines are ignored, missing
// values keep their defaults); the writer rewrites the whole file.
#include "platform/platform.h"
#include "shell/shell.h"
#include "text/text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

const char* const SetupFileName = "Setup.ini";

// The absolute value of a leniently read integer (the most negative value stays put).
int AbsoluteValue(const std::string& text) {
    int64_t value = ReadInt(text);
    value = value < 0 ? -value : value;
    return value > INT32_MAX ? INT32_MAX : static_cast<int>(value);
}

// Whether the upper-cased start of a driver name is the given prefix.
bool NameStarts(const std::string& name, const std::string& prefix) {
    return Upper(name.substr(0, prefix.size())) == prefix;
}

// Acts on one line of the setup file; sets driverChosen when it names a driver.
void ReadSetupLine(const std::string& line, bool& driverChosen) {
    // FieldOf trims only the line's ends, so the blanks around "=" go here.
    const std::string key = Upper(Trim(FieldOf(line, "=", 1)));
    const std::string value = Trim(FieldOf(line, "=", 2));
    int* settings = shell.Settings;
    if (key == "AUDIODRIVER") {
        driverChosen = true;
        const std::vector<std::string>& list = shell.AudioDriverList;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] == value) settings[slot::AudioDriver] = static_cast<int>(i);
    } else if (key == "FULLSCREEN") {
        const std::string v = Upper(value);
        if (v == "TRUE" || v == "ON") {
            settings[slot::Fullscreen] = 1;
            LogLine("\tSetting to Fullscreen");
        }
    } else if (key == "GFX ENGINE" || key == "GFXENGINE") {
        const std::string v = Upper(value);
        if (v == "DX9") {
            settings[slot::GfxEngine] = 1;
            LogLine("\tDirectX 9 Mode");
        } else if (v == "DX7") {
            settings[slot::GfxEngine] = 2;
            LogLine("\tDirectX 7 Mode");
        }
    } else if (key == "WIDTH") {
        settings[slot::Width] = AbsoluteValue(value);
    } else if (key == "HEIGHT") {
        settings[slot::Height] = AbsoluteValue(value);
    } else if (key == "ESS") {
        settings[slot::SlowSystem] = 1;
        LogLine("\tAssuming Emergency Slow System values.");
    } else if (key == "KEY") {
        int index = AbsoluteValue(FieldOf(value, ",", 1));
        int code = AbsoluteValue(FieldOf(value, ",", 2));
        if (index >= 0 && index <= 99) shell.ControlBindings[index] = code;
    } else if (key == "MASTER") {
        settings[slot::MasterVolume] = AbsoluteValue(value);
    } else if (key == "SOUND") {
        settings[slot::SoundVolume] = AbsoluteValue(value);
    } else if (key == "MUSIC") {
        settings[slot::MusicVolume] = AbsoluteValue(value);
    }
}

// Makes the driver at the stored position active; OpenAL only when it really works.
void ActivateAudioDriver() {
    LogLine("Setting Audio Driver");
    const int index = shell.Settings[slot::AudioDriver];
    const std::vector<std::string>& list = shell.AudioDriverList;
    if (index >= 0 && index < static_cast<int>(list.size())) {
        const std::string& name = list[static_cast<size_t>(index)];
        if (AudioDriverExists(name)) {
            if (!NameStarts(name, "OPENAL") || OpenALUsable()) SetAudioDriver(name);
        }
    }
    LogLine("Set Audio Driver");
    LogLine("");
}

} // namespace

// The default driver for a list: the last "Direct..." one, else the first
// "OpenAL..." or "Free..." one; -1 when no name fits.
int ChooseDefaultAudioDriver(const std::vector<std::string>& list) {
    int chosen = -1;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string& name = list[i];
        if ((NameStarts(name, "OPENAL") || NameStarts(name, "FREE")) && chosen < 0)
            chosen = static_cast<int>(i);
        // A DirectSound driver wins over any other, the last one over earlier ones.
        if (NameStarts(name, "DIRECT")) chosen = static_cast<int>(i);
    }
    return chosen;
}

// Reads "Setup.ini" from the current folder into Settings and ControlBindings,
// then activates the chosen audio driver.
void ReadSetupFile() {
    bool driverChosen = false;
    if (FileExists(SetupFileName)) {
        LogLine("\tReading Setup File");
        std::vector<std::string> lines;
        bool cut = false;
        if (!ReadTextLines(SetupFileName, lines, &cut))
            LogLine("\tSetup file could not be read, keeping the defaults: " + PlatformError());
        else if (cut)
            LogLine("\tSetup file is larger than " + std::to_string(TextReadCap) +
                    " bytes: only its start was read");
        else if (lines.empty())
            lines.push_back(""); // an empty file is one empty line
        for (const std::string& line : lines) ReadSetupLine(line, driverChosen);
    }
    if (!driverChosen) {
        int chosen = ChooseDefaultAudioDriver(shell.AudioDriverList);
        if (chosen >= 0) shell.Settings[slot::AudioDriver] = chosen;
    }
    ActivateAudioDriver();
    LogLine("\tRequested Resolution : " + std::to_string(shell.Settings[slot::Width]) + "x" +
            std::to_string(shell.Settings[slot::Height]));
    LogLine("\tSetup Loaded");
    LogLine("");
}

// The lines of the setup file for the current settings, bindings and driver list.
std::vector<std::string> SetupFileLines() {
    const int* settings = shell.Settings;
    const std::vector<std::string>& list = shell.AudioDriverList;
    std::vector<std::string> lines;
    lines.push_back("[Graphics]");
    if (settings[slot::Fullscreen] == 0) lines.push_back("Fullscreen = False");
    if (settings[slot::Fullscreen] == 1) lines.push_back("Fullscreen = True");
    static const char* const engines[3] = {"OpenGL", "DX9", "DX7"};
    int engine = settings[slot::GfxEngine];
    if (engine >= 0 && engine <= 2) lines.push_back(std::string("GFX Engine = ") + engines[engine]);
    lines.push_back("Width=" + std::to_string(settings[slot::Width]));
    lines.push_back("Height=" + std::to_string(settings[slot::Height]));
    if (settings[slot::SlowSystem] == 1)
        lines.push_back("ESS=1 ; This is a slow system, and things must run a wee bit slower "
                        "for it.  Awww..");
    lines.push_back("");
    lines.push_back("[Audio]");
    lines.push_back("Master = " + std::to_string(settings[slot::MasterVolume]));
    lines.push_back("Sound = " + std::to_string(settings[slot::SoundVolume]));
    lines.push_back("Music = " + std::to_string(settings[slot::MusicVolume]));
    // A stored position outside the list names the first driver instead.
    int driver = settings[slot::AudioDriver];
    std::string driverName;
    if (driver >= 0 && driver < static_cast<int>(list.size()))
        driverName = list[static_cast<size_t>(driver)];
    else if (!list.empty())
        driverName = list[0];
    lines.push_back("AudioDriver = " + driverName);
    for (const std::string& name : list) lines.push_back("; AudioDriver = " + name);
    lines.push_back("");
    lines.push_back("[Controls]");
    for (int index = 0; index <= 99; ++index)
        if (shell.ControlBindings[index] > 0)
            lines.push_back("Key=" + std::to_string(index) + "," +
                            std::to_string(shell.ControlBindings[index]));
    return lines;
}

// Writes "Setup.ini" into the files folder, beside the game folder (which stays
// current). Without a known files folder nothing is written anywhere.
void WriteSetupFile() {
    std::string files = FilesFolderPath();
    if (files.empty()) {
        LogLine("\tSetup file not written: the files folder is not known from " + CurrentDir());
        return;
    }
    if (!WriteTextLinesAtomic(files + SetupFileName, SetupFileLines()))
        LogLine("\tSetup file could not be written: " + PlatformError());
}
