// paint.cpp - pictures painted from shape recipes: the logos and the badge
// medallions, with lettering from a pixel font kept as text grids.
#include "assetgen.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;

// One letter of the pixel font: rows of '#' (ink) and '.' (paper).
struct Glyph {
    std::vector<std::string> rows;
    int width = 0;
};

// The picture being painted and the rectangle that shape coordinates start from.
struct Canvas {
    Pixmap map;
    std::string output;
    int left = 0, top = 0, width = 0, height = 0;
    std::map<char, Glyph> font;
};

// Reads a pixel font: "glyph <char>" followed by its rows.
std::map<char, Glyph> readFont(const std::string& relativePath) {
    std::map<char, Glyph> font;
    Glyph* current = nullptr;
    int number = 0;
    for (const std::string& raw : ReadRawLines(relativePath)) {
        ++number;
        SourceLine line{relativePath, number, SplitWords(raw), raw};
        if (raw.rfind("glyph", 0) == 0) {
            // "glyph" then one blank then the character (which may be a blank itself).
            if (raw.size() != 7) Fail(line, "expected: glyph <one character>");
            current = &font[raw[6]];
            continue;
        }
        if (raw.empty() || raw[0] == '#' || raw[0] == ' ') continue;
        if (!current) Fail(line, "a glyph row before any glyph line");
        if (raw.find_first_not_of(".X") != std::string::npos) Fail(line, "glyph rows use . and X");
        if (current->width && static_cast<int>(raw.size()) != current->width)
            Fail(line, "the rows of a glyph must be equally wide");
        current->width = static_cast<int>(raw.size());
        current->rows.push_back(raw);
    }
    return font;
}

// True when the pixel of the current area is painted.
bool opaqueAt(const Canvas& canvas, int x, int y) {
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return false;
    return (PixelAt(canvas.map, canvas.left + x, canvas.top + y) >> 24) != 0;
}

// Paints one pixel of the current area (clipped to it).
void paint(Canvas& canvas, int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
    PutPixel(canvas.map, canvas.left + x, canvas.top + y, colour);
}

// Fills every pixel whose centre lies inside the polygon, shaded top to bottom.
void fillPolygon(Canvas& canvas, const std::vector<double>& xs, const std::vector<double>& ys,
                 uint32_t topColour, uint32_t bottomColour) {
    double minY = *std::min_element(ys.begin(), ys.end());
    double maxY = *std::max_element(ys.begin(), ys.end());
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            double px = x + 0.5, py = y + 0.5;
            bool inside = false;
            for (size_t i = 0, j = xs.size() - 1; i < xs.size(); j = i++) {
                if ((ys[i] > py) != (ys[j] > py) &&
                    px < (xs[j] - xs[i]) * (py - ys[i]) / (ys[j] - ys[i]) + xs[i])
                    inside = !inside;
            }
            if (inside)
                paint(canvas, x, y, Mix(topColour, bottomColour, (py - minY) / (maxY - minY)));
        }
    }
}

// A regular polygon or star: radii alternate between the given ones.
void fillStar(Canvas& canvas, int corners, double cx, double cy, const std::vector<double>& radii,
              double turn, uint32_t topColour, uint32_t bottomColour) {
    std::vector<double> xs, ys;
    int points = corners * static_cast<int>(radii.size());
    for (int i = 0; i < points; ++i) {
        double angle = (turn + 360.0 * i / points) * Pi / 180.0;
        double r = radii[i % radii.size()];
        xs.push_back(cx + std::sin(angle) * r);
        ys.push_back(cy - std::cos(angle) * r);
    }
    fillPolygon(canvas, xs, ys, topColour, bottomColour);
}

// A disc lit from the upper left: light at the highlight, dark at the far rim.
void fillDisc(Canvas& canvas, double cx, double cy, double r, uint32_t light, uint32_t dark) {
    double hx = cx - r / 3, hy = cy - r / 3;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            double px = x + 0.5, py = y + 0.5;
            if ((px - cx) * (px - cx) + (py - cy) * (py - cy) > r * r) continue;
            double d = std::hypot(px - hx, py - hy) / (r * 4 / 3);
            paint(canvas, x, y, Mix(light, dark, d));
        }
    }
}

