// Test helpers: packed device-independent bitmaps as byte vectors and as
// global memory blocks.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/dib24.h"
#include "tests/image/byte_stream.h"

// A BITMAPINFOHEADER of `header_size` bytes (the fields past 40 zero); the
// caller appends the table or masks and the rows.
inline Bytes packed_header(int32_t width, int32_t height, uint16_t bit_count,
                           uint32_t compression = BI_RGB, uint32_t clr_used = 0, int32_t ppm = 0,
                           uint32_t header_size = 40) {
    Bytes b(header_size < 40 ? 40 : header_size, 0);  // fields past a short header stay
    put32(b, 0, header_size);
    put32(b, 4, static_cast<uint32_t>(width));
    put32(b, 8, static_cast<uint32_t>(height));
    put16(b, 12, 1);
    put16(b, 14, bit_count);
    put32(b, 16, compression);
    put32(b, 24, static_cast<uint32_t>(ppm));
    put32(b, 28, static_cast<uint32_t>(ppm));
    put32(b, 32, clr_used);
    return b;
}

inline void append_u32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A movable block of exactly bytes.size() bytes holding them.
inline HGLOBAL global_block(const Bytes& bytes) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (h == nullptr)
        return nullptr;
    if (!bytes.empty())
        std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
}

inline Bytes global_bytes(HGLOBAL h) {
    Bytes out(GlobalSize(h));
    const void* p = GlobalLock(h);
    if (p != nullptr && !out.empty())
        std::memcpy(out.data(), p, out.size());
    GlobalUnlock(h);
    return out;
}

// load_global of a block holding `bytes`; the block is freed again.
inline bool load_block(dib24& image, const Bytes& bytes) {
    HGLOBAL h = global_block(bytes);
    bool ok = image.load_global(h);
    GlobalFree(h);
    return ok;
}
