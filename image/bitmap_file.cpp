// Bitmap files: reading 1, 4, 8 and 24 bits per pixel into the 24-bit store,
// writing the store as a 24-bit file.
#include <algorithm>
#include <new>
#include <vector>

#include "image/dib24.h"
#include "image/dib_layout.h"

namespace {

constexpr size_t file_header_bytes = 14;
constexpr size_t info_header_bytes = 40;
constexpr uint16_t bitmap_magic = 0x4D42;  // "BM"

// Reads exactly `n` bytes into `out`. The buffer grows only as bytes arrive,
// each step at most as large as what has arrived so far (and at least 64 KiB),
// so a short file that claims a huge size costs little memory before it is
// found out.
bool read_exactly(FILE* stream, uint64_t n, std::vector<uint8_t>& out) {
    constexpr uint64_t min_step = uint64_t{1} << 16;
    out.clear();
    while (out.size() < n) {
        const uint64_t step = std::max<uint64_t>(min_step, out.size());
        size_t want = static_cast<size_t>(std::min<uint64_t>(step, n - out.size()));
        size_t have = out.size();
        out.resize(have + want);
        if (std::fread(out.data() + have, 1, want, stream) != want) {
            out.clear();
            return false;
        }
    }
    return true;
}

}  // namespace

bool dib24::load(FILE* stream) {
    if (stream == nullptr) return false;
    try {
        uint8_t file_header[file_header_bytes];
        if (std::fread(file_header, 1, file_header_bytes, stream) != file_header_bytes) return false;
        if (dib_layout::read_u16(file_header) != bitmap_magic) return false;

        // Everything between the file header and the pixel rows is the header
        // block; it must at least hold the 40-byte info header.
        const uint32_t off_bits = dib_layout::read_u32(file_header + 10);
        if (off_bits < file_header_bytes + info_header_bytes) return false;
        std::vector<uint8_t> header_block;
        if (!read_exactly(stream, off_bits - file_header_bytes, header_block)) return false;

        const BITMAPINFOHEADER h = dib_layout::read_info_header(header_block.data());
        // 12- and 16-byte headers have another field layout.
        if (h.biSize < info_header_bytes) return false;

        std::vector<uint8_t> table;
        uint32_t colors = 0;
        if (h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8) {
            colors = dib_layout::color_count(h);
            // The colour table follows the whole info header (108 or 124
            // bytes for the newer kinds), and must end before the rows.
            const uint64_t begin = h.biSize;
            const uint64_t end = begin + uint64_t{4} * colors;
            if (end > header_block.size()) return false;
            table.assign(header_block.begin() + static_cast<ptrdiff_t>(begin),
                         header_block.begin() + static_cast<ptrdiff_t>(end));
        }
        header_block = {};

        if (h.biCompression != BI_RGB) return false;
        if (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24)
            return false;
        dib_layout::Rows rows;
        if (!dib_layout::rows_of(h, rows)) return false;

        std::vector<uint8_t> data;
        if (!read_exactly(stream, static_cast<uint64_t>(rows.data_bytes), data)) return false;
        if (!dib_layout::indices_below(rows, data.data(), colors)) return false;
        if (rows.top_down) dib_layout::flip_rows(data.data(), rows);

        create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
        if (bits == nullptr) return false;
        switch (h.biBitCount) {
            case 1: expand_1bit(table.data(), data.data()); break;
            case 4: expand_4bit(table.data(), data.data()); break;
            case 8: expand_8bit(table.data(), data.data()); break;
            default: std::copy(data.begin(), data.end(), bits); break;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool dib24::save(FILE* stream) const {
    if (bitmap == nullptr || stream == nullptr) return false;
    uint8_t headers[file_header_bytes + info_header_bytes] = {};
    dib_layout::write_u16(bitmap_magic, headers);
    // bfSize and the reserved words stay 0; the rows follow the two headers.
    dib_layout::write_u32(file_header_bytes + info_header_bytes, headers + 10);
    dib_layout::write_info_header(info.bmiHeader, headers + file_header_bytes);
    if (std::fwrite(headers, 1, sizeof headers, stream) != sizeof headers) return false;
    const size_t store = static_cast<size_t>(stride) * static_cast<size_t>(height);
    return std::fwrite(bits, 1, store, stream) == store;
}
