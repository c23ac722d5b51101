// source.cpp - reading the generator's text sources and copying files verbatim.
#include "assetgen.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

// The lines of a source file exactly as written; a missing file is an error.
std::vector<std::string> ReadRawLines(const std::string& relativePath) {
    std::ifstream in(gen.sourceDir + relativePath, std::ios::binary);
    if (!in) throw AssetError("missing source " + gen.sourceDir + relativePath);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Splits a line into words at blanks; "quoted text" is one word without its quotes.
std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        // "# " starts a comment; "#rrggbb" is a colour.
        if (text[i] == '#' && (i + 1 == text.size() || text[i + 1] == ' ' || text[i + 1] == '\t'))
            break;
        std::string word;
        if (text[i] == '"') {
            size_t end = text.find('"', i + 1);
            if (end == std::string::npos) end = text.size();
            word = text.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < text.size() && text[i] != ' ' && text[i] != '\t') word += text[i++];
        }
        words.push_back(word);
    }
    return words;
}

// The meaningful lines of a source file: comments (#) and blank lines dropped.
std::vector<SourceLine> ReadSource(const std::string& relativePath) {
    std::vector<SourceLine> result;
    int number = 0;
    for (const std::string& raw : ReadRawLines(relativePath)) {
        ++number;
        SourceLine line{relativePath, number, SplitWords(raw), raw};
        if (!line.words.empty()) result.push_back(line);
    }
    return result;
}

// Stops the build with the file, line number and what was wrong there.
void Fail(const SourceLine& line, const std::string& what) {
    throw AssetError(line.file + ":" + std::to_string(line.number) + ": " + what);
}

// The word at index as a number; a missing or non-numeric word is an error.
double NumberWord(const SourceLine& line, size_t index) {
    if (index >= line.words.size()) Fail(line, "a number is missing");
    const std::string& word = line.words[index];
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(word, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != word.size() || word.empty()) Fail(line, "'" + word + "' is not a number");
    return value;
}

// Collects key=value words from index on.
std::map<std::string, std::string> OptionWords(const SourceLine& line, size_t index) {
    std::map<std::string, std::string> options;
    for (size_t i = index; i < line.words.size(); ++i) {
        const std::string& word = line.words[i];
        size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0) Fail(line, "'" + word + "' is not key=value");
        options[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return options;
}

// A colour written as #rrggbb.
uint32_t ColourWord(const SourceLine& line, const std::string& word) {
    if (word.size() != 7 || word[0] != '#') Fail(line, "'" + word + "' is not a #rrggbb colour");
    uint32_t value = 0;
    for (size_t i = 1; i < 7; ++i) {
        char c = word[i];
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) Fail(line, "'" + word + "' is not a #rrggbb colour");
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return 0xff000000u | value;
}

// Creates the folders an output file needs.
void MakeFolderFor(const std::string& outputRelative) {
    fs::path target = fs::path(gen.outputDir + outputRelative).parent_path();
    std::error_code ignored;
    fs::create_directories(target, ignored);
    if (!fs::is_directory(target)) throw AssetError("cannot create folder " + target.string());
}

// Copies a file byte for byte into the pack.
void CopyFile(const std::string& from, const std::string& outputRelative) {
    std::ifstream in(from, std::ios::binary);
    if (!in) throw AssetError("missing source " + from);
    std::stringstream bytes;
    bytes << in.rdbuf();
    MakeFolderFor(outputRelative);
    std::ofstream out(gen.outputDir + outputRelative, std::ios::binary | std::ios::trunc);
    out << bytes.str();
    if (!out) throw AssetError("cannot write " + gen.outputDir + outputRelative);
    ++gen.copies;
}

// Each line of the font list reads: <installed font file> "<name in the pack>".
void CopyFonts(const std::string& sourceRelative) {
    for (const SourceLine& line : ReadSource(sourceRelative)) {
        if (line.words.size() != 2) Fail(line, "expected: <font file> \"<pack name>\"");
        if (!fs::exists(line.words[0]))
            Fail(line, line.words[0] + " is not installed (see deps/debian-packages.txt)");
        CopyFile(line.words[0], "Common/" + line.words[1]);
    }
}
