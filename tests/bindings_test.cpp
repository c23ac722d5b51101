// bindings_test.cpp - binding codes against scripted keyboard and joystick
// input: held tests, bound controls, capture order and the key names.
#include "input/bindings.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "shell/shell.h"
#include "support/fixture.h"

#include <climits>
#include <fstream>
#include <gtest/gtest.h>

namespace {

// Starts the doubles playing the given script from a temporary file.
void StartWithScript(const std::string& script) {
    std::string path = MakeTempDir("bindings") + "input.txt";
    std::ofstream(path) << script;
    PlatformConfig config;
    config.scriptPath = path;
    StartDoubles(config);
}

// Lets the virtual clock run to the given time so the script's events apply.
void RunTo(int ms) {
    int now = Millis();
    if (ms > now) SleepMillis(ms - now);
    PumpInput();
}

// Fills the joystick table the way start-up does, from the joysticks now attached.
void TakeJoystickTable() {
    shell.JoystickCount = JoystickCount() < MaxJoysticks ? JoystickCount() : MaxJoysticks;
    for (int j = 1; j <= shell.JoystickCount; ++j) {
        shell.JoystickEnabled[j] = 1;
        for (int axis = 0; axis < 6; ++axis)
            shell.JoystickRest[j][axis] = JoystickAxis(j - 1, axis);
        shell.JoystickHatFlag[j] = JoystickHat(j - 1) == -1.0f ? 1 : 0;
        shell.JoystickButtons[j] = JoystickButtonMask(j - 1);
    }
}

} // namespace

TEST(KeyName, NamesTableKeys) {
    EXPECT_EQ(KeyName(13), "Return");
    EXPECT_EQ(KeyName(1), "Left Mousebutton");
    EXPECT_EQ(KeyName(20), "CapsLock"); // not the hat's "Up" of component 20
    EXPECT_EQ(KeyName(33), "Page Up");
    EXPECT_EQ(KeyName(37), "Left");
    EXPECT_EQ(KeyName(107), "+");
    EXPECT_EQ(KeyName(109), "-");
    EXPECT_EQ(KeyName(165), "RAlt");
    EXPECT_EQ(KeyName(192), "'");
    EXPECT_EQ(KeyName(220), "\\");
    EXPECT_EQ(KeyName(222), "#");
    EXPECT_EQ(KeyName(226), "\\");
}

TEST(KeyName, NamesDigitLetterKeypadAndFunctionRanges) {
    for (int i = 0; i <= 9; ++i) {
        EXPECT_EQ(KeyName(48 + i), std::to_string(i));
        EXPECT_EQ(KeyName(96 + i), std::to_string(i));
    }
    for (int i = 0; i < 26; ++i) EXPECT_EQ(KeyName(65 + i), std::string(1, char('A' + i)));
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(KeyName(111 + i), "F" + std::to_string(i));
}

// The keys the program names are the ones whose names the settings panel shows.
TEST(KeyName, NamedKeyConstantsAreTheKeysTheySayTheyAre) {
    const std::pair<int, const char*> keys[] = {{KeyBackspace, "Backspace"},
                                                {KeyTab, "Tab"},
                                                {KeyReturn, "Return"},
                                                {KeyEscape, "Escape"},
                                                {KeySpace, "Space"},
                                                {KeyLeft, "Left"},
                                                {KeyUp, "Up"},
                                                {KeyRight, "Right"},
                                                {KeyDown, "Down"},
                                                {KeyDigit1, "1"},
                                                {KeyF1, "F1"},
                                                {KeyF4, "F4"},
                                                {KeyF11, "F11"},
                                                {KeyF12, "F12"},
                                                {KeyLeftAlt, "LAlt"},
                                                {KeyRightAlt, "RAlt"}};
    for (const auto& [code, name] : keys) EXPECT_EQ(KeyName(code), name) << code;
}

TEST(KeyName, OtherCodesAreNamedByTheirJoystickComponent) {
    EXPECT_EQ(KeyName(331), "1");
    EXPECT_EQ(KeyName(370), "Up");
    EXPECT_EQ(KeyName(300), "Y-");
    EXPECT_EQ(KeyName(453), "X+");
    EXPECT_EQ(KeyName(325), "Right");
    EXPECT_EQ(KeyName(328), "Down");
    EXPECT_EQ(KeyName(373), "Left");
    EXPECT_EQ(KeyName(348), "18");
    EXPECT_EQ(KeyName(315), "-15"); // an unused component still gets a text
    EXPECT_EQ(KeyName(4), "Z-");    // not a key of the table
    EXPECT_EQ(KeyName(0), "");
    EXPECT_FALSE(KeyName(-7).empty());
}

TEST(Bindings, KeysHeldFromTenToTwoHundredFiftyFour) {
    StartWithScript("10 down 9\n10 down 38\n20 up 38\n20 down 254\n");
    RunTo(10);
    ASSERT_TRUE(IsKeyDown(9));
    EXPECT_EQ(InputHeld(9), 0);
    EXPECT_EQ(InputHeld(38), 1);
    EXPECT_EQ(InputHeld(40), 0);
    EXPECT_EQ(InputHeld(0), 0);
    EXPECT_EQ(InputHeld(-38), 0);
    RunTo(20);
    EXPECT_EQ(InputHeld(38), 0);
    EXPECT_EQ(InputHeld(254), 1);
    EXPECT_EQ(InputHeld(255), 0);
    EXPECT_EQ(InputHeld(299), 0);
}

