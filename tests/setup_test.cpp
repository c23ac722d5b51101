// setup_test.cpp - "Setup.ini": the forgiving reader, the default audio
// driver, the writer's exact text and a write/read round trip.
#include "platform/platform.h"
#include "shell/shell.h"
#include "support/fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

class SetupTest : public ::testing::Test {
  protected:
    std::string root; // plays the part of Files/, with the game folder inside

    void SetUp() override {
        StartDoubles();
        root = MakeTempDir("setup");
        ASSERT_TRUE(MakeDir(root + GameFolder()));
        ASSERT_TRUE(ChangeDir(root));
        shell.DebugLog = CreateTextFile(root + "Debug.txt");
        ASSERT_NE(shell.DebugLog, 0);
        // The tables as start-up leaves them before reading the file.
        int* s = shell.Settings;
        s[slot::Width] = 800;
        s[slot::Height] = 600;
        s[slot::MasterVolume] = s[slot::SoundVolume] = s[slot::MusicVolume] = 50;
        int* keys = shell.ControlBindings;
        keys[0] = 38, keys[3] = 37, keys[5] = 39, keys[8] = 40;
        keys[10] = 90, keys[11] = 88, keys[12] = 67, keys[13] = 86;
        shell.AudioDriverList = {"FreeAudio", "OpenAL Test Device", "Quiet Box"};
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        PlatformShutdown();
    }

    void WriteRaw(const std::string& text) {
        std::ofstream(root + "Setup.ini", std::ios::binary) << text;
    }
    void Read(const std::string& text) {
        WriteRaw(text);
        ReadSetupFile();
    }
    std::string RawFile() {
        std::ifstream in(root + "Setup.ini", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::vector<std::string> LogLines() {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        std::vector<std::string> lines;
        ReadTextLines(root + "Debug.txt", lines);
        return lines;
    }
    int S(int index) const { return shell.Settings[index]; }
};

} // namespace

TEST_F(SetupTest, FullscreenOnlyForTrueOrOnInAnyCase) {
    Read("fullscreen=on\n");
    EXPECT_EQ(S(slot::Fullscreen), 1);
    shell.Settings[slot::Fullscreen] = 0;
    Read("  FullScreen = true \r\n");
    EXPECT_EQ(S(slot::Fullscreen), 1);
    shell.Settings[slot::Fullscreen] = 0;
    Read("Fullscreen = False\r\nFullscreen = 1\r\nFull Screen = True\r\n");
    EXPECT_EQ(S(slot::Fullscreen), 0);
    // Once set, a later "False" does not turn it off again.
    Read("Fullscreen = True\r\nFullscreen = False\r\n");
    EXPECT_EQ(S(slot::Fullscreen), 1);
}

TEST_F(SetupTest, GraphicsEngineByNameWithEitherKey) {
    Read("GFXENGINE=dx7\n");
    EXPECT_EQ(S(slot::GfxEngine), 2);
    Read("GFX Engine = DX 9\n");
    EXPECT_EQ(S(slot::GfxEngine), 2);
    Read("Gfx Engine = DX9\n");
    EXPECT_EQ(S(slot::GfxEngine), 1);
    Read("GFX Engine = OpenGL\n");
    EXPECT_EQ(S(slot::GfxEngine), 1);
}

TEST_F(SetupTest, NumbersAreAbsoluteAndUnbounded) {
    Read("Width = -1024\nHeight=$300\nMaster = 250\nSound=-7 loud\nMusic = none\n");
    EXPECT_EQ(S(slot::Width), 1024);
    EXPECT_EQ(S(slot::Height), 768);
    EXPECT_EQ(S(slot::MasterVolume), 250);
    EXPECT_EQ(S(slot::SoundVolume), 7);
    EXPECT_EQ(S(slot::MusicVolume), 0);
    Read("Width=-2147483648\n");
    EXPECT_GE(S(slot::Width), 0);
}

TEST_F(SetupTest, AnEssKeyTurnsTheSlowSystemOnWhateverItsValue) {
    Read("ESS=0\n");
    EXPECT_EQ(S(slot::SlowSystem), 1);
    std::vector<std::string> log = LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "\tAssuming Emergency Slow System values."),
              log.end());
}

TEST_F(SetupTest, KeyLinesBindSlotsZeroToNinetyNine) {
    Read("[Controls]\nKey=100,65\nKey=-3,65\nKey=nonsense\nKey=0,87\nKey = 99 , 13\nKey=4\n");
    EXPECT_EQ(shell.ControlBindings[100], 0);
    EXPECT_EQ(shell.ControlBindings[3], 65);
    EXPECT_EQ(shell.ControlBindings[0], 87);
    EXPECT_EQ(shell.ControlBindings[99], 13);
    // "Key=4" is field 1 = field 2 = "4"; "nonsense" reads as slot 0 with code 0.
    EXPECT_EQ(shell.ControlBindings[4], 4);
    EXPECT_EQ(shell.ControlBindings[5], 39);
}

