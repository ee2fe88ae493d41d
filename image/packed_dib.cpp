#include "image/packed_dib.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/pixel_rows.h"

namespace {

using dib_layout::info_header_bytes;
// The longest info header there is (BITMAPV5HEADER).
constexpr uint32_t max_info_header_bytes = 124;

}  // namespace

void fill_store(dib24& image, const dib_layout::Rows& rows, const uint8_t* table,
                const uint32_t* masks, const uint8_t* data) {
    for (int32_t y = 0; y < rows.count; ++y) {
        const uint8_t* source = data + y * rows.row_bytes;
        // Source row y is stored row y, or the other way up for top-down rows.
        const int32_t stored = rows.top_down ? rows.count - 1 - y : y;
        uint8_t* target = image.bits + int64_t{stored} * image.stride;
        switch (rows.bit_count) {
            case 1:
            case 4:
            case 8:
                indices_to_bgr(source, rows.width, rows.bit_count, table, target);
                break;
            case 24:
                std::memcpy(target, source, static_cast<size_t>(rows.row_bytes));
                break;
            default:
                if (masks != nullptr)
                    masked_to_bgr(source, rows.width, masks, target);
                else
                    bgrx_to_bgr(source, rows.width, target);
                break;
        }
    }
}

bool load_packed_dib(dib24& image, const uint8_t* block, size_t size) {
    dib_layout::PackedDib dib;
    if (!dib_layout::read_packed(block, size, dib))
        return false;
    const BITMAPINFOHEADER& h = dib.header;
    dib_layout::Rows rows;
    if (!dib_layout::accepted(h, dib_layout::memory_blocks) || !dib_layout::rows_of(h, rows))
        return false;
    if (static_cast<uint64_t>(rows.data_bytes) > size - dib.pixels_at)
        return false;
    const uint8_t* data = block + dib.pixels_at;
    if (!dib_layout::indices_below(rows, data, dib.colors))
        return false;

    image.create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
    if (image.bits == nullptr)
        return false;
    fill_store(image, rows, block + dib.table_at, dib.has_masks ? dib.masks : nullptr, data);
    return true;
}

bool load_dib_parts(dib24& image, const uint8_t* info, const uint8_t* pixels) {
    const BITMAPINFOHEADER h = dib_layout::read_info_header(info);
    if (!dib_layout::accepted(h, dib_layout::bitmap_files))
        return false;
    if (h.biSize < info_header_bytes || h.biSize > max_info_header_bytes)
        return false;
    dib_layout::Rows rows;
    if (!dib_layout::rows_of(h, rows))
        return false;
    if (!dib_layout::indices_below(rows, pixels, rows.colors))
        return false;
    // Entries beyond what the bits can index are never used, so a huge
    // biClrUsed costs nothing.
    std::vector<uint8_t> table;
    if (rows.bit_count <= 8) {
        const uint32_t reachable = std::min<uint32_t>(rows.colors, 1u << rows.bit_count);
        table.assign(info + h.biSize, info + h.biSize + 4 * size_t{reachable});
    }
    image.create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
    if (image.bits == nullptr)
        return false;
    fill_store(image, rows, table.data(), nullptr, pixels);
    return true;
}
