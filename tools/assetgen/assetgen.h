// assetgen.h - the pieces of the asset pack generator: reading the readable
// sources under assets/, painting pictures and synthesising sounds from them.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// A source that is missing or malformed; the message names the file and line.
struct AssetError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where the generator reads from and writes to, and what it has made so far.
struct GenState {
    std::string sourceDir; // assets/, with a trailing "/"
    std::string outputDir; // Files/, with a trailing "/"
    int pictures = 0;
    int sounds = 0;
    int copies = 0;
};
extern GenState gen;

// ---------------------------------------------------------------- source text

// One line of a source file, split into words; a double-quoted word keeps its spaces.
struct SourceLine {
    std::string file;
    int number = 0;
    std::vector<std::string> words;
    std::string text; // the raw line
};

std::vector<std::string>
SplitWords(const std::string& text); // blanks split, "..." kept whole, # ends
std::vector<SourceLine> ReadSource(const std::string& relativePath); // blank and # lines dropped
std::vector<std::string> ReadRawLines(const std::string& relativePath);
[[noreturn]] void Fail(const SourceLine& line, const std::string& what);
double NumberWord(const SourceLine& line, size_t index);
// key=value words from index on; a word without "=" is an error.
std::map<std::string, std::string> OptionWords(const SourceLine& line, size_t index);
uint32_t ColourWord(const SourceLine& line, const std::string& word); // "#rrggbb"
void MakeFolderFor(const std::string& outputRelative);

// ---------------------------------------------------------------- pictures

constexpr uint32_t Clear = 0x00000000;
uint32_t Rgb(int r, int g, int b);
uint32_t Mix(uint32_t a, uint32_t b, double t); // t 0 gives a, 1 gives b; opaque result
void PutPixel(Pixmap& map, int x, int y, uint32_t colour);
uint32_t PixelAt(const Pixmap& map, int x, int y); // Clear outside
void SavePicture(const Pixmap& map, const std::string& outputRelative);

// Sheets of hand-drawn cells written as text grids with a palette legend.
void BuildGridSheet(const std::string& sourceRelative, const std::string& outputRelative);
// Pictures painted from shape recipes and a pixel font (logos, badges).
void BuildPaintedPictures(const std::string& sourceRelative);

// The desktop icon at every size from a source naming cells of a written sheet.
void BuildIcons(const std::string& sourceRelative, const std::string& iconsDir,
                const std::string& name);

// ---------------------------------------------------------------- sounds

void WriteWav(const std::string& path, const std::vector<float>& samples, int rate);
// Every sound recipe of a source file, each written as 16-bit mono PCM.
void BuildSounds(const std::string& sourceRelative);

// ---------------------------------------------------------------- copies

void CopyFile(const std::string& from, const std::string& outputRelative);
// Copies the typefaces listed in the font list from the system's font packages.
void CopyFonts(const std::string& sourceRelative);
