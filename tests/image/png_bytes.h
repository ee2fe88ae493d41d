// Test helpers: small PNG files built byte by byte (chunks with their CRCs,
// image data through zlib), to make the cases a suite lacks and damaged ones.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

using PngBytes = std::vector<uint8_t>;

inline void put_be32(PngBytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
}

// Appends a chunk: length, type, data, CRC of type and data.
inline void add_chunk(PngBytes& png, const char type[4], const PngBytes& data) {
    put_be32(png, static_cast<uint32_t>(data.size()));
    const size_t type_at = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put_be32(png, static_cast<uint32_t>(crc32(0, png.data() + type_at, uint32_t(4 + data.size()))));
}

inline PngBytes ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t color_type,
                     uint8_t interlace = 0) {
    PngBytes d;
    put_be32(d, width);
    put_be32(d, height);
    d.insert(d.end(), {depth, color_type, 0, 0, interlace});
    return d;
}

inline PngBytes deflated(const PngBytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    PngBytes out(size);
    compress(out.data(), &size, raw.data(), uLong(raw.size()));
    out.resize(size);
    return out;
}

struct PngChunk {
    std::string type;
    PngBytes data;
};

// Signature, IHDR, the chunks given, IDAT of `scanlines` (each row led by its
// filter byte), IEND.
inline PngBytes png_file(const PngBytes& header, const std::vector<PngChunk>& before_data,
                         const PngBytes& scanlines) {
    PngBytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    add_chunk(png, "IHDR", header);
    for (const PngChunk& c : before_data)
        add_chunk(png, c.type.c_str(), c.data);
    add_chunk(png, "IDAT", deflated(scanlines));
    add_chunk(png, "IEND", {});
    return png;
}