// A ring between radius r - width and r.
void fillRing(Canvas& canvas, double cx, double cy, double r, double width, uint32_t colour) {
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            if (d <= r && d > r - width) paint(canvas, x, y, colour);
        }
    }
}

// Pixel-font lettering centred on (cx, cy), each font pixel a scale x scale block.
void drawText(Canvas& canvas, const SourceLine& line, const std::string& text, double cx, double cy,
              int scale, uint32_t topColour, uint32_t bottomColour) {
    int width = 0, height = 0;
    std::vector<const Glyph*> glyphs;
    for (char c : text) {
        // A letter the font lacks in lower case is drawn as its capital.
        auto found = canvas.font.find(c);
        if (found == canvas.font.end() && c >= 'a' && c <= 'z')
            found = canvas.font.find(static_cast<char>(c - 'a' + 'A'));
        if (found == canvas.font.end())
            Fail(line, std::string("the pixel font has no '") + c + "'");
        glyphs.push_back(&found->second);
        width += (found->second.width + 1) * scale;
        height = std::max(height, static_cast<int>(found->second.rows.size()) * scale);
    }
    width -= scale;
    int x0 = static_cast<int>(std::lround(cx - width / 2.0));
    int y0 = static_cast<int>(std::lround(cy - height / 2.0));
    for (const Glyph* glyph : glyphs) {
        for (size_t row = 0; row < glyph->rows.size(); ++row) {
            for (int col = 0; col < glyph->width; ++col) {
                if (glyph->rows[row][col] != 'X') continue;
                for (int dy = 0; dy < scale; ++dy) {
                    int y = static_cast<int>(row) * scale + dy;
                    uint32_t colour = Mix(topColour, bottomColour, (y + 0.5) / height);
                    for (int dx = 0; dx < scale; ++dx)
                        paint(canvas, x0 + col * scale + dx, y0 + y, colour);
                }
            }
        }
        x0 += (glyph->width + 1) * scale;
    }
}

// Rims everything painted in the area with a band of the given width.
void outline(Canvas& canvas, uint32_t colour, int width) {
    for (int pass = 0; pass < width; ++pass) {
        std::vector<std::pair<int, int>> edge;
        for (int y = 0; y < canvas.height; ++y)
            for (int x = 0; x < canvas.width; ++x)
                if (!opaqueAt(canvas, x, y) &&
                    (opaqueAt(canvas, x - 1, y) || opaqueAt(canvas, x + 1, y) ||
                     opaqueAt(canvas, x, y - 1) || opaqueAt(canvas, x, y + 1)))
                    edge.push_back({x, y});
        for (auto [x, y] : edge) paint(canvas, x, y, colour);
    }
}

// A flat shadow of everything painted in the area, offset and laid underneath.
void shadow(Canvas& canvas, int dx, int dy, uint32_t colour) {
    std::vector<std::pair<int, int>> cast;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
            if (!opaqueAt(canvas, x, y) && opaqueAt(canvas, x - dx, y - dy)) cast.push_back({x, y});
    for (auto [x, y] : cast) paint(canvas, x, y, colour);
}

// Lightens painted pixels facing up-left and darkens those facing down-right.
void bevel(Canvas& canvas, uint32_t light, uint32_t dark) {
    Pixmap before = canvas.map;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            if (!opaqueAt(canvas, x, y)) continue;
            uint32_t own = PixelAt(before, canvas.left + x, canvas.top + y);
            auto clearAt = [&](int ax, int ay) {
                return ax < 0 || ay < 0 || ax >= canvas.width || ay >= canvas.height ||
                       (PixelAt(before, canvas.left + ax, canvas.top + ay) >> 24) == 0;
            };
            if (clearAt(x - 1, y) || clearAt(x, y - 1))
                paint(canvas, x, y, Mix(own, light, 0.6));
            else if (clearAt(x + 1, y) || clearAt(x, y + 1))
                paint(canvas, x, y, Mix(own, dark, 0.6));
        }
    }
}

