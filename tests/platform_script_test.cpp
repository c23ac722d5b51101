// platform_script_test.cpp - scripted input played against the virtual clock,
// the script format itself, and --record writing a script that replays.
#include "platform/script.h"
#include "platform_helpers.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string writeScript(const std::string& text) {
    return WriteTemp("script", text);
}

// Starts the platform playing the given script (and maybe recording).
bool startScripted(const std::string& scriptPath, const std::string& recordPath = "") {
    PlatformConfig config;
    config.silentAudio = true;
    config.scriptPath = scriptPath;
    config.recordPath = recordPath;
    return StartPlatform(config);
}

} // namespace

TEST(ScriptFormat, ParsesEveryVerb) {
    std::vector<ScriptEvent> events;
    std::string error;
    const char* text = "# a comment\n"
                       "\n"
                       "0 mouse 640 480.5\r\n"
                       "5 down 27\n"
                       "5 up mouse2\n"
                       "6 press 65\n"
                       "7 type  hi there\n"
                       "8 close\n"
                       "9 joy 2 axis r -0.5\n"
                       "9 joy 1 hat 0.25\n"
                       "9 joy 4 button 18 1\n"
                       "10 end\n";
    ASSERT_TRUE(ParseScript(text, "s.txt", events, error)) << error;
    ASSERT_EQ(events.size(), 10u);
    EXPECT_FLOAT_EQ(events[0].b, 480.5f);
    EXPECT_EQ(events[2].code, 1002);        // mouse2
    EXPECT_EQ(events[4].text, " hi there"); // everything after one separator
    EXPECT_EQ(events[6].joystick, 1);
    EXPECT_FLOAT_EQ(events[6].a, 5); // r is the sixth axis
    EXPECT_FLOAT_EQ(events[7].a, 0.25f);
    EXPECT_EQ(events[9].verb, ScriptVerb::End);

    // Every event formats to a line that parses back to the same event.
    std::string again;
    for (const ScriptEvent& e : events) again += FormatScriptEvent(e) + "\n";
    std::vector<ScriptEvent> reparsed;
    ASSERT_TRUE(ParseScript(again, "again", reparsed, error)) << error << "\n" << again;
    ASSERT_EQ(reparsed.size(), events.size());
    for (size_t i = 0; i < events.size(); i++)
        EXPECT_EQ(FormatScriptEvent(reparsed[i]), FormatScriptEvent(events[i]));
}

TEST(ScriptFormat, BadLinesNameFileAndLine) {
    struct Case {
        const char* text;
        const char* where;
    };
    const Case cases[] = {
        {"0 down 27\nx down 27\n", "f.txt:2: "},
        {"# c\n\n0 down 256\n", "f.txt:3: "},
        {"0 jump 3\n", "f.txt:1: "},
        {"10 down 27\n5 up 27\n", "f.txt:2: "}, // time going backwards
        {"0 joy 5 hat 0\n", "f.txt:1: "},
        {"0 joy 1 axis x 2\n", "f.txt:1: "},
        {"0 close now\n", "f.txt:1: "},
    };
    for (const Case& c : cases) {
        std::vector<ScriptEvent> events;
        std::string error;
        EXPECT_FALSE(ParseScript(c.text, "f.txt", events, error)) << c.text;
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << c.text << " -> " << error;
        EXPECT_TRUE(events.empty());
    }
}

TEST(ScriptFormat, LongBadWordsAreShownCutShort) {
    std::vector<ScriptEvent> events;
    std::string error;
    const std::string w32(32, 'w');
    EXPECT_FALSE(ParseScript("0 " + w32 + "tail\n", "f.txt", events, error));
    EXPECT_EQ(error, "f.txt:1: unknown verb \"" + w32 + "...\"");
    EXPECT_FALSE(ParseScript(std::string(100000, '7') + "x down 27\n", "f.txt", events, error));
    EXPECT_EQ(error, "f.txt:1: expected a time in milliseconds, found \"" + std::string(32, '7') +
                         "...\"");
    EXPECT_FALSE(ParseScript("0 joy 1 " + w32 + "\n", "f.txt", events, error));
    EXPECT_EQ(error, "f.txt:1: unknown joystick input \"" + w32 + "\""); // 32 are shown whole
}

