// platform_input_test.cpp - live input as SDL delivers it: key numbering,
// typed characters, mouse buttons, the close request and joysticks.
#include "platform_helpers.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

// Starts the platform without a window; SDL events and joysticks still run.
void startLive() {
    PlatformConfig config;
    config.silentAudio = true;
    config.virtualClock = true;
    ASSERT_TRUE(StartPlatform(config)) << PlatformError();
}

void pushKey(SDL_Scancode code, bool down, bool repeat = false) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = code;
    e.key.repeat = repeat ? 1 : 0;
    SDL_PushEvent(&e);
}

void pushText(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    SDL_PushEvent(&e);
}

void pushButton(Uint8 button, bool down, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

} // namespace

TEST(LiveKeys, ScancodesBecomeWindowsKeyNumbers) {
    startLive();
    struct Pair {
        SDL_Scancode sc;
        int vk;
    };
    // A sample across the table: ranges at both ends, and the odd ones.
    const Pair pairs[] = {
        {SDL_SCANCODE_BACKSPACE, 8},    {SDL_SCANCODE_RETURN, 13},
        {SDL_SCANCODE_KP_ENTER, 13},    {SDL_SCANCODE_PAGEUP, 33},
        {SDL_SCANCODE_DELETE, 46},      {SDL_SCANCODE_PRINTSCREEN, 44},
        {SDL_SCANCODE_0, 48},           {SDL_SCANCODE_9, 57},
        {SDL_SCANCODE_A, 65},           {SDL_SCANCODE_Z, 90},
        {SDL_SCANCODE_RGUI, 92},        {SDL_SCANCODE_KP_0, 96},
        {SDL_SCANCODE_KP_9, 105},       {SDL_SCANCODE_KP_DIVIDE, 111},
        {SDL_SCANCODE_F1, 112},         {SDL_SCANCODE_F12, 123},
        {SDL_SCANCODE_SCROLLLOCK, 145}, {SDL_SCANCODE_RALT, 165},
        {SDL_SCANCODE_VOLUMEUP, 175},   {SDL_SCANCODE_SEMICOLON, 186},
        {SDL_SCANCODE_APOSTROPHE, 192}, {SDL_SCANCODE_NONUSHASH, 222},
        {SDL_SCANCODE_GRAVE, 223},      {SDL_SCANCODE_NONUSBACKSLASH, 226},
    };
    for (const Pair& p : pairs) {
        pushKey(p.sc, true);
        PumpInput();
        EXPECT_TRUE(IsKeyDown(p.vk)) << SDL_GetScancodeName(p.sc) << " -> " << p.vk;
        EXPECT_EQ(KeyPressCount(p.vk), 1) << SDL_GetScancodeName(p.sc);
        pushKey(p.sc, false);
        PumpInput();
        EXPECT_FALSE(IsKeyDown(p.vk)) << SDL_GetScancodeName(p.sc);
    }
    // No key is left held by the sweep.
    for (int k = 1; k < 256; k++) EXPECT_FALSE(IsKeyDown(k)) << k;
    PlatformShutdown();
}

TEST(LiveKeys, SidesSetTheGenericModifiersAndRepeatsDoNotCount) {
    startLive();
    pushKey(SDL_SCANCODE_RCTRL, true);
    pushKey(SDL_SCANCODE_LALT, true);
    pushKey(SDL_SCANCODE_RSHIFT, true);
    pushKey(SDL_SCANCODE_LSHIFT, true);
    pushKey(SDL_SCANCODE_RSHIFT, true, true); // auto-repeat
    PumpInput();
    EXPECT_TRUE(IsKeyDown(163));
    EXPECT_TRUE(IsKeyDown(17));
    EXPECT_TRUE(IsKeyDown(164));
    EXPECT_TRUE(IsKeyDown(18));
    EXPECT_TRUE(IsKeyDown(16));
    EXPECT_EQ(KeyPressCount(161), 1);
    EXPECT_EQ(KeyPressCount(16), 1); // both Shifts down: still one press of Shift
    pushKey(SDL_SCANCODE_RSHIFT, false);
    PumpInput();
    EXPECT_TRUE(IsKeyDown(16)); // the left one still holds it
    pushKey(SDL_SCANCODE_LSHIFT, false);
    pushKey(SDL_SCANCODE_RCTRL, false);
    PumpInput();
    EXPECT_FALSE(IsKeyDown(16));
    EXPECT_FALSE(IsKeyDown(17));
    EXPECT_TRUE(IsKeyDown(18));
    PlatformShutdown();
}