// Saves the finished picture, if one was started.
void finish(Canvas& canvas) {
    if (!canvas.output.empty()) SavePicture(canvas.map, canvas.output);
    canvas.output.clear();
}

} // namespace

// Reads a painting recipe; coordinates are relative to the current area.
//   font <pixel font file>            picture <output> <width> <height>
//   area <x> <y> <width> <height>     disc <cx> <cy> <r> <light> <dark>
//   ring <cx> <cy> <r> <width> <colour>
//   polygon <sides> <cx> <cy> <r> <turn> <top> <bottom>
//   star <points> <cx> <cy> <outer r> <inner r> <turn> <top> <bottom>
//   box <x> <y> <w> <h> <top> <bottom>   text "<letters>" <cx> <cy> <scale> <top> <bottom>
//   outline <colour> <width>   shadow <dx> <dy> <colour>   bevel <light> <dark>
void BuildPaintedPictures(const std::string& sourceRelative) {
    Canvas canvas;
    for (const SourceLine& line : ReadSource(sourceRelative)) {
        const std::string& verb = line.words[0];
        auto number = [&](size_t i) { return NumberWord(line, i); };
        auto colour = [&](size_t i) {
            if (i >= line.words.size()) Fail(line, "a colour is missing");
            return ColourWord(line, line.words[i]);
        };
        auto needs = [&](size_t count) {
            if (line.words.size() != count)
                Fail(line, "'" + verb + "' takes " + std::to_string(count - 1) + " values");
        };
        if (verb == "font") {
            needs(2);
            canvas.font = readFont(line.words[1]);
            continue;
        }
        if (verb == "picture") {
            needs(4);
            finish(canvas);
            canvas.output = line.words[1];
            canvas.map.width = canvas.width = static_cast<int>(number(2));
            canvas.map.height = canvas.height = static_cast<int>(number(3));
            if (canvas.width <= 0 || canvas.height <= 0) Fail(line, "a picture needs a size");
            canvas.map.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height, Clear);
            canvas.left = canvas.top = 0;
            continue;
        }
        if (canvas.output.empty()) Fail(line, "'" + verb + "' before any picture line");
        if (verb == "area") {
            needs(5);
            canvas.left = static_cast<int>(number(1));
            canvas.top = static_cast<int>(number(2));
            canvas.width = static_cast<int>(number(3));
            canvas.height = static_cast<int>(number(4));
        } else if (verb == "disc") {
            needs(6);
            fillDisc(canvas, number(1), number(2), number(3), colour(4), colour(5));
        } else if (verb == "ring") {
            needs(6);
            fillRing(canvas, number(1), number(2), number(3), number(4), colour(5));
        } else if (verb == "polygon") {
            needs(8);
            fillStar(canvas, static_cast<int>(number(1)), number(2), number(3), {number(4)},
                     number(5), colour(6), colour(7));
        } else if (verb == "star") {
            needs(9);
            fillStar(canvas, static_cast<int>(number(1)), number(2), number(3),
                     {number(4), number(5)}, number(6), colour(7), colour(8));
        } else if (verb == "box") {
            needs(7);
            double x = number(1), y = number(2), w = number(3), h = number(4);
            fillPolygon(canvas, {x, x + w, x + w, x}, {y, y, y + h, y + h}, colour(5), colour(6));
        } else if (verb == "text") {
            needs(7);
            drawText(canvas, line, line.words[1], number(2), number(3), static_cast<int>(number(4)),
                     colour(5), colour(6));
        } else if (verb == "outline") {
            needs(3);
            outline(canvas, colour(1), static_cast<int>(number(2)));
        } else if (verb == "shadow") {
            needs(4);
            shadow(canvas, static_cast<int>(number(1)), static_cast<int>(number(2)), colour(3));
        } else if (verb == "bevel") {
            needs(3);
            bevel(canvas, colour(1), colour(2));
        } else {
            Fail(line, "unknown verb '" + verb + "'");
        }
    }
    finish(canvas);
}
