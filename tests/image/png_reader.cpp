#include "tests/image/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool read_file(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return true;
}

int paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = p > a ? p - a : a - p;
    int pb = p > b ? p - b : b - p;
    int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

// Reverses the per-row filters in place; `raw` holds rows of 1 + row_bytes.
bool unfilter(std::vector<uint8_t>& raw, size_t rows, size_t row_bytes, size_t bpp) {
    std::vector<uint8_t> zero(row_bytes, 0);
    for (size_t y = 0; y < rows; ++y) {
        uint8_t* line = raw.data() + y * (row_bytes + 1);
        const uint8_t type = line[0];
        uint8_t* cur = line + 1;
        const uint8_t* prev = y == 0 ? zero.data() : cur - (row_bytes + 1);
        for (size_t i = 0; i < row_bytes; ++i) {
            int a = i >= bpp ? cur[i - bpp] : 0;
            int b = prev[i];
            int c = i >= bpp ? prev[i - bpp] : 0;
            int add;
            switch (type) {
                case 0:
                    add = 0;
                    break;
                case 1:
                    add = a;
                    break;
                case 2:
                    add = b;
                    break;
                case 3:
                    add = (a + b) / 2;
                    break;
                case 4:
                    add = paeth(a, b, c);
                    break;
                default:
                    return false;
            }
            cur[i] = static_cast<uint8_t>(cur[i] + add);
        }
    }
    return true;
}

// Sample `index` of a row packed at `depth` bits (1-16), scaled to 8 bits
// unless it is a palette index.
unsigned sample(const uint8_t* row, size_t index, int depth) {
    if (depth == 8)
        return row[index];
    if (depth == 16)
        return row[2 * index];  // the high byte
    size_t bit = index * depth;
    unsigned byte = row[bit / 8];
    return (byte >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

}  // namespace

bool read_png(const std::string& path, RgbImage& out, std::string& error) {
    std::vector<uint8_t> file;
    if (!read_file(path, file))
        return error = "cannot open " + path, false;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || std::memcmp(file.data(), signature, 8) != 0)
        return error = "not a PNG", false;

    uint32_t width = 0, height = 0;
    int depth = 0, color_type = -1, interlace = 0;
    std::vector<uint8_t> palette, compressed;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = be32(&file[at]);
        if (length > file.size() - at - 12)
            return error = "truncated chunk", false;
        const uint8_t* type = &file[at + 4];
        const uint8_t* data = &file[at + 8];
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13) {
            width = be32(data);
            height = be32(data + 4);
            depth = data[8];
            color_type = data[9];
            interlace = data[12];
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            palette.assign(data, data + length);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            compressed.insert(compressed.end(), data, data + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
        at += 12 + size_t{length};
    }
    if (width == 0 || height == 0 || width > 1 << 16 || height > 1 << 16)
        return error = "bad size", false;
    if (interlace != 0)
        return error = "interlaced", false;
    int channels;
    switch (color_type) {
        case 0:
            channels = 1;
            break;
        case 2:
            channels = 3;
            break;
        case 3:
            channels = 1;
            break;
        case 4:
            channels = 2;
            break;
        case 6:
            channels = 4;
            break;
        default:
            return error = "bad colour type", false;
    }
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
        return error = "bad depth", false;

    const size_t row_bytes = (size_t{width} * channels * depth + 7) / 8;
    const size_t bpp = std::max<size_t>(1, size_t(channels) * depth / 8);
    std::vector<uint8_t> raw(size_t{height} * (row_bytes + 1));
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &raw_size, compressed.data(),
                   static_cast<uLong>(compressed.size())) != Z_OK ||
        raw_size != raw.size())
        return error = "bad image data", false;
    if (!unfilter(raw, height, row_bytes, bpp))
        return error = "bad filter", false;

    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.rgb.assign(size_t{width} * height * 3, 0);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = raw.data() + y * (row_bytes + 1) + 1;
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* px = out.rgb.data() + 3 * (size_t{y} * width + x);
            if (color_type == 3) {
                unsigned i = sample(row, x, depth);
                if (3 * size_t{i} + 2 >= palette.size())
                    return error = "index outside palette", false;
                std::memcpy(px, &palette[3 * i], 3);
            } else if (color_type == 0 || color_type == 4) {
                unsigned v = sample(row, size_t{x} * channels, depth);
                if (depth < 8)
                    v = v * 255 / ((1u << depth) - 1);
                px[0] = px[1] = px[2] = static_cast<uint8_t>(v);
            } else {
                for (int c = 0; c < 3; ++c)
                    px[c] = static_cast<uint8_t>(sample(row, size_t{x} * channels + c, depth));
            }
        }
    }
    return true;
}
