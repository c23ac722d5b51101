// home.h - where the game's files live: the files folder beside the program
// when it may be written, else a folder in the player's data directory whose
// sub-folders hold links to the installed, read-only asset pack.
#pragma once

#include <string>

// The installed asset pack relative to the program's folder.
#ifndef ZP_PACK_FROM_PROGRAM
#define ZP_PACK_FROM_PROGRAM "../share/games/zorvek-plon"
#endif

// The player's data directory, with a trailing "/": $XDG_DATA_HOME when it is
// an absolute path, else $HOME/.local/share; "" when neither is usable.
std::string DataHomeFrom(const std::string& xdgDataHome, const std::string& home);

// Makes home a mirror of the pack: the same folders, real ones, and in them a
// symbolic link to every file of the pack. Links to files that left the pack or
// moved are replaced; real files (the player's) are never touched. False when a
// folder or link cannot be made.
bool MirrorPack(const std::string& pack, const std::string& home);

// The files folder for a program in programDir (absolute): "Files/" (relative
// to programDir) when that folder may be written or no pack is installed, else
// the player's own folder under dataHome, refreshed from the pack. The pack
// itself is never chosen: without a data directory, or when the player's
// folder cannot be made, the reason goes to stderr and the result is "".
std::string ChooseFilesDir(const std::string& programDir, const std::string& dataHome);

// ChooseFilesDir with the data directory taken from the environment (HOME
// from the system's user table when it is unset).
std::string PlayerFilesDir(const std::string& programDir);
