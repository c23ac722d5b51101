// fixture.h - starting a test from a fresh program state on the doubles.
#pragma once

#include "platform/platform.h"

#include <string>

// Fresh state in every subsystem (the tables as start-up leaves them before
// reading any file).
void ResetAllState();

// Starts the platform on the doubles: recording video, silent audio, virtual
// clock, EndProcess throwing. Extra settings may be given in config.
void StartDoubles(PlatformConfig config = {});

// A fresh temporary folder; returns its path with a trailing "/".
std::string MakeTempDir(const std::string& tag);

// The built asset pack, "<build>/Files/".
std::string BuiltFilesDir();
