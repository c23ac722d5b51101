// picture.cpp - pixel helpers and the hand-drawn sheets: cells written as text
// grids, one character per pixel, with a palette legend ("." is transparent).
#include "assetgen.h"

#include <algorithm>
#include <cmath>

// An opaque colour.
uint32_t Rgb(int r, int g, int b) {
    auto clamp = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return 0xff000000u | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
}

// Blends two colours channel by channel.
uint32_t Mix(uint32_t a, uint32_t b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [&](int shift) {
        double va = (a >> shift) & 255, vb = (b >> shift) & 255;
        return static_cast<int>(std::lround(va + (vb - va) * t));
    };
    return Rgb(channel(16), channel(8), channel(0));
}

// Sets one pixel; pixels outside the picture are ignored.
void PutPixel(Pixmap& map, int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= map.width || y >= map.height) return;
    // Pure black is the loader's mask colour: a dark pixel must stay visible.
    if ((colour >> 24) != 0 && (colour & 0xffffff) == 0) colour = Rgb(1, 1, 1);
    map.pixels[static_cast<size_t>(y) * map.width + x] = colour;
}

// Reads one pixel; outside the picture counts as transparent.
uint32_t PixelAt(const Pixmap& map, int x, int y) {
    if (x < 0 || y < 0 || x >= map.width || y >= map.height) return Clear;
    return map.pixels[static_cast<size_t>(y) * map.width + x];
}

// Writes a picture as PNG at the strongest compression.
void SavePicture(const Pixmap& map, const std::string& outputRelative) {
    MakeFolderFor(outputRelative);
    if (!SavePixmapPng(map, gen.outputDir + outputRelative, 9))
        throw AssetError("cannot write " + gen.outputDir + outputRelative + ": " + PlatformError());
    ++gen.pictures;
}

namespace {

// The sheet being read: its picture, cell size and palette.
struct GridSheet {
    Pixmap map;
    int cellWidth = 16, cellHeight = 16;
    std::map<char, uint32_t> palette{{'.', Clear}};
};

// Top-left pixel of a cell, cells numbered row by row.
void cellOrigin(const GridSheet& sheet, int cell, int& x, int& y) {
    int columns = sheet.map.width / sheet.cellWidth;
    x = (cell % columns) * sheet.cellWidth;
    y = (cell / columns) * sheet.cellHeight;
}

// Checks that a cell number fits the sheet.
void checkCell(const GridSheet& sheet, const SourceLine& line, int cell) {
    int count = (sheet.map.width / sheet.cellWidth) * (sheet.map.height / sheet.cellHeight);
    if (cell < 0 || cell >= count) Fail(line, "cell " + std::to_string(cell) + " is off the sheet");
}

// The frames between an open and a closed hatch. The hatch is whatever the
// closed picture has that the open one does not; its top and bottom halves
// slide towards the middle, showing only over the opening (so they come out
// from under the rim).
void slideDoors(GridSheet& sheet, const SourceLine& line, int open, int closed) {
    checkCell(sheet, line, open);
    checkCell(sheet, line, closed);
    int ox, oy, cx, cy;
    cellOrigin(sheet, open, ox, oy);
    cellOrigin(sheet, closed, cx, cy);
    auto isHatch = [&](int x, int y) {
        return PixelAt(sheet.map, ox + x, oy + y) != PixelAt(sheet.map, cx + x, cy + y);
    };
    int steps = closed - open, half = sheet.cellHeight / 2;
    if (steps < 2) Fail(line, "the closed cell must come at least two cells after the open one");
    // The opening's top and bottom rows: each half travels from there to the middle.
    int first = sheet.cellHeight, last = -1;
    for (int y = 0; y < sheet.cellHeight; ++y)
        for (int x = 0; x < sheet.cellWidth; ++x)
            if (isHatch(x, y)) first = std::min(first, y), last = std::max(last, y);
    if (last < 0) Fail(line, "the closed cell shows no hatch over the open one");
    for (int k = 1; k < steps; ++k) {
        int fx, fy;
        cellOrigin(sheet, open + k, fx, fy);
        int topCover = ((half - first) * k + steps / 2) / steps;       // rows of the top half shown
        int bottomCover = ((last + 1 - half) * k + steps / 2) / steps; // and of the bottom half
        for (int y = 0; y < sheet.cellHeight; ++y) {
            int from = -1;
            if (y < half && y < first + topCover) from = y + half - (first + topCover);
            if (y >= half && y > last - bottomCover) from = y - (last + 1 - bottomCover - half);
            for (int x = 0; x < sheet.cellWidth; ++x) {
                uint32_t colour = PixelAt(sheet.map, ox + x, oy + y);
                if (from >= 0 && isHatch(x, y) && isHatch(x, from))
                    colour = PixelAt(sheet.map, cx + x, cy + from);
                PutPixel(sheet.map, fx + x, fy + y, colour);
            }
        }
    }
}

} // namespace

