// main.cpp - zp-assetgen: turns the readable sources in assets/ into the
// asset pack (Files/Common and Files/251) that the game loads.
#include "assetgen.h"

#include <cstdio>
#include <exception>

GenState gen;

// Builds every asset; a missing or malformed source stops it with a message.
static void buildAll() {
    CopyFonts("fonts/fonts.txt");
    CopyFile(gen.sourceDir + "fonts/LICENSES.txt", "Common/FONT-LICENSES.txt");
    BuildGridSheet("icons/icons.txt", "Common/icons.png");
    BuildPaintedPictures("logos/logos.txt");
    BuildSounds("sounds/common.txt");
    BuildGridSheet("gfx/gfx.txt", "251/gfx.png");
    BuildPaintedPictures("badges/badges.txt");
    BuildSounds("sounds/effects.txt");
    BuildSounds("sounds/stems.txt");
    CopyFile(gen.sourceDir + "music/groove.ini", "251/music/groove.ini");
}

// Usage: zp-assetgen <assets folder> <output folder> [<icons folder>]
int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr,
                     "usage: zp-assetgen <assets folder> <output folder> [<icons folder>]\n");
        return 2;
    }
    gen.sourceDir = std::string(argv[1]) + "/";
    gen.outputDir = std::string(argv[2]) + "/";
    try {
        buildAll();
        // The desktop icons lie outside the pack: the system's icon theme holds them.
        if (argc == 4) BuildIcons("icons/app-icon.txt", std::string(argv[3]) + "/", "zorvek-plon");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zp-assetgen: %s\n", error.what());
        return 1;
    }
    std::printf("zp-assetgen: %d pictures, %d sounds and %d copied files in %s\n", gen.pictures,
                gen.sounds, gen.copies, argv[2]);
    return 0;
}