TEST_F(SetupTest, UnknownLinesAndEmptyFilesKeepDefaults) {
    Read("");
    Read("[Graphics]\n; Width = 3\nRandom junk\n=\n===\n");
    EXPECT_EQ(S(slot::Width), 800);
    EXPECT_EQ(S(slot::Height), 600);
    EXPECT_EQ(S(slot::MasterVolume), 50);
    EXPECT_EQ(shell.ControlBindings[10], 90);
}

TEST_F(SetupTest, AZeroByteEndsTheLineAndTheNextOneFollowsIt) {
    using namespace std::string_literals;
    Read("Width=1024\0 and the rest\r\nHeight=700\r\n"s);
    EXPECT_EQ(S(slot::Width), 1024);
    EXPECT_EQ(S(slot::Height), 700);
    // The text after the zero byte is a line of its own, not dropped.
    Read("Width=1024\0Height=768\r\nMaster = 80\0\0Sound=9"s);
    EXPECT_EQ(S(slot::Height), 768);
    EXPECT_EQ(S(slot::MasterVolume), 80);
    EXPECT_EQ(S(slot::SoundVolume), 9);
    std::vector<std::string> log = LogLines();
    EXPECT_EQ(log[log.size() - 3], "\tRequested Resolution : 1024x768");
}

TEST_F(SetupTest, ReaderLogsItsDecisionsInOrder) {
    Read("Fullscreen = True\r\nGFX Engine = DX9\r\nESS=1\r\nWidth=1024\r\nHeight=768\r\n");
    std::vector<std::string> expected = {"\tReading Setup File",
                                         "\tSetting to Fullscreen",
                                         "\tDirectX 9 Mode",
                                         "\tAssuming Emergency Slow System values.",
                                         "Setting Audio Driver",
                                         "Set Audio Driver",
                                         "",
                                         "\tRequested Resolution : 1024x768",
                                         "\tSetup Loaded",
                                         ""};
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(SetupTest, MissingFileLogsNoReadingButStillPicksADriver) {
    ReadSetupFile();
    std::vector<std::string> log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "Setting Audio Driver");
    EXPECT_EQ(S(slot::AudioDriver), 0); // FreeAudio, the first Free/OpenAL name
    EXPECT_EQ(S(slot::Width), 800);
}

TEST_F(SetupTest, DefaultDriverPrefersTheLastDirectThenFirstOpenAlOrFree) {
    EXPECT_EQ(
        ChooseDefaultAudioDriver({"FreeAudio", "FreeAudio DirectSound", "OpenAL", "DirectSound"}),
        3);
    EXPECT_EQ(ChooseDefaultAudioDriver({"Quiet", "OpenAL Soft", "FreeAudio"}), 1);
    EXPECT_EQ(ChooseDefaultAudioDriver({"Quiet", "freeaudio", "OpenAL Soft"}), 1);
    EXPECT_EQ(ChooseDefaultAudioDriver({"DirectSound A", "OpenAL", "DirectSound B", "x"}), 2);
    EXPECT_EQ(ChooseDefaultAudioDriver({"Quiet", "Open"}), -1);
    EXPECT_EQ(ChooseDefaultAudioDriver({}), -1);
}

TEST_F(SetupTest, DriverNamedInTheFileWinsAndUnknownNamesKeepThePosition) {
    shell.AudioDriverList = {"Quiet", "OpenAL Soft", "Quiet"};
    Read("AudioDriver = OpenAL Soft\n");
    EXPECT_EQ(S(slot::AudioDriver), 1);
    Read("AudioDriver = Quiet\n");
    EXPECT_EQ(S(slot::AudioDriver), 2); // the last of equal names
    shell.Settings[slot::AudioDriver] = 0;
    Read("AudioDriver = openal soft\n"); // case matters; the key still counts
    EXPECT_EQ(S(slot::AudioDriver), 0);
    // The writer's comment lines are not driver keys.
    Read("; AudioDriver = OpenAL Soft\n");
    EXPECT_EQ(S(slot::AudioDriver), 1);
}

