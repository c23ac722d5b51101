// text.h - small text helpers shared by every file reader of the program.
#pragma once

#include <cstdint>
#include <string>

// Field n (from 1) of text split at the one-character separator. The text is
// trimmed first; a field asked for past a broken search gives "-+-".
std::string FieldOf(const std::string& text, const std::string& separator, int n);

// Removes characters with codes below 33 from both ends.
std::string Trim(const std::string& text);
std::string Upper(const std::string& text);
// The last n characters of text (all of it when shorter).
std::string Right(const std::string& text, int n);

// Lenient number reading: leading blanks, an optional sign, decimal digits;
// "$" introduces hexadecimal and "%" binary digits. Reading stops at the first
// character that does not fit; no digits give 0. Overflow wraps.
int32_t ReadInt(const std::string& text);
int64_t ReadInt64(const std::string& text);
