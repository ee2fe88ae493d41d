#include "image/bitmap_file.h"

#include "image/dib_layout.h"
#include "image/packed_dib.h"

using dib_layout::file_header_bytes;
using dib_layout::info_header_bytes;

LoadError load_bitmap_file(dib24& image, const uint8_t* file, size_t size) {
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
    if (!dib_layout::indices_below(rows, data, dib.colors))
        return LoadError::damaged;

    image.create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
    if (image.bits == nullptr)
        return LoadError::too_large;
    fill_store(image, rows, file + file_header_bytes + dib.table_at, nullptr, data);
    return LoadError::none;
}