TEST_F(SetupTest, WriterProducesTheExactFileAndReturnsToTheGameFolder) {
    ASSERT_TRUE(ChangeDir(GameFolder()));
    shell.Settings[slot::Fullscreen] = 1;
    shell.Settings[slot::GfxEngine] = 2;
    shell.Settings[slot::Width] = 1024;
    shell.Settings[slot::Height] = 768;
    shell.Settings[slot::SlowSystem] = 1;
    shell.Settings[slot::MasterVolume] = 80;
    shell.Settings[slot::AudioDriver] = 1;
    shell.ControlBindings[13] = 0;
    shell.ControlBindings[42] = 300;
    shell.ControlBindings[100] = 65; // never written
    shell.ControlBindings[7] = -5;   // only values above 0 are written
    WriteSetupFile();
    EXPECT_EQ(RawFile(), "[Graphics]\r\n"
                         "Fullscreen = True\r\n"
                         "GFX Engine = DX7\r\n"
                         "Width=1024\r\n"
                         "Height=768\r\n"
                         "ESS=1 ; This is a slow system, and things must run a wee bit slower "
                         "for it.  Awww..\r\n"
                         "\r\n"
                         "[Audio]\r\n"
                         "Master = 80\r\n"
                         "Sound = 50\r\n"
                         "Music = 50\r\n"
                         "AudioDriver = OpenAL Test Device\r\n"
                         "; AudioDriver = FreeAudio\r\n"
                         "; AudioDriver = OpenAL Test Device\r\n"
                         "; AudioDriver = Quiet Box\r\n"
                         "\r\n"
                         "[Controls]\r\n"
                         "Key=0,38\r\n"
                         "Key=3,37\r\n"
                         "Key=5,39\r\n"
                         "Key=8,40\r\n"
                         "Key=10,90\r\n"
                         "Key=11,88\r\n"
                         "Key=12,67\r\n"
                         "Key=42,300\r\n");
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDir(), root + GameFolder()));
    EXPECT_FALSE(FileExists("Setup.ini")); // written beside the game folder, not in it
}

TEST_F(SetupTest, WriterLeavesOutLinesForOddValues) {
    ASSERT_TRUE(ChangeDir(GameFolder()));
    shell.Settings[slot::Fullscreen] = 2;
    shell.Settings[slot::GfxEngine] = 3;
    shell.Settings[slot::SlowSystem] = 0;
    WriteSetupFile();
    std::string text = RawFile();
    EXPECT_EQ(text.find("Fullscreen"), std::string::npos);
    EXPECT_EQ(text.find("GFX Engine"), std::string::npos);
    EXPECT_EQ(text.find("ESS"), std::string::npos);
    EXPECT_EQ(text.rfind("[Graphics]\r\nWidth=800\r\nHeight=600\r\n\r\n[Audio]\r\n", 0), 0u);
}

TEST_F(SetupTest, DriverOutsideTheListWritesTheFirstName) {
    ASSERT_TRUE(ChangeDir(GameFolder()));
    shell.Settings[slot::AudioDriver] = 3;
    WriteSetupFile();
    EXPECT_NE(RawFile().find("\r\nAudioDriver = FreeAudio\r\n"), std::string::npos);
    shell.Settings[slot::AudioDriver] = -1;
    WriteSetupFile();
    EXPECT_NE(RawFile().find("\r\nAudioDriver = FreeAudio\r\n"), std::string::npos);
    shell.AudioDriverList.clear();
    WriteSetupFile();
    std::string text = RawFile();
    EXPECT_NE(text.find("\r\nAudioDriver = \r\n\r\n[Controls]\r\n"), std::string::npos);
    EXPECT_EQ(text.find("; AudioDriver"), std::string::npos);
}

TEST_F(SetupTest, WrittenFileReadsBackToTheSameTables) {
    ASSERT_TRUE(ChangeDir(GameFolder()));
    const int values[][2] = {
        {slot::Fullscreen, 1},    {slot::GfxEngine, 1},    {slot::Width, 1440},
        {slot::Height, 900},      {slot::SlowSystem, 0},   {slot::MasterVolume, 0},
        {slot::SoundVolume, 100}, {slot::MusicVolume, 33}, {slot::AudioDriver, 2}};
    for (auto& v : values) shell.Settings[v[0]] = v[1];
    for (int i = 0; i < 100; ++i) shell.ControlBindings[i] = (i * 37) % 11 == 0 ? 0 : 300 + i;
    const ShellState written = shell;
    WriteSetupFile();

    // A fresh start: defaults, then the file.
    shell.Settings[slot::Fullscreen] = 0;
    shell.Settings[slot::GfxEngine] = 0;
    shell.Settings[slot::Width] = 800;
    shell.Settings[slot::Height] = 600;
    shell.Settings[slot::AudioDriver] = 0;
    for (int i = 0; i < 101; ++i) shell.ControlBindings[i] = 0;
    ASSERT_TRUE(ChangeDir(".."));
    ReadSetupFile();
    for (auto& v : values) EXPECT_EQ(shell.Settings[v[0]], v[1]) << "slot " << v[0];
    for (int i = 0; i < 100; ++i) EXPECT_EQ(shell.ControlBindings[i], written.ControlBindings[i]);
}
