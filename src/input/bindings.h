// bindings.h - binding codes: whether the input behind a code is held, reading
// a player's bound control, capturing the input being pressed, naming a code.
//
// Codes: 0 nothing; 1-3 mouse buttons (named only); 10-254 virtual keys;
// 300 + 50 * (joystick - 1) + component for joysticks 1-4.
#pragma once

#include <string>

inline constexpr float AxisDeadZone = 0.3f;

int InputHeld(int code);
int ReadControl(int control, int player);
int PressedInputCode();
std::string KeyName(int code);