// Reads a grid sheet source:
//   sheet <width> <height> <cell width> <cell height>
//   colour <char> #rrggbb
//   cell <number> <description>   followed by one text row per pixel row
//   doors <open cell> <closed cell>
void BuildGridSheet(const std::string& sourceRelative, const std::string& outputRelative) {
    std::vector<std::string> raw = ReadRawLines(sourceRelative);
    GridSheet sheet;
    bool started = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        SourceLine line{sourceRelative, static_cast<int>(i + 1), SplitWords(raw[i]), raw[i]};
        if (line.words.empty()) continue;
        const std::string& verb = line.words[0];
        if (verb == "sheet") {
            sheet.map.width = static_cast<int>(NumberWord(line, 1));
            sheet.map.height = static_cast<int>(NumberWord(line, 2));
            sheet.cellWidth = static_cast<int>(NumberWord(line, 3));
            sheet.cellHeight = static_cast<int>(NumberWord(line, 4));
            if (sheet.map.width <= 0 || sheet.map.height <= 0 || sheet.cellWidth <= 0 ||
                sheet.cellHeight <= 0 || sheet.map.width % sheet.cellWidth ||
                sheet.map.height % sheet.cellHeight)
                Fail(line, "the sheet must be a whole number of cells");
            sheet.map.pixels.assign(static_cast<size_t>(sheet.map.width) * sheet.map.height, Clear);
            started = true;
        } else if (!started) {
            Fail(line, "the file must start with a sheet line");
        } else if (verb == "colour") {
            if (line.words.size() != 3 || line.words[1].size() != 1)
                Fail(line, "expected: colour <char> #rrggbb");
            sheet.palette[line.words[1][0]] = ColourWord(line, line.words[2]);
        } else if (verb == "cell") {
            int cell = static_cast<int>(NumberWord(line, 1));
            checkCell(sheet, line, cell);
            int x0, y0;
            cellOrigin(sheet, cell, x0, y0);
            for (int y = 0; y < sheet.cellHeight; ++y) {
                ++i;
                SourceLine row{sourceRelative, static_cast<int>(i + 1), {}, ""};
                if (i >= raw.size())
                    Fail(row, "the grid of cell " + std::to_string(cell) + " ends early");
                std::string text = raw[i];
                while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
                    text.pop_back();
                if (static_cast<int>(text.size()) != sheet.cellWidth)
                    Fail(row,
                         "a grid row must be " + std::to_string(sheet.cellWidth) + " characters");
                for (int x = 0; x < sheet.cellWidth; ++x) {
                    auto found = sheet.palette.find(text[x]);
                    if (found == sheet.palette.end())
                        Fail(row, std::string("'") + text[x] + "' is not in the palette");
                    PutPixel(sheet.map, x0 + x, y0 + y, found->second);
                }
            }
        } else if (verb == "doors") {
            slideDoors(sheet, line, static_cast<int>(NumberWord(line, 1)),
                       static_cast<int>(NumberWord(line, 2)));
        } else {
            Fail(line, "unknown verb '" + verb + "'");
        }
    }
    if (!started) throw AssetError(sourceRelative + ": no sheet line");
    SavePicture(sheet.map, outputRelative);
}
