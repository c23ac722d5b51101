// web.cpp - JSON and HTML escaping, names, SHA-256 and listen addresses.
#include "server/web.h"

#include <cstdio>
#include <cstring>

namespace {

// The length of the valid UTF-8 sequence starting at text[i], 0 when invalid.
size_t utf8Length(const std::string& text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (size_t k = 1; k < n; k++)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    if (n == 2 && c < 0xC2) return 0; // overlong
    return n;
}

// Text as UTF-8: kept when it already is, else read as Latin-1 (the game's names).
std::string asUtf8(const std::string& text) {
    bool valid = true;
    for (size_t i = 0; i < text.size() && valid;) {
        size_t n = utf8Length(text, i);
        valid = n != 0;
        i += n;
    }
    if (valid) return text;
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

uint32_t rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

} // namespace

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : asUtf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string HtmlText(const std::string& text) {
    std::string out;
    for (char c : asUtf8(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string CleanName(const std::string& name, size_t maxChars) {
    std::string utf8 = asUtf8(name), kept;
    size_t chars = 0;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = utf8Length(utf8, i);
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        bool control =
            c < 0x20 || c == 0x7F || (c == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0);
        if (!control) {
            kept.append(utf8, i, n);
            chars++;
        }
        i += n;
    }
    size_t first = kept.find_first_not_of(' '), last = kept.find_last_not_of(' ');
    if (first == std::string::npos) return "";
    kept = kept.substr(first, last - first + 1);
    return chars > maxChars ? "" : kept;
}

// FIPS 180-4 SHA-256.
std::string Sha256Hex(const std::string& bytes) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string msg = bytes;
    uint64_t bits = uint64_t(bytes.size()) * 8;
    msg += char(0x80);
    while (msg.size() % 64 != 56) msg += char(0);
    for (int i = 7; i >= 0; i--) msg += char((bits >> (8 * i)) & 0xFF);
    for (size_t block = 0; block < msg.size(); block += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; i++) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(&msg[block + 4 * i]);
            w[i] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        }
        for (int i = 16; i < 64; i++) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; i++) {
            uint32_t t1 =
                hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        uint32_t add[8] = {a, b, c, d, e, f, g, hh};
        for (int i = 0; i < 8; i++) h[i] += add[i];
    }
    char out[65];
    for (int i = 0; i < 8; i++) std::snprintf(out + 8 * i, 9, "%08x", h[i]);
    return std::string(out, 64);
}

bool SplitListen(const std::string& text, std::string& host, int& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(digits);
    return port <= 65535;
}

int CheckSubmission(const std::string& rawName, const std::string& body, size_t maxBytes,
                    std::string& name, std::string& error) {
    if (body.size() > maxBytes) {
        error = "the replay is larger than this table takes (" + std::to_string(maxBytes >> 10) +
                " KiB)";
        return 413;
    }
    name = CleanName(rawName, 40);
    if (name.empty()) {
        error = "a name of 1 to 40 characters is needed (?name=...)";
        return 400;
    }
    if (body.size() < 8 || body.compare(0, 8, "ZPREPLAY") != 0) {
        error = "not a replay file";
        return 400;
    }
    return 0;
}
