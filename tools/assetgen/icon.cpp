// icon.cpp - the desktop icon at every size, laid out from cells of a sheet the
// generator has already written, on a dark field with rounded corners.
#include "assetgen.h"

#include <algorithm>
#include <filesystem>

namespace {

// The icon on its small grid, before scaling.
struct IconLayout {
    Pixmap sheet;
    int cell = 16;    // cell size of the sheet
    int size = 16;    // the grid is size x size pixels
    uint32_t top = 0; // the field's colour at the top and at the bottom
    uint32_t bottom = 0;
    Pixmap grid;
    std::vector<int> sizes;
};

// Multiplies a sheet pixel by a tint, keeping its alpha.
uint32_t tinted(uint32_t pixel, uint32_t tint) {
    auto channel = [&](int shift) {
        return static_cast<int>(((pixel >> shift) & 255) * ((tint >> shift) & 255) / 255);
    };
    return (pixel & 0xff000000u) | static_cast<uint32_t>(channel(16)) << 16 |
           static_cast<uint32_t>(channel(8)) << 8 | static_cast<uint32_t>(channel(0));
}

// The field: a vertical blend with its four corner pixels cut away.
void paintField(IconLayout& icon) {
    int n = icon.size;
    icon.grid.width = icon.grid.height = n;
    icon.grid.pixels.assign(static_cast<size_t>(n) * n, Clear);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            bool corner = (x == 0 || x == n - 1) && (y == 0 || y == n - 1);
            if (!corner) PutPixel(icon.grid, x, y, Mix(icon.top, icon.bottom, y / double(n - 1)));
        }
}

// Lays one tinted cell of the sheet onto the grid, shifted by (dx, dy).
void placeCell(IconLayout& icon, const SourceLine& line) {
    int cell = static_cast<int>(NumberWord(line, 1));
    int dx = static_cast<int>(NumberWord(line, 2)), dy = static_cast<int>(NumberWord(line, 3));
    if (line.words.size() != 5) Fail(line, "expected: cell <number> <dx> <dy> #rrggbb");
    uint32_t tint = ColourWord(line, line.words[4]);
    int columns = icon.sheet.width / icon.cell, rows = icon.sheet.height / icon.cell;
    if (cell < 0 || cell >= columns * rows)
        Fail(line, "cell " + line.words[1] + " is off the sheet");
    int x0 = (cell % columns) * icon.cell, y0 = (cell / columns) * icon.cell;
    for (int y = 0; y < icon.cell; ++y)
        for (int x = 0; x < icon.cell; ++x) {
            uint32_t pixel = PixelAt(icon.sheet, x0 + x, y0 + y);
            bool onField = PixelAt(icon.grid, x + dx, y + dy) != Clear;
            if ((pixel >> 24) != 0 && onField)
                PutPixel(icon.grid, x + dx, y + dy, tinted(pixel, tint));
        }
}

// The grid scaled to size x size by picking the nearest grid pixel.
Pixmap scaled(const Pixmap& grid, int size) {
    Pixmap out;
    out.width = out.height = size;
    out.pixels.resize(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            out.pixels[static_cast<size_t>(y) * size + x] =
                PixelAt(grid, x * grid.width / size, y * grid.height / size);
    return out;
}

} // namespace

// Reads the icon source:
//   sheet <picture in the pack> <cell size>
//   field <grid size> #top #bottom
//   cell <number> <dx> <dy> #tint        (in drawing order)
//   sizes <pixels>...
// and writes <iconsDir>/hicolor/<n>x<n>/apps/<name>.png for every size.
void BuildIcons(const std::string& sourceRelative, const std::string& iconsDir,
                const std::string& name) {
    IconLayout icon;
    bool haveSheet = false, haveField = false;
    for (const SourceLine& line : ReadSource(sourceRelative)) {
        const std::string& verb = line.words[0];
        if (verb == "sheet") {
            if (line.words.size() != 3) Fail(line, "expected: sheet <picture> <cell size>");
            if (!LoadPixmapPng(gen.outputDir + line.words[1], icon.sheet))
                Fail(line, "cannot read " + gen.outputDir + line.words[1] + ": " + PlatformError());
            icon.cell = static_cast<int>(NumberWord(line, 2));
            if (icon.cell < 2 || icon.sheet.width % icon.cell || icon.sheet.height % icon.cell)
                Fail(line, "the sheet is not made of cells of that size");
            haveSheet = true;
        } else if (verb == "field") {
            if (!haveSheet || line.words.size() != 4)
                Fail(line, "expected (after sheet): field <grid size> #top #bottom");
            icon.size = static_cast<int>(NumberWord(line, 1));
            if (icon.size < 2 || icon.size > 256) Fail(line, "the grid size must be 2 to 256");
            icon.top = ColourWord(line, line.words[2]);
            icon.bottom = ColourWord(line, line.words[3]);
            paintField(icon);
            haveField = true;
        } else if (verb == "cell") {
            if (!haveField) Fail(line, "a cell must come after the field");
            placeCell(icon, line);
        } else if (verb == "sizes") {
            for (size_t i = 1; i < line.words.size(); ++i) {
                int size = static_cast<int>(NumberWord(line, i));
                if (size < 1 || size > 1024) Fail(line, "an icon size must be 1 to 1024");
                icon.sizes.push_back(size);
            }
        } else {
            Fail(line, "unknown verb '" + verb + "'");
        }
    }
    if (!haveField || icon.sizes.empty())
        throw AssetError(sourceRelative + ": needs a sheet, a field and sizes");
    for (int size : icon.sizes) {
        std::string folder =
            iconsDir + "hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (!SavePixmapPng(scaled(icon.grid, size), folder + name + ".png", 9))
            throw AssetError("cannot write " + folder + name + ".png: " + PlatformError());
        ++gen.pictures;
    }
}