TEST(ScriptFormat, AZeroByteEndsALineLikeLf) {
    using namespace std::string_literals;
    std::vector<ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(ParseScript("10 press 65\0"
                            "20 press 66\0\0"
                            "30 up 66\n"s,
                            "z.txt", events, error))
        << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].code, 66);
    EXPECT_EQ(events[2].ms, 30);
    // What follows a zero byte is a line of its own, and counted as one.
    EXPECT_FALSE(ParseScript("10 press 65\0junk\n"s, "z.txt", events, error));
    EXPECT_EQ(error, "z.txt:2: expected a time in milliseconds, found \"junk\"");

    // A script file plays the same events at the same times.
    ASSERT_TRUE(startScripted(writeScript("10 press 65\0"
                                          "20 press 66\n"s)))
        << PlatformError();
    SleepMillis(10);
    EXPECT_EQ(KeyPressCount(65), 1);
    EXPECT_EQ(KeyPressCount(66), 0);
    SleepMillis(10);
    EXPECT_EQ(KeyPressCount(66), 1);
    PlatformShutdown();
}

TEST(ScriptedInput, PressesHeldKeysAndTypingFollowTheClock) {
    std::string path = writeScript("0 mouse 100 200\n"
                                   "10 press 65\n"
                                   "10 press 65\n"
                                   "20 down 37\n"
                                   "20 down 160\n"
                                   "30 press mouse1\n"
                                   "30 down mouse2\n"
                                   "40 type ab\xe9\n"
                                   "50 up 37\n"
                                   "50 close\n"
                                   "60 down 66\n60 up 66\n60 up 67\n60 down 67\n");
    ASSERT_TRUE(startScripted(path)) << PlatformError();
    EXPECT_EQ(Millis(), 0); // a script runs on the virtual clock
    PumpInput();
    EXPECT_FLOAT_EQ(LogicalMouseX(), 100);
    EXPECT_FLOAT_EQ(LogicalMouseY(), 200);
    EXPECT_EQ(KeyPressCount(65), 0); // not yet due

    SleepMillis(9);
    EXPECT_EQ(KeyPressCount(65), 0);
    SleepMillis(1);
    EXPECT_EQ(KeyPressCount(65), 2); // two presses at the same moment both count
    EXPECT_EQ(KeyPressCount(65), 0); // asking resets
    EXPECT_TRUE(IsKeyDown(65));      // held until a frame has been shown

    SleepMillis(10);
    EXPECT_TRUE(IsKeyDown(37));
    EXPECT_TRUE(IsKeyDown(160));
    EXPECT_TRUE(IsKeyDown(16)); // either Shift holds the generic Shift
    EXPECT_EQ(KeyPressCount(16), 1);

    SleepMillis(10);
    EXPECT_EQ(MousePressCount(1), 1);
    EXPECT_TRUE(IsMouseDown(1));
    EXPECT_TRUE(IsMouseDown(2));
    EXPECT_EQ(MousePressCount(2), 1);

    SleepMillis(10);
    EXPECT_EQ(NextTypedChar(), 'a');
    EXPECT_EQ(NextTypedChar(), 'b');
    EXPECT_EQ(NextTypedChar(), 0xe9); // Latin-1 byte as its code
    EXPECT_EQ(NextTypedChar(), 0);

    EXPECT_FALSE(CloseRequested());
    SleepMillis(10);
    EXPECT_FALSE(IsKeyDown(37));
    EXPECT_TRUE(CloseRequested());
    EXPECT_FALSE(CloseRequested()); // asking clears it

    // At one moment, events apply in file order.
    SleepMillis(10);
    EXPECT_FALSE(IsKeyDown(66));
    EXPECT_EQ(KeyPressCount(66), 1);
    EXPECT_TRUE(IsKeyDown(67));
    PlatformShutdown();
}

