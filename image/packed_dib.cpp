// Packed device-independent bitmaps in memory: export to a global block and
// the imports from a global block and from a header with separate rows.
#include "image/packed_dib.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "image/dib_layout.h"

namespace {

using dib_layout::info_header_bytes;
// The longest info header there is (BITMAPV5HEADER).
constexpr uint32_t max_info_header_bytes = 124;

}  // namespace

void fill_store(dib24& image, const dib_layout::Rows& rows, const uint8_t* table,
                const uint32_t* masks, const uint8_t* data) {
    switch (rows.bit_count) {
        case 1:
            image.expand_1bit(table, data);
            break;
        case 4:
            image.expand_4bit(table, data);
            break;
        case 8:
            image.expand_8bit(table, data);
            break;
        case 24:
            std::memcpy(image.bits, data, static_cast<size_t>(rows.data_bytes));
            break;
        default:
            if (masks != nullptr)
                image.expand_bitfields(masks, data);
            else
                image.expand_32bit(data);
            break;
    }
    if (rows.top_down) {
        dib_layout::Rows store = rows;
        store.row_bytes = image.stride;
        dib_layout::flip_rows(image.bits, store);
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

HGLOBAL dib24::make_global_dib() const {
    if (bitmap == nullptr)
        return nullptr;
    const size_t store = static_cast<size_t>(stride) * static_cast<size_t>(height);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, info_header_bytes + store);
    if (block == nullptr)
        return nullptr;
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    if (p == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    dib_layout::write_info_header(info.bmiHeader, p);
    std::memcpy(p + info_header_bytes, bits, store);
    GlobalUnlock(block);
    return block;
}

bool dib24::load_global(HGLOBAL block) {
    const size_t size = GlobalSize(block);
    auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    if (p == nullptr)
        return false;
    bool loaded = false;
    try {
        loaded = load_packed_dib(*this, p, size);
    } catch (const std::bad_alloc&) {
        loaded = false;
    }
    GlobalUnlock(block);
    return loaded;
}

bool dib24::load_dib(const BITMAPINFO* info_block, const void* pixels) {
    if (info_block == nullptr || pixels == nullptr)
        return false;
    const auto* header_bytes = reinterpret_cast<const uint8_t*>(info_block);
    const BITMAPINFOHEADER h = dib_layout::read_info_header(header_bytes);
    if (!dib_layout::accepted(h, dib_layout::bitmap_files))
        return false;
    if (h.biSize < info_header_bytes || h.biSize > max_info_header_bytes)
        return false;
    dib_layout::Rows rows;
    if (!dib_layout::rows_of(h, rows))
        return false;
    const auto* data = static_cast<const uint8_t*>(pixels);
    if (!dib_layout::indices_below(rows, data, rows.colors))
        return false;
    try {
        // Entries beyond what the bits can index are never used, so a huge
        // biClrUsed costs nothing.
        std::vector<uint8_t> table;
        if (rows.bit_count <= 8) {
            const uint32_t reachable = std::min<uint32_t>(rows.colors, 1u << rows.bit_count);
            table.assign(header_bytes + h.biSize, header_bytes + h.biSize + 4 * size_t{reachable});
        }
        create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
        if (bits == nullptr)
            return false;
        fill_store(*this, rows, table.data(), nullptr, data);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void dib24::expand_32bit(const uint8_t* data) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = data + int64_t{y} * 4 * width;
        uint8_t* target = bits + int64_t{y} * stride;
        for (int32_t x = 0; x < width; ++x) {
            target[3 * x + 0] = source[4 * x + 0];
            target[3 * x + 1] = source[4 * x + 1];
            target[3 * x + 2] = source[4 * x + 2];
        }
    }
}

void dib24::expand_bitfields(const uint32_t masks[3], const uint8_t* data) {
    const int red_shift = lowest_set_bit(masks[0]);
    const int green_shift = lowest_set_bit(masks[1]);
    const int blue_shift = lowest_set_bit(masks[2]);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = data + int64_t{y} * 4 * width;
        uint8_t* target = bits + int64_t{y} * stride;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = dib_layout::read_u32(source + 4 * x);
            target[3 * x + 0] = static_cast<uint8_t>((v & masks[2]) >> blue_shift);
            target[3 * x + 1] = static_cast<uint8_t>((v & masks[1]) >> green_shift);
            target[3 * x + 2] = static_cast<uint8_t>((v & masks[0]) >> red_shift);
        }
    }
}

int dib24::lowest_set_bit(uint32_t mask) {
    for (int i = 0; i < 32; ++i)
        if (mask & (uint32_t{1} << i))
            return i;
    return 0;
}
