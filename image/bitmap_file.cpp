// Bitmap files: reading 1, 4, 8 and 24 bits per pixel into the 24-bit store,
// writing the store as a 24-bit file.
#include "image/bitmap_file.h"

#include <new>

#include "image/dib_layout.h"
#include "image/packed_dib.h"
#include "image/stream_bytes.h"

using dib_layout::file_header_bytes;
using dib_layout::info_header_bytes;

bool load_bitmap_file(dib24& image, const std::vector<uint8_t>& file) {
    uint32_t off_bits;
    if (!dib_layout::read_file_header(file.data(), file.size(), off_bits))
        return false;
    // Everything between the file header and the rows is the header block:
    // the info header and the colour table must fit inside it.
    if (off_bits < file_header_bytes + info_header_bytes || off_bits > file.size())
        return false;
    dib_layout::PackedDib dib;
    if (!dib_layout::read_packed(file.data() + file_header_bytes, off_bits - file_header_bytes,
                                 dib))
        return false;
    const BITMAPINFOHEADER& h = dib.header;
    dib_layout::Rows rows;
    if (!dib_layout::accepted(h, dib_layout::bitmap_files) || !dib_layout::rows_of(h, rows))
        return false;
    if (static_cast<uint64_t>(rows.data_bytes) > file.size() - off_bits)
        return false;
    const uint8_t* data = file.data() + off_bits;
    const uint8_t* table = file.data() + file_header_bytes + dib.table_at;
    if (!dib_layout::indices_below(rows, data, dib.colors))
        return false;

    image.create(rows.width, rows.count, dib_layout::dpi_from_pixels_per_metre(h.biXPelsPerMeter));
    if (image.bits == nullptr)
        return false;
    fill_store(image, rows, table, nullptr, data);
    return true;
}

bool dib24::load(FILE* stream) {
    try {
        std::vector<uint8_t> file;
        return read_stream(stream, file) && load_bitmap_file(*this, file);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool dib24::save(FILE* stream) const {
    if (bitmap == nullptr || stream == nullptr)
        return false;
    uint8_t headers[file_header_bytes + info_header_bytes];
    const size_t store = static_cast<size_t>(stride) * static_cast<size_t>(height);
    // The store is at most 2^31 - 1 bytes, so the file length fits bfSize.
    dib_layout::write_file_header(static_cast<uint32_t>(sizeof headers + store), sizeof headers,
                                  headers);
    dib_layout::write_info_header(info.bmiHeader, headers + file_header_bytes);
    if (std::fwrite(headers, 1, sizeof headers, stream) != sizeof headers)
        return false;
    return std::fwrite(bits, 1, store, stream) == store;
}