// A press made during a frame (after that frame looked at the input) is held
// through the whole of the next presented frame, skipped frames between them
// (a slow system) or not, and let go when that frame is presented.
TEST(ScriptedInput, APressIsHeldThroughTheNextPresentedFrameThenLetGo) {
    struct Case {
        const char* ends; // after the press: s a presented frame ends, k a skipped one
    };
    for (const Case c : {Case{"ss"}, Case{"sks"}, Case{"ks"}, Case{"skks"}}) {
        ASSERT_TRUE(startScripted(writeScript("10 press 65\n10 press mouse1\n")))
            << PlatformError();
        SleepMillis(10);
        const std::string ends = c.ends;
        for (size_t i = 0; i < ends.size(); ++i) {
            EXPECT_TRUE(IsKeyDown(65) && IsMouseDown(1)) << ends << " before end " << i;
            PumpInput();
            if (ends[i] == 's')
                Flip(0);
            else
                SkipFlip();
        }
        EXPECT_FALSE(IsKeyDown(65) || IsMouseDown(1)) << ends;
        EXPECT_EQ(KeyPressCount(65), 1);
        EXPECT_EQ(MousePressCount(1), 1);
        PlatformShutdown();
    }
}

TEST(ScriptedInput, APressIsLetGoAfterAWhileOrByItsUp) {
    std::string path = writeScript("500 press 66\n"
                                   "700 press 67\n700 down 67\n800 up 67\n"
                                   "900 down 68\n900 press 68\n");
    ASSERT_TRUE(startScripted(path)) << PlatformError();
    // A screen that waits without showing frames gets the key back after 100 ms.
    SleepMillis(500);
    EXPECT_TRUE(IsKeyDown(66));
    SleepMillis(99);
    EXPECT_TRUE(IsKeyDown(66));
    SleepMillis(1);
    EXPECT_FALSE(IsKeyDown(66));

    // A down after the press holds the key until its up.
    SleepMillis(100);
    Flip(0);
    PumpInput();
    EXPECT_TRUE(IsKeyDown(67));
    SleepMillis(100);
    EXPECT_FALSE(IsKeyDown(67));
    EXPECT_EQ(KeyPressCount(67), 1);
    // A press of a key held down counts no new press and ends with the key up.
    SleepMillis(100);
    EXPECT_TRUE(IsKeyDown(68));
    Flip(0);
    Flip(0);
    EXPECT_FALSE(IsKeyDown(68));
    EXPECT_EQ(KeyPressCount(68), 1);
    PlatformShutdown();
}

TEST(ScriptedInput, ScriptJoysticksReportAxesHatAndButtons) {
    std::string path = writeScript("0 joy 2 axis y -0.75\n"
                                   "0 joy 2 hat 0.125\n"
                                   "0 joy 2 button 4 1\n"
                                   "3 joy 2 button 4 0\n");
    ASSERT_TRUE(startScripted(path)) << PlatformError();
    // Joystick 2 needs joystick 1 in front of it, so both ports exist.
    EXPECT_EQ(JoystickCount(), 2);
    EXPECT_FLOAT_EQ(JoystickHat(1), -1); // at rest before the script says otherwise
    PumpInput();
    EXPECT_FLOAT_EQ(JoystickAxis(1, 1), -0.75f);
    EXPECT_FLOAT_EQ(JoystickAxis(1, 0), 0);
    EXPECT_FLOAT_EQ(JoystickHat(1), 0.125f);
    EXPECT_TRUE(JoystickButton(1, 4));
    EXPECT_EQ(JoystickButtonCount(1), 5);
    EXPECT_EQ(JoystickButtonMask(1), 0x1Fu);
    EXPECT_FALSE(JoystickButton(0, 4));
    SleepMillis(3);
    EXPECT_FALSE(JoystickButton(1, 4));
    PlatformShutdown();
}