TEST(LiveTyping, Utf8BecomesLatin1AndWiderCharactersAreDropped) {
    startLive();
    pushText("a\xC3\xA9");    // a, e-acute
    pushText("\xE2\x82\xAC"); // euro sign: beyond Latin-1
    pushText("\xC3\xBF!");    // y-diaeresis (255), !
    pushKey(SDL_SCANCODE_BACKSPACE, true);
    pushKey(SDL_SCANCODE_RETURN, true);
    PumpInput();
    EXPECT_EQ(NextTypedChar(), 'a');
    EXPECT_EQ(NextTypedChar(), 0xE9);
    EXPECT_EQ(NextTypedChar(), 0xFF);
    EXPECT_EQ(NextTypedChar(), '!');
    EXPECT_EQ(NextTypedChar(), 0); // Backspace and Return are presses only
    EXPECT_EQ(KeyPressCount(8), 1);
    EXPECT_EQ(KeyPressCount(13), 1);
    PlatformShutdown();
}

TEST(LiveMouse, ButtonsPositionAndCloseRequest) {
    startLive();
    pushButton(SDL_BUTTON_RIGHT, true, 30, 40);
    pushButton(SDL_BUTTON_MIDDLE, true, 30, 40);
    pushButton(SDL_BUTTON_MIDDLE, false, 31, 41);
    PumpInput();
    EXPECT_TRUE(IsMouseDown(2));  // SDL's right button is our 2
    EXPECT_FALSE(IsMouseDown(3)); // middle went down and up again
    EXPECT_EQ(MousePressCount(3), 1);
    EXPECT_EQ(MousePressCount(1), 0);
    EXPECT_FLOAT_EQ(LogicalMouseX(), 31);
    EXPECT_FLOAT_EQ(LogicalMouseY(), 41);

    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 640;
    motion.motion.y = 479;
    SDL_PushEvent(&motion);
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&close);
    EXPECT_FALSE(CloseRequested());
    SleepMillis(1); // sleeping takes in events too
    EXPECT_FLOAT_EQ(LogicalMouseX(), 640);
    EXPECT_FLOAT_EQ(LogicalMouseY(), 479);
    EXPECT_TRUE(CloseRequested());
    EXPECT_FALSE(CloseRequested());
    PlatformShutdown();
}

TEST(LiveJoystick, VirtualJoystickReadsThroughThePlatform) {
    startLive();
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) GTEST_SKIP() << "SDL joysticks unavailable here";
    int before = JoystickCount();
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 12, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* device = SDL_JoystickOpen(index); // a second handle to drive it
    ASSERT_NE(device, nullptr) << SDL_GetError();
    PumpInput(); // the platform opens the newly added joystick
    ASSERT_EQ(JoystickCount(), before + 1);
    int port = before;
    EXPECT_FALSE(JoystickName(port).empty());
    EXPECT_EQ(JoystickButtonCount(port), 12);
    EXPECT_EQ(JoystickButtonMask(port), 0xFFFu);
    EXPECT_FLOAT_EQ(JoystickHat(port), -1); // centred

    SDL_JoystickSetVirtualAxis(device, 0, 32767);
    SDL_JoystickSetVirtualAxis(device, 1, -32768);
    SDL_JoystickSetVirtualAxis(device, 5, 16384);
    SDL_JoystickSetVirtualHat(device, 0, SDL_HAT_RIGHTUP);
    SDL_JoystickSetVirtualButton(device, 7, 1);
    PumpInput();
    EXPECT_FLOAT_EQ(JoystickAxis(port, 0), 1.0f);
    EXPECT_FLOAT_EQ(JoystickAxis(port, 1), -1.0f); // clamped, not past -1
    EXPECT_NEAR(JoystickAxis(port, 5), 0.5f, 0.001f);
    EXPECT_FLOAT_EQ(JoystickHat(port), 0.125f);
    EXPECT_TRUE(JoystickButton(port, 7));
    EXPECT_FALSE(JoystickButton(port, 6));
    EXPECT_FALSE(JoystickButton(port, 12)); // beyond its buttons

    SDL_JoystickSetVirtualHat(device, 0, SDL_HAT_LEFT);
    PumpInput();
    EXPECT_FLOAT_EQ(JoystickHat(port), 0.75f);

    SDL_JoystickClose(device);
    SDL_JoystickDetachVirtual(index);
    PumpInput();
    EXPECT_EQ(JoystickCount(), before);
    PlatformShutdown();
}

TEST(Setup, NoReachableDisplayIsAClearFailure) {
    PlatformShutdown();
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    PlatformConfig config; // a real window wanted, nowhere to show it
    config.silentAudio = true;
    bool ok = PlatformInit(config);
    if (ok) {
        std::string driver = SDL_GetCurrentVideoDriver();
        PlatformShutdown();
        if (driver == "KMSDRM") GTEST_SKIP() << "this machine has a console display";
        FAIL() << "started on " << driver;
    }
    EXPECT_EQ(PlatformError().rfind("no display: ", 0), 0u) << PlatformError();
    config.headless = true; // headless still starts, on SDL's offscreen driver
    ASSERT_TRUE(PlatformInit(config)) << PlatformError();
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "offscreen");
    PlatformShutdown();
}
