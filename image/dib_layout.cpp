#include "image/dib_layout.h"

#include "image/byte_reader.h"
#include "image/pixel_rows.h"

namespace dib_layout {

namespace {

struct Format {
    uint32_t compression;
    uint16_t bit_count;
    unsigned readers;
};

// Every format some reader takes, and which readers take it.
constexpr Format formats[] = {
    {BI_RGB, 1, bitmap_files | memory_blocks}, {BI_RGB, 4, bitmap_files | memory_blocks},
    {BI_RGB, 8, bitmap_files | memory_blocks}, {BI_RGB, 24, bitmap_files | memory_blocks | pixbufs},
    {BI_RGB, 32, memory_blocks | pixbufs},     {BI_BITFIELDS, 32, memory_blocks},
};

}  // namespace

bool accepted(const BITMAPINFOHEADER& h, Reader reader) {
    for (const Format& f : formats)
        if (f.compression == h.biCompression && f.bit_count == h.biBitCount)
            return (f.readers & reader) != 0;
    return false;
}

void write_u16(uint16_t v, uint8_t* p) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void write_u32(uint32_t v, uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

BITMAPINFOHEADER read_info_header(const uint8_t* p) {
    BITMAPINFOHEADER h{};
    h.biSize = le32(p);
    h.biWidth = static_cast<LONG>(le32(p + 4));
    h.biHeight = static_cast<LONG>(le32(p + 8));
    h.biPlanes = le16(p + 12);
    h.biBitCount = le16(p + 14);
    h.biCompression = le32(p + 16);
    h.biSizeImage = le32(p + 20);
    h.biXPelsPerMeter = static_cast<LONG>(le32(p + 24));
    h.biYPelsPerMeter = static_cast<LONG>(le32(p + 28));
    h.biClrUsed = le32(p + 32);
    h.biClrImportant = le32(p + 36);
    return h;
}

void write_info_header(const BITMAPINFOHEADER& h, uint8_t* p) {
    write_u32(h.biSize, p);
    write_u32(static_cast<uint32_t>(h.biWidth), p + 4);
    write_u32(static_cast<uint32_t>(h.biHeight), p + 8);
    write_u16(h.biPlanes, p + 12);
    write_u16(h.biBitCount, p + 14);
    write_u32(h.biCompression, p + 16);
    write_u32(h.biSizeImage, p + 20);
    write_u32(static_cast<uint32_t>(h.biXPelsPerMeter), p + 24);
    write_u32(static_cast<uint32_t>(h.biYPelsPerMeter), p + 28);
    write_u32(h.biClrUsed, p + 32);
    write_u32(h.biClrImportant, p + 36);
}

uint32_t color_count(const BITMAPINFOHEADER& h) {
    if (h.biClrUsed != 0)
        return h.biClrUsed;
    switch (h.biBitCount) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

bool store_fits(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        return false;
    // Divided rather than multiplied, as the product of two 31-bit values
    // does not fit 63 bits.
    return dib_row_bytes(width, 24) <= max_store_bytes / height;
}

// A positive width, a height other than 0 (negative for top-down rows), and a
// store that fits.
static bool picture_fits(const BITMAPINFOHEADER& h) {
    return h.biHeight != 0 &&
           store_fits(h.biWidth, h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight});
}

bool rows_of(const BITMAPINFOHEADER& h, Rows& rows) {
    if (!picture_fits(h))
        return false;
    const int64_t w = h.biWidth;
    const int64_t count = h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight};
    if (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24 &&
        h.biBitCount != 32)
        return false;
    rows.width = static_cast<int32_t>(w);
    rows.count = static_cast<int32_t>(count);
    rows.top_down = h.biHeight < 0;
    rows.bit_count = h.biBitCount;
    rows.row_bytes = dib_row_bytes(w, h.biBitCount);
    rows.data_bytes = rows.row_bytes * count;
    rows.colors = h.biBitCount <= 8 ? color_count(h) : 0;
    return true;
}

bool read_packed(const uint8_t* block, size_t size, PackedDib& dib) {
    ByteReader r(block, size);
    const uint8_t* header;
    if (!r.take(info_header_bytes, header))
        return false;
    dib = PackedDib{};
    dib.header = read_info_header(header);
    const BITMAPINFOHEADER& h = dib.header;
    if (h.biSize < info_header_bytes || !picture_fits(h))
        return false;
    if (!r.skip(h.biSize - info_header_bytes))
        return false;
    if (h.biCompression == BI_BITFIELDS) {
        // The masks follow a 40-byte header; headers of 52 bytes and more
        // hold them (what lies beyond a shorter one is the masks' end).
        constexpr size_t masks_end = info_header_bytes + sizeof dib.masks;
        ByteReader masks(block + info_header_bytes, size - info_header_bytes);
        for (uint32_t& m : dib.masks)
            if (!masks.u32(m))
                return false;
        dib.has_masks = true;
        if (h.biSize < masks_end)
            r.skip(masks_end - h.biSize);
    }
    dib.table_at = size - r.left();
    if (h.biBitCount <= 8) {
        dib.colors = color_count(h);
        if (dib.colors > r.left() / 4 || !r.skip(4 * size_t{dib.colors}))
            return false;
    }
    dib.pixels_at = size - r.left();
    return true;
}

bool read_file_header(const uint8_t* file, size_t size, uint32_t& off_bits) {
    ByteReader r(file, size);
    uint16_t magic;
    uint32_t file_size, reserved;
    return r.u16(magic) && magic == 0x4D42 /* "BM" */ && r.u32(file_size) && r.u32(reserved) &&
           r.u32(off_bits);
}

void write_file_header(uint32_t file_size, uint32_t off_bits, uint8_t* out) {
    write_u16(0x4D42, out);
    write_u32(file_size, out + 2);
    write_u32(0, out + 6);  // both reserved words
    write_u32(off_bits, out + 10);
}

BITMAPINFOHEADER info_header_24(int32_t width, int32_t height, int32_t pixels_per_metre) {
    BITMAPINFOHEADER h{};
    h.biSize = info_header_bytes;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(dib_row_bytes(width, 24) * height);
    h.biXPelsPerMeter = pixels_per_metre;
    h.biYPelsPerMeter = pixels_per_metre;
    return h;
}

bool indices_below(const Rows& rows, const uint8_t* data, uint32_t colors) {
    if (rows.bit_count > 8)
        return true;
    for (int32_t y = 0; y < rows.count; ++y)
        if (!row_indices_below(data + y * rows.row_bytes, rows.width, rows.bit_count, colors))
            return false;
    return true;
}

// 1 / 0.0254 and 0.0254: inches per metre and metres per inch.
int32_t dpi_from_pixels_per_metre(int32_t ppm) {
    return static_cast<int32_t>(ppm * 0.0254 + 0.5);
}

int32_t pixels_per_metre_from_dpi(int32_t dpi) {
    double ppm = dpi * 39.37007874015748 + 0.5;
    // Truncation toward zero, kept inside the field's range.
    if (ppm >= 2147483647.0)
        return INT32_MAX;
    if (ppm <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(ppm);
}

}  // namespace dib_layout