TEST(ScriptedInput, EndOrTenQuietMinutesStopTheRunWithStatusThree) {
    std::string path = writeScript("0 press 32\n100 end\n200 press 33\n");
    ASSERT_TRUE(startScripted(path)) << PlatformError();
    SleepMillis(99);
    EXPECT_EQ(KeyPressCount(32), 1);
    try {
        SleepMillis(1);
        FAIL() << "the run went on past end";
    } catch (const ProcessEnded& ended) {
        EXPECT_EQ(ended.status, 3);
    }
    EXPECT_EQ(KeyPressCount(33), 0); // nothing after end was applied

    // Without end, the run stops ten minutes after the last event.
    ASSERT_TRUE(startScripted(writeScript("1000 press 32\n"))) << PlatformError();
    SleepMillis(1000 + 600000);
    EXPECT_THROW(SleepMillis(1), ProcessEnded);
    PlatformShutdown();
}

TEST(ScriptedInput, BadScriptFailsStartWithFileAndLine) {
    std::string path = writeScript("0 down 27\n0 wobble\n");
    EXPECT_FALSE(startScripted(path));
    EXPECT_EQ(PlatformError(), path + ":2: unknown verb \"wobble\"");
}

TEST(RecordedInput, LiveEventsReplayAsTheSameInput) {
    // A live session (SDL events) written with --record...
    std::string record = TempPath("rec");
    PlatformConfig config;
    config.silentAudio = true;
    config.virtualClock = true;
    config.recordPath = record;
    ASSERT_TRUE(StartPlatform(config)) << PlatformError();
    auto push = [](SDL_EventType type, auto fill) {
        SDL_Event e{};
        e.type = type;
        fill(e);
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    };
    SleepMillis(10);
    push(SDL_MOUSEMOTION, [](SDL_Event& e) { e.motion.x = 5, e.motion.y = 6; });
    push(SDL_MOUSEMOTION, [](SDL_Event& e) { e.motion.x = 50, e.motion.y = 60; });
    push(SDL_MOUSEBUTTONDOWN,
         [](SDL_Event& e) { e.button.button = SDL_BUTTON_LEFT, e.button.x = 50, e.button.y = 60; });
    PumpInput();
    SleepMillis(20);
    push(SDL_MOUSEBUTTONUP,
         [](SDL_Event& e) { e.button.button = SDL_BUTTON_LEFT, e.button.x = 50, e.button.y = 60; });
    push(SDL_KEYDOWN, [](SDL_Event& e) { e.key.keysym.scancode = SDL_SCANCODE_F11; });
    push(SDL_TEXTINPUT, [](SDL_Event& e) { std::strcpy(e.text.text, "Q"); });
    PumpInput();
    SleepMillis(5);
    push(SDL_KEYUP, [](SDL_Event& e) { e.key.keysym.scancode = SDL_SCANCODE_F11; });
    push(SDL_QUIT, [](SDL_Event&) {});
    PumpInput();
    PlatformShutdown();

    std::string text = ReadAll(record);
    std::vector<ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(ParseScript(text, record, events, error)) << error << "\n" << text;
    int moves = 0;
    for (const ScriptEvent& e : events) moves += e.verb == ScriptVerb::Mouse;
    EXPECT_EQ(moves, 1) << text; // one move per pump, the last position

    // ...plays back as a script giving the same input at the same times.
    ASSERT_TRUE(startScripted(record)) << PlatformError();
    SleepMillis(10);
    EXPECT_FLOAT_EQ(LogicalMouseX(), 50);
    EXPECT_FLOAT_EQ(LogicalMouseY(), 60);
    EXPECT_TRUE(IsMouseDown(1));
    EXPECT_EQ(MousePressCount(1), 1);
    SleepMillis(20);
    EXPECT_FALSE(IsMouseDown(1));
    EXPECT_TRUE(IsKeyDown(122));
    EXPECT_EQ(KeyPressCount(122), 1);
    EXPECT_EQ(NextTypedChar(), 'Q');
    SleepMillis(5);
    EXPECT_FALSE(IsKeyDown(122));
    EXPECT_TRUE(CloseRequested());
    PlatformShutdown();
}
