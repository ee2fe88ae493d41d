#include "image/pixel_rows.h"

#include "image/byte_reader.h"

bool row_indices_below(const uint8_t* row, int64_t width, int bits, uint32_t colors) {
    if (bits >= 32 || colors >= (1u << bits))
        return true;  // every index the bits can hold is in the table
    for (int64_t x = 0; x < width; ++x)
        if (index_at(row, x, bits) >= colors)
            return false;
    return true;
}

void indices_to_bgr(const uint8_t* row, int64_t width, int bits, const uint8_t* table,
                    uint8_t* out) {
    for (int64_t x = 0; x < width; ++x, out += 3) {
        const uint8_t* entry = table + 4 * index_at(row, x, bits);
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
    }
}

void bgrx_to_bgr(const uint8_t* row, int64_t width, uint8_t* out) {
    for (int64_t x = 0; x < width; ++x, row += 4, out += 3) {
        out[0] = row[0];
        out[1] = row[1];
        out[2] = row[2];
    }
}

int lowest_set_bit(uint32_t mask) {
    for (int i = 0; i < 32; ++i)
        if (mask & (uint32_t{1} << i))
            return i;
    return 0;
}

void masked_to_bgr(const uint8_t* row, int64_t width, const uint32_t masks[3], uint8_t* out) {
    const int red_shift = lowest_set_bit(masks[0]);
    const int green_shift = lowest_set_bit(masks[1]);
    const int blue_shift = lowest_set_bit(masks[2]);
    for (int64_t x = 0; x < width; ++x, row += 4, out += 3) {
        const uint32_t v = le32(row);
        out[0] = static_cast<uint8_t>((v & masks[2]) >> blue_shift);
        out[1] = static_cast<uint8_t>((v & masks[1]) >> green_shift);
        out[2] = static_cast<uint8_t>((v & masks[0]) >> red_shift);
    }
}

void swap_red_blue(const uint8_t* row, int64_t width, uint8_t* out) {
    for (int64_t x = 0; x < width; ++x, row += 3, out += 3) {
        const uint8_t first = row[0];
        out[0] = row[2];
        out[1] = row[1];
        out[2] = first;
    }
}

void rgba_over_white(const uint8_t* row, int64_t width, uint8_t* out) {
    for (int64_t x = 0; x < width; ++x, row += 4, out += 3)
        for (int c = 0; c < 3; ++c)
            out[c] = over_white(row[c], row[3]);
}

void rgb_row_to_bgr(const uint8_t* row, int64_t width, Alpha alpha, uint8_t* out) {
    if (alpha == Alpha::none) {
        swap_red_blue(row, width, out);
        return;
    }
    for (int64_t x = 0; x < width; ++x, row += 4, out += 3)
        for (int c = 0; c < 3; ++c)
            out[2 - c] = alpha == Alpha::straight ? over_white(row[c], row[3])
                                                  : premultiplied_over_white(row[c], row[3]);
}
