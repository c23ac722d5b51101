// keys.h - the Windows virtual-key numbers of the keys the program names. The
// platform reports every key by these numbers (IsKeyDown, KeyPressCount), so
// the hot-keys, menus, bindings and input scripts mean the same keys everywhere.
#pragma once

inline constexpr int KeyBackspace = 8;
inline constexpr int KeyTab = 9;
inline constexpr int KeyReturn = 13; // the keypad's Enter reports the same
inline constexpr int KeyEscape = 27;
inline constexpr int KeySpace = 32;
inline constexpr int KeyLeft = 37;
inline constexpr int KeyUp = 38;
inline constexpr int KeyRight = 39;
inline constexpr int KeyDown = 40;
inline constexpr int KeyDigit1 = 49; // the top-row 1; the other digits follow from 48 to 57
inline constexpr int KeyF1 = 112;    // F1 to F12 are 112 to 123
inline constexpr int KeyF4 = 115;
inline constexpr int KeyF11 = 122;
inline constexpr int KeyF12 = 123;
inline constexpr int KeyLeftAlt = 164;
inline constexpr int KeyRightAlt = 165;
