#include "image/bitmap_file.h"

#include "image/dib_layout.h"
#include "image/packed_dib.h"

using dib_layout::file_header_bytes;
using dib_layout::info_header_bytes;

namespace {

// Reads the rows from `stream`, which stands at the file's first byte:
// past the `off_bits` bytes before them, then straight into the store.
bool read_rows(FILE* stream, uint32_t off_bits, uint8_t* store, size_t bytes) {
    uint8_t before[4096];
    for (size_t left = off_bits; left > 0;) {
        const size_t n = left < sizeof before ? left : sizeof before;
        if (std::fread(before, 1, n, stream) != n)
            return false;
        left -= n;
    }
    return std::fread(store, 1, bytes, stream) == bytes;
}

}  // namespace

LoadError load_bitmap_file(dib24& image, const StreamBytes& bytes) {
    const uint8_t* file = bytes.data();
    const size_t size = bytes.size();
    uint32_t off_bits;
    if (!dib_layout::read_file_header(file, size, off_bits))
        return LoadError::damaged;
    // Everything between the file header and the rows is the header block:
    // the info header and the colour table must fit inside it.
    if (off_bits < file_header_bytes + info_header_bytes || off_bits > size)
        return LoadError::damaged;
    const BITMAPINFOHEADER h = dib_layout::read_info_header(file + file_header_bytes);
    // Shorter headers belong to an older kind of bitmap, laid out otherwise.
    if (h.biSize < info_header_bytes || !dib_layout::accepted(h, dib_layout::bitmap_files))
        return LoadError::not_a_picture;
    dib_layout::Rows rows;
    if (!dib_layout::rows_of(h, rows))
        return h.biWidth > 0 && h.biHeight != 0 ? LoadError::too_large : LoadError::damaged;
    dib_layout::PackedDib dib;
    if (!dib_layout::read_packed(file + file_header_bytes, off_bits - file_header_bytes, dib))
        return LoadError::damaged;
    if (static_cast<uint64_t>(rows.data_bytes) > size - off_bits)
        return LoadError::damaged;
    const uint8_t* data = file + off_bits;
    FILE* stream = bytes.unread_stream();
    const bool read_straight = stream != nullptr && rows.bit_count == 24 && !rows.top_down;
    if (!read_straight && !dib_layout::indices_below(rows, data, dib.colors))
        return LoadError::damaged;

    dib24 fresh;
    fresh.create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
    if (fresh.bits == nullptr)
        return LoadError::too_large;
    if (read_straight) {
        if (!read_rows(stream, off_bits, fresh.bits, static_cast<size_t>(rows.data_bytes)))
            return LoadError::damaged;
    } else {
        fill_store(fresh, rows, file + file_header_bytes + dib.table_at, nullptr, data);
    }
    image.swap(fresh);
    return LoadError::none;
}
