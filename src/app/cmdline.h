// cmdline.h - reading the program's command line (see README).
#pragma once

#include <string>

struct PlatformConfig;

// The command line into the platform's configuration and the files folder
// (absolute, ending in "/"; empty = Files/ beside the program). Returns -1 to
// go on, else the exit status (0 after --help/--version, 2 for a bad line).
int ParseCommandLine(int argc, char** argv, PlatformConfig& config, std::string& filesDir);

// A path given on the command line, made absolute against the caller's folder.
std::string AbsolutePath(const std::string& path);
