// Test helpers: bitmap files as byte vectors, handed to the loader through a
// temporary stream (tmpfile works on every platform the tests run on).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/dib24.h"

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A file header and a 40-byte info header; the caller appends the table and rows.
inline Bytes bitmap_file_header(int32_t width, int32_t height, uint16_t bit_count,
                                uint32_t off_bits, uint32_t compression = 0, uint32_t clr_used = 0,
                                int32_t ppm = 0) {
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, off_bits);
    put32(b, 14, 40);
    put32(b, 18, static_cast<uint32_t>(width));
    put32(b, 22, static_cast<uint32_t>(height));
    put16(b, 26, 1);
    put16(b, 28, bit_count);
    put32(b, 30, compression);
    put32(b, 38, static_cast<uint32_t>(ppm));
    put32(b, 42, static_cast<uint32_t>(ppm));
    put32(b, 46, clr_used);
    return b;
}

inline bool load_bytes(dib24& image, const Bytes& bytes) {
    FILE* f = std::tmpfile();
    if (f == nullptr)
        return false;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    bool ok = image.load(f);
    std::fclose(f);
    return ok;
}

inline Bytes save_bytes(const dib24& image, bool* ok = nullptr) {
    FILE* f = std::tmpfile();
    Bytes out;
    if (f == nullptr)
        return out;
    bool saved = image.save(f);
    if (ok != nullptr)
        *ok = saved;
    long n = std::ftell(f);
    std::rewind(f);
    out.resize(static_cast<size_t>(n));
    if (n > 0 && std::fread(out.data(), 1, out.size(), f) != out.size())
        out.clear();
    std::fclose(f);
    return out;
}
