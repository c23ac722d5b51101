// text.cpp - field splitting and lenient number reading.
#include "text/text.h"

#include <cctype>

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) < 33) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) < 33) --end;
    return text.substr(begin, end - begin);
}

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string Right(const std::string& text, int n) {
    if (n <= 0) return "";
    if (static_cast<size_t>(n) >= text.size()) return text;
    return text.substr(text.size() - static_cast<size_t>(n));
}

std::string FieldOf(const std::string& text, const std::string& separator, int n) {
    const std::string t = Trim(text);
    // Positions below are 1-based, as in the file formats' own description;
    // a search "from p" finds the first occurrence at or after p.
    auto find = [&](size_t from) -> size_t {
        if (separator.empty() || from < 1) return 0;
        size_t at = t.find(separator[0], from - 1);
        return at == std::string::npos ? 0 : at + 1;
    };
    size_t start = 1, reach = 0;
    bool broken = false;
    for (int i = 1; i < n; ++i) {
        size_t q = find(start);
        if (q + 1 <= reach) broken = true;
        if (q + 1 > reach) reach = q + 1;
        start = reach;
    }
    if (broken) return "-+-";
    if (start > t.size()) return "";
    size_t e = find(start);
    if (e != 0) return t.substr(start - 1, e - start);
    return t.substr(start - 1);
}

int64_t ReadInt64(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') base = 16, ++i;
    else if (i < text.size() && text[i] == '%') base = 2, ++i;
    uint64_t value = 0; // unsigned so that overflow wraps instead of being undefined
    for (; i < text.size(); ++i) {
        int c = static_cast<unsigned char>(text[i]), digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        if (digit >= base) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    if (negative) value = 0 - value;
    return static_cast<int64_t>(value);
}

int32_t ReadInt(const std::string& text) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ReadInt64(text))));
}
