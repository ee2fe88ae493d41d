// Pixel rows from the layouts pictures come in to the 24-bit store's blue,
// green, red: palette indices (the one place they are decoded), 32-bit and
// masked pixels, decoded red-green-blue rows, transparent pixels over white.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes in a row of `width` pixels of `bits` bits each, padded to whole
// 4-byte words: the rows of bitmaps and of the store.
inline int64_t dib_row_bytes(int64_t width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// The palette index of pixel `x` of a row of `bits`-bit indices (1, 2, 4 or
// 8); the leftmost pixel is in a byte's highest bits.
inline unsigned index_at(const uint8_t* row, int64_t x, int bits) {
    if (bits == 8)
        return row[x];
    const int64_t bit = x * bits;
    const int shift = 8 - bits - static_cast<int>(bit % 8);
    return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

// True when every index of a row of `width` `bits`-bit indices is below
// `colors`.
bool row_indices_below(const uint8_t* row, int64_t width, int bits, uint32_t colors);

// An 8-bit channel value `c` with alpha `a` blended over white: c·a + 255·(255 − a),
// divided by 255 with rounding. Transparent pixels are shown over white, which
// is what a picture without alpha shows best.
inline uint8_t over_white(unsigned c, unsigned a) {
    return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

// The same for a value `c` already multiplied by its alpha (associated,
// premultiplied alpha): c + 255 − a.
inline uint8_t premultiplied_over_white(unsigned c, unsigned a) {
    return static_cast<uint8_t>(c + 255 - a > 255 ? 255 : c + 255 - a);
}

// A row of `width` indices to blue, green, red through a table of 4-byte
// entries (blue, green, red, unused); every index must be in the table.
void indices_to_bgr(const uint8_t* row, int64_t width, int bits, const uint8_t* table,
                    uint8_t* out);
// 4-byte pixels (blue, green, red, unused) to 3-byte ones.
void bgrx_to_bgr(const uint8_t* row, int64_t width, uint8_t* out);
// 32-bit little-endian pixels with red, green and blue masks (in that order):
// each channel is its masked bits shifted down to bit 0, not rescaled, its low
// 8 bits kept.
void masked_to_bgr(const uint8_t* row, int64_t width, const uint32_t masks[3], uint8_t* out);
// The index 0-31 of the lowest set bit of `mask`; 0 for a mask of 0.
int lowest_set_bit(uint32_t mask);

// Red, green, blue to blue, green, red (and back: the same swap).
void swap_red_blue(const uint8_t* row, int64_t width, uint8_t* out);
// Three colour samples and an alpha (unassociated) a pixel to the three
// samples over white, in the same order.
void rgba_over_white(const uint8_t* row, int64_t width, uint8_t* out);

// How a decoder's pixels carry alpha: not at all (red, green, blue), or as a
// fourth sample, the colour samples as they are or already multiplied by it.
enum class Alpha { none, straight, premultiplied };
// A row of `width` pixels of red, green, blue (and alpha, as `alpha` says) to
// the store's blue, green, red, transparent pixels over white.
void rgb_row_to_bgr(const uint8_t* row, int64_t width, Alpha alpha, uint8_t* out);
