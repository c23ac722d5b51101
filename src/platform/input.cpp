// input.cpp - keyboard, mouse and joystick state (being written).
#include "platform/internal.h"

bool InputInit(const PlatformConfig&) {
    return true;
}
void InputShutdown() {}
void InputAdvanceTo(int) {}
void InputCloseRecord() {}
bool IsKeyDown(int) {
    return false;
}
int KeyPressCount(int) {
    return 0;
}
bool IsMouseDown(int) {
    return false;
}
int MousePressCount(int) {
    return 0;
}
int NextTypedChar() {
    return 0;
}
void FlushKeys() {}
float LogicalMouseX() {
    return 0;
}
float LogicalMouseY() {
    return 0;
}
void MovePointer(int, int) {}
bool CloseRequested() {
    return false;
}
void PumpInput() {}
int JoystickCount() {
    return 0;
}
std::string JoystickName(int) {
    return "";
}
float JoystickAxis(int, int) {
    return 0;
}
float JoystickHat(int) {
    return -1;
}
bool JoystickButton(int, int) {
    return false;
}
int JoystickButtonCount(int) {
    return 0;
}
uint32_t JoystickButtonMask(int) {
    return 0;
}
