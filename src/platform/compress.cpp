// compress.cpp - zlib streams for files the game packs tightly (replays).
#include "platform/internal.h"

#include <zlib.h>

// Packs bytes into one zlib stream at the best compression.
std::string CompressBytes(const std::string& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(bytes.data()), uLong(bytes.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return std::string();
    packed.resize(size);
    return packed;
}

// Unpacks one zlib stream that must give exactly `size` bytes and end there.
bool DecompressBytes(const std::string& packed, size_t size, std::string& bytes) {
    bytes.assign(size, '\0');
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        SetPlatformError("cannot start zlib");
        return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = uInt(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(bytes.data());
    z.avail_out = uInt(size);
    int status = inflate(&z, Z_FINISH);
    bool whole = status == Z_STREAM_END && z.total_out == size && z.avail_in == 0;
    if (status != Z_STREAM_END && status != Z_BUF_ERROR && status != Z_OK)
        SetPlatformError(std::string("packed data is damaged: ") + (z.msg ? z.msg : "zlib error"));
    else if (!whole)
        SetPlatformError(status == Z_STREAM_END ? "packed data has the wrong length"
                                                : "packed data is cut short");
    inflateEnd(&z);
    if (!whole) bytes.clear();
    return whole;
}