TEST(Bindings, ReadControlUsesThePlayersSlot) {
    StartWithScript("10 down 90\n");
    RunTo(10);
    shell.ControlBindings[10] = 90;     // player 1, bottom face button
    shell.ControlBindings[20 + 3] = 90; // player 2, left
    shell.ControlBindings[40 + 3] = 88; // player 3, left
    EXPECT_EQ(ReadControl(10, 1), 1);
    EXPECT_EQ(ReadControl(3, 2), 1);
    EXPECT_EQ(ReadControl(3, 3), 0);
    EXPECT_EQ(ReadControl(0, 1), 0); // unbound
    EXPECT_EQ(ReadControl(0, 0), 0); // no player 0: outside the table
    EXPECT_EQ(ReadControl(1, 6), 0);
}

TEST(Bindings, CaptureTakesTheLowestKeyAndNeverFunctionKeysElevenAndTwelve) {
    StartWithScript("10 down 66\n10 down 65\n"
                    "20 down 122\n"
                    "30 up 122\n30 down 123\n"
                    "40 up 123\n40 up 65\n40 up 66\n"
                    "50 down 9\n");
    EXPECT_EQ(PressedInputCode(), 0);
    RunTo(10);
    EXPECT_EQ(PressedInputCode(), 65);
    RunTo(20);
    EXPECT_EQ(PressedInputCode(), 0);
    RunTo(30);
    EXPECT_EQ(PressedInputCode(), 0);
    RunTo(40);
    EXPECT_EQ(PressedInputCode(), 0);
    RunTo(50);
    EXPECT_EQ(PressedInputCode(), 9); // capture is not limited to bindable keys
}

TEST(Bindings, JoystickCodesOutsideTheTableReportNothing) {
    StartDoubles();
    shell.JoystickCount = 0;
    shell.JoystickEnabled[1] = 1;
    EXPECT_EQ(InputHeld(300), 0);
    EXPECT_EQ(InputHeld(330), 0);
    shell.JoystickCount = 99; // a damaged count still stays inside the table
    for (int j = 1; j <= MaxJoysticks; ++j) shell.JoystickEnabled[j] = 1;
    EXPECT_EQ(InputHeld(500), 0);
    EXPECT_EQ(InputHeld(549), 0);
    EXPECT_EQ(InputHeld(INT_MAX), 0);
    EXPECT_EQ(PressedInputCode(), 0);
}

TEST(Bindings, VirtualJoystickAxesHatAndButtons) {
    StartWithScript("0 joy 1 hat -1\n"
                    "10 joy 1 axis y -0.9\n"
                    "20 joy 1 axis y 0\n20 joy 1 axis x 0.45\n"
                    "30 joy 1 axis x 0\n30 joy 1 hat 0.125\n"
                    "40 joy 1 hat 0.5\n"
                    "50 joy 1 hat -1\n50 joy 1 button 3 1\n"
                    "60 joy 1 button 3 0\n60 down 40\n");
    RunTo(0);
    if (JoystickCount() < 1) GTEST_SKIP() << "the platform shows no scripted joystick";
    TakeJoystickTable();
    ASSERT_EQ(shell.JoystickHatFlag[1], 1);
    shell.JoystickRest[1][0] = 0.1f; // X rests a little off centre
    shell.ControlBindings[0] = 300;

    RunTo(10);
    EXPECT_EQ(InputHeld(300), 1); // Y-
    EXPECT_EQ(InputHeld(301), 0);
    EXPECT_EQ(ReadControl(0, 1), 1);
    EXPECT_EQ(InputHeld(350), 0); // joystick 2 is not there
    EXPECT_EQ(PressedInputCode(), 300);
    shell.JoystickEnabled[1] = 0; // disabled: bound but silent
    EXPECT_EQ(InputHeld(300), 0);
    EXPECT_EQ(PressedInputCode(), 0);
    shell.JoystickEnabled[1] = 1;

    RunTo(20);
    EXPECT_EQ(InputHeld(303), 1); // 0.45 is past 0.1 + 0.3
    EXPECT_EQ(PressedInputCode(), 303);
    shell.JoystickRest[1][0] = 0.2f; // 0.45 is now inside the dead zone
    EXPECT_EQ(InputHeld(303), 0);
    EXPECT_EQ(PressedInputCode(), 0);

    RunTo(30); // a diagonal holds two hat directions but captures none
    EXPECT_EQ(InputHeld(320), 1);
    EXPECT_EQ(InputHeld(325), 1);
    EXPECT_EQ(InputHeld(328), 0);
    EXPECT_EQ(InputHeld(323), 0);
    EXPECT_EQ(PressedInputCode(), 0);
    shell.JoystickHatFlag[1] = 0;
    EXPECT_EQ(InputHeld(320), 0);
    shell.JoystickHatFlag[1] = 1;

    RunTo(40);
    EXPECT_EQ(InputHeld(328), 1);
    EXPECT_EQ(InputHeld(320), 0);
    EXPECT_EQ(PressedInputCode(), 328);

    RunTo(50);
    EXPECT_EQ(InputHeld(320), 0); // a resting hat holds nothing
    EXPECT_EQ(InputHeld(333), 1);
    EXPECT_EQ(InputHeld(334), 0);
    EXPECT_EQ(InputHeld(349), 0);
    if (shell.JoystickButtons[1] >> 3 & 1u) {
        EXPECT_EQ(PressedInputCode(), 333);
    }

    RunTo(60); // keys are captured before joysticks
    EXPECT_EQ(InputHeld(333), 0);
    EXPECT_EQ(PressedInputCode(), 40);
}
