// The one reader of device-independent bitmap headers, shared by the bitmap
// files, the packed bitmaps of memory blocks and the clipboard, and the
// desktop clipboard's conversions. Every byte is read through a ByteReader;
// all sizes are computed in 64 bits and checked
// before any memory is asked for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace dib_layout {

// The largest pixel store an image may have, in bytes. The fuzz build sets a
// smaller one (QV_MAX_STORE_BYTES), so that a few kilobytes of input cannot
// make it decode gigabytes: what is fuzzed is the reading of the bytes, not
// the size of the picture.
#ifndef QV_MAX_STORE_BYTES
#define QV_MAX_STORE_BYTES INT32_MAX
#endif
inline constexpr int64_t max_store_bytes = QV_MAX_STORE_BYTES;

inline constexpr size_t file_header_bytes = 14;  // BITMAPFILEHEADER
inline constexpr size_t info_header_bytes = 40;  // BITMAPINFOHEADER

// The readers of bitmaps, for the one list of what each accepts.
enum Reader : unsigned {
    bitmap_files = 1,   // files, and headers with separate rows (load_dib)
    memory_blocks = 2,  // packed bitmaps in global blocks and on the clipboard
    pixbufs = 4,        // the desktop clipboard's picture conversions
};
// True when `reader` takes the header's compression and bit count.
bool accepted(const BITMAPINFOHEADER& h, Reader reader);

// A packed bitmap as offsets into its block: the info header, then a colour
// table (1, 4, 8 bits) or, for BI_BITFIELDS, three masks (red, green, blue)
// that headers of 52 bytes and more carry inside themselves at offset 40,
// then the rows.
struct PackedDib {
    BITMAPINFOHEADER header{};
    size_t table_at = 0;  // colour table, `colors` entries of 4 bytes
    uint32_t colors = 0;
    bool has_masks = false;
    uint32_t masks[3] = {};
    size_t pixels_at = 0;  // where the rows begin
};
// Reads the header of the packed bitmap in the first `size` bytes at `block`
// and finds its parts. False when the header is shorter than 40 bytes (the
// older kinds have another layout), its picture cannot be held (a width or
// height out of range, a store above max_store_bytes) or the header, table or
// masks do not fit the block. The rows are not checked: `rows_of` says how
// long they are.
bool read_packed(const uint8_t* block, size_t size, PackedDib& dib);

// The rows' offset (bfOffBits) from the 14-byte file header at the start of a
// bitmap file of `size` bytes; false when it is shorter or does not begin "BM".
bool read_file_header(const uint8_t* file, size_t size, uint32_t& off_bits);
// A file header for a file of `file_size` bytes whose rows begin at `off_bits`.
void write_file_header(uint32_t file_size, uint32_t off_bits, uint8_t* out);
// The header of a 24-bit, bottom-up picture without colour table.
BITMAPINFOHEADER info_header_24(int32_t width, int32_t height, int32_t pixels_per_metre);

// What a header says about its pixel rows, once it has passed the checks.
struct Rows {
    int32_t width = 0;
    int32_t count = 0;       // rows, positive
    bool top_down = false;   // negative biHeight: first row is the top one
    int bit_count = 0;       // 1, 4, 8, 24 or 32
    int64_t row_bytes = 0;   // source bytes per row, padded to 4 (32 bits: 4 x width)
    int64_t data_bytes = 0;  // row_bytes x count
    uint32_t colors = 0;     // colour-table entries for 1, 4, 8 bits; 0 otherwise
};

// True when a picture of `width` x `height` pixels has a 24-bit store of at
// most max_store_bytes; false for a side of 0 or less.
bool store_fits(int64_t width, int64_t height);

// Little-endian fields of a 40-byte BITMAPINFOHEADER at `p`.
BITMAPINFOHEADER read_info_header(const uint8_t* p);
void write_info_header(const BITMAPINFOHEADER& h, uint8_t* p);
void write_u16(uint16_t v, uint8_t* p);
void write_u32(uint32_t v, uint8_t* p);

// Checks width > 0, height != 0 and the size of the 24-bit store the rows will
// need, and computes the source layout for `bit_count` bits per pixel (rows of
// 32-bit pixels are not padded beyond their 4 bytes a pixel). False when the
// header cannot describe an image this program can hold.
bool rows_of(const BITMAPINFOHEADER& h, Rows& rows);

// Colour-table length for 1, 4, 8 bits: biClrUsed, or 2, 16, 256 when it is 0.
uint32_t color_count(const BITMAPINFOHEADER& h);

// True when every palette index of the rows is below `colors`.
bool indices_below(const Rows& rows, const uint8_t* data, uint32_t colors);

// Resolution: dots per inch from pixels per metre and back, rounded.
int32_t dpi_from_pixels_per_metre(int32_t ppm);
int32_t pixels_per_metre_from_dpi(int32_t dpi);

}  // namespace dib_layout
