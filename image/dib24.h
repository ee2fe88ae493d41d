// dib24: the one image type of quantview. A 24-bit device-independent pixel
// store with its BITMAPINFO description: rows are stored bottom-up (row 0 is
// the bottom row of the picture), each pixel is blue, green, red, and each row
// is padded to a multiple of 4 bytes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/win32.h"

class dib24 {
public:
    dib24();
    virtual ~dib24();
    dib24(const dib24&) = delete;
    dib24& operator=(const dib24&) = delete;

    // Frees any previous store, then builds a new, zero-filled one. A failure
    // of the platform shows as bits == nullptr and a geometry of 0.
    void create(int32_t width, int32_t height, int32_t dpi);
    // Frees the store, the drawing context and the bitmap; zeroes the geometry.
    void release();
    // width, height and stride from the header, or all 0 without a bitmap.
    void update_geometry();
    // Paints the whole image (source size from the header) into the
    // destination rectangle with StretchDIBits; nothing without a store.
    void draw(HDC target, int32_t x_dest, int32_t y_dest, int32_t dest_width, int32_t dest_height,
              int32_t x_src, int32_t y_src) const;

    // Reads a bitmap file of 1, 4, 8 or 24 bits per pixel from an open stream,
    // strictly sequentially (pipes work). False, with the image unchanged, for
    // anything malformed, truncated or unsupported.
    bool load(FILE* stream);
    // Writes the store as a 24-bit bitmap file. False without a store or when
    // the stream refuses the bytes.
    bool save(FILE* stream) const;

    // Palettised rows to the store: `table` holds 4-byte entries (blue, green,
    // red, reserved), `data` the source rows, bottom row first, each padded to
    // 4 bytes. Every index must be within the table; callers check that first.
    void expand_1bit(const uint8_t* table, const uint8_t* data);
    void expand_4bit(const uint8_t* table, const uint8_t* data);
    void expand_8bit(const uint8_t* table, const uint8_t* data);

    HGDIOBJ old_object;
    BITMAPINFO info;
    HBITMAP bitmap;
    HDC dc;
    uint8_t* bits;
    int32_t width;
    int32_t height;
    int32_t stride;
    int32_t dpi;
};
