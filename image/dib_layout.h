// Sizes and checks shared by every reader of device-independent bitmaps
// (files, memory blocks, the clipboard). All sizes are computed in 64 bits and
// checked before any memory is asked for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace dib_layout {

// The largest pixel store an image may have, in bytes.
inline constexpr int64_t max_store_bytes = INT32_MAX;

// What a header says about its pixel rows, once it has passed the checks.
struct Rows {
    int32_t width = 0;
    int32_t count = 0;        // rows, positive
    bool top_down = false;    // negative biHeight: first row is the top one
    int bit_count = 0;        // 1, 4, 8, 24 or 32
    int64_t row_bytes = 0;    // source bytes per row, padded to 4 (32 bits: 4 x width)
    int64_t data_bytes = 0;   // row_bytes x count
    uint32_t colors = 0;      // colour-table entries for 1, 4, 8 bits; 0 otherwise
};

// Little-endian fields of a 40-byte BITMAPINFOHEADER at `p`.
BITMAPINFOHEADER read_info_header(const uint8_t* p);
void write_info_header(const BITMAPINFOHEADER& h, uint8_t* p);
uint16_t read_u16(const uint8_t* p);
uint32_t read_u32(const uint8_t* p);
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

// Reverses the order of the rows in place (top-down to bottom-up).
void flip_rows(uint8_t* data, const Rows& rows);

// Resolution: dots per inch from pixels per metre and back, rounded.
int32_t dpi_from_pixels_per_metre(int32_t ppm);
int32_t pixels_per_metre_from_dpi(int32_t dpi);

}  // namespace dib_layout
