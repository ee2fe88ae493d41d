// Palettised source rows to the 24-bit store. Source row y goes to stored row
// y: both are bottom-up, nothing is flipped here.
#include <cstdint>

#include "image/dib24.h"

namespace {

int64_t padded(int64_t bytes) {
    return (bytes + 3) / 4 * 4;
}

template <class IndexOf>
void expand(dib24& image, const uint8_t* table, const uint8_t* data, int64_t source_row_bytes,
            IndexOf index_of) {
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* source = data + y * source_row_bytes;
        uint8_t* target = image.bits + static_cast<int64_t>(y) * image.stride;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* entry = table + 4 * index_of(source, x);
            target[3 * x + 0] = entry[0];
            target[3 * x + 1] = entry[1];
            target[3 * x + 2] = entry[2];
        }
    }
}

}  // namespace

void dib24::expand_8bit(const uint8_t* table, const uint8_t* data) {
    expand(*this, table, data, padded(width), [](const uint8_t* row, int32_t x) { return row[x]; });
}

void dib24::expand_4bit(const uint8_t* table, const uint8_t* data) {
    // The high nibble is the left pixel.
    expand(*this, table, data, padded((int64_t{width} + 1) / 2), [](const uint8_t* row, int32_t x) {
        return (x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F);
    });
}

void dib24::expand_1bit(const uint8_t* table, const uint8_t* data) {
    // The most significant bit is the leftmost pixel.
    expand(*this, table, data, padded((int64_t{width} + 7) / 8),
           [](const uint8_t* row, int32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; });
}
