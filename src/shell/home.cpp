// home.cpp - the player's own files folder for an installed copy of the game.
//
// The game works inside one files folder: the setup file and the debug log at
// its top, "Common/" and the game folder below it, moving between them with
// "../". An installed pack is read-only, so the player gets a folder of the
// same shape in the data directory: real folders holding the files the game
// writes, and symbolic links to the pack's pictures, sounds, fonts and music.
// The folders are real (not links) so that "../" leads back to the player's
// folder and never into the pack. The links are refreshed at every start, so
// they follow an upgraded pack.
#include "shell/home.h"

#include "platform/platform.h"
#include "shell/shell.h"

#include <cstdio>
#include <filesystem>

namespace {

// How deep the pack's folders may nest; a deeper tree is a link loop.
constexpr int MaxDepth = 8;

// Appends "/" unless text already ends with one.
std::string withSlash(std::string text) {
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

// Creates a folder and any missing parents; true when it exists afterwards.
bool makePath(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        if (!IsFolder(path.substr(0, slash))) MakeDir(path.substr(0, slash));
    return IsFolder(path) || MakeDir(path);
}

// Mirrors one folder of the pack (src) into dst; see MirrorPack.
bool mirrorFolder(const std::string& src, const std::string& dst, int depth) {
    if (depth > MaxDepth) {
        std::fprintf(stderr, "zorvek-plon: the asset pack nests too deep at %s\n", src.c_str());
        return false;
    }
    std::string folder = dst.substr(0, dst.size() - 1);
    // The player's folder itself may be a link (moved to another disk and
    // linked back): it is followed. Below it, a link where a folder belongs
    // was not made by the game and is replaced.
    if (depth > 0 && !LinkTarget(folder).empty()) DeleteFile(folder);
    if (!MakeDir(folder)) return false;
    // Links to files that left the pack, or that point elsewhere, go first.
    for (const std::string& name : FolderEntries(dst)) {
        std::string target = LinkTarget(dst + name);
        if (!target.empty() && (target != src + name || !FileExists(src + name)))
            DeleteFile(dst + name);
    }
    bool ok = true;
    for (const std::string& name : FolderEntries(src)) {
        if (IsFolder(src + name)) {
            ok = mirrorFolder(src + name + "/", dst + name + "/", depth + 1) && ok;
        } else if (LinkTarget(dst + name).empty() && !FileExists(dst + name)) {
            ok = MakeLink(src + name, dst + name) && ok;
        }
        // A real file of that name is the player's and stays.
    }
    return ok;
}

} // namespace

// $XDG_DATA_HOME when absolute, else $HOME/.local/share; "" when neither is usable.
std::string DataHomeFrom(const std::string& xdgDataHome, const std::string& home) {
    if (!xdgDataHome.empty() && xdgDataHome[0] == '/') return withSlash(xdgDataHome);
    if (!home.empty() && home[0] == '/') return withSlash(home) + ".local/share/";
    return "";
}

// Makes home a folder-for-folder mirror of pack, files as symbolic links.
bool MirrorPack(const std::string& pack, const std::string& home) {
    std::string top = withSlash(home);
    top.pop_back();
    return makePath(top) && mirrorFolder(withSlash(pack), withSlash(home), 0);
}

// The files folder beside the program when writable, else the player's own one.
std::string ChooseFilesDir(const std::string& programDir, const std::string& dataHome) {
    const std::string own = "Files/";
    if (programDir.empty()) return own;
    std::string pack = withSlash(programDir) + own;
    if (IsFolder(pack)) {
        bool gameFolderOk = !IsFolder(pack + GameFolder()) || FolderWritable(pack + GameFolder());
        if (FolderWritable(pack) && gameFolderOk) return own;
    } else {
        pack = withSlash(std::filesystem::path(withSlash(programDir) + ZP_PACK_FROM_PROGRAM)
                             .lexically_normal()
                             .string());
        if (!IsFolder(pack)) return own; // a bare program: the game makes Files/ itself
    }
    // The installed pack is never worked in: whoever may write there (root)
    // would change every player's files.
    if (dataHome.empty()) {
        std::fprintf(stderr,
                     "zorvek-plon: no data directory for your files (neither XDG_DATA_HOME nor "
                     "HOME names one); set one, or give --files FOLDER\n");
        return "";
    }
    std::string home = dataHome + "zorvek-plon/";
    if (!MirrorPack(pack, home)) {
        std::fprintf(stderr, "zorvek-plon: cannot set up %s from %s: %s\n", home.c_str(),
                     pack.c_str(), PlatformError().c_str());
        if (!IsFolder(home)) return "";
    }
    return home;
}

// ChooseFilesDir with the data directory from the environment; without a
// usable HOME, the account's home folder from the system's user table.
std::string PlayerFilesDir(const std::string& programDir) {
    std::string home = EnvironmentValue("HOME");
    if (home.empty() || home[0] != '/') home = AccountHomeDir();
    return ChooseFilesDir(programDir, DataHomeFrom(EnvironmentValue("XDG_DATA_HOME"), home));
}
