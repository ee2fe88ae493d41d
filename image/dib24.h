// dib24: the one image type of quantview. A 24-bit device-independent pixel
// store with its BITMAPINFO description: rows are stored bottom-up (row 0 is
// the bottom row of the picture), each pixel is blue, green, red, and each row
// is padded to a multiple of 4 bytes. The class holds the store, its drawing,
// and its exchange with bitmap files and the clipboard (image/dib24.cpp); how
// those files and blocks are laid out is read in image/bitmap_file.h and
// image/packed_dib.h.
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
    // Exchanges the two images whole: store, bitmap, context and geometry.
    void swap(dib24& other) noexcept;
    // width, height and stride from the header, or all 0 without a bitmap.
    void update_geometry();
    // Paints the whole image (source size from the header) into the
    // destination rectangle with StretchDIBits; nothing without a store.
    void draw(HDC target, int32_t x_dest, int32_t y_dest, int32_t dest_width, int32_t dest_height,
              int32_t x_src, int32_t y_src) const;

    // Reads a bitmap file of 1, 4, 8 or 24 bits per pixel from an open stream
    // (pipes work). False, with the image unchanged, for anything malformed,
    // truncated or unsupported, or a store that cannot be had.
    bool load(FILE* stream);
    // Writes the store as a 24-bit bitmap file. False without a store or when
    // the stream refuses the bytes.
    bool save(FILE* stream) const;

    // Packed device-independent bitmaps: a BITMAPINFOHEADER, its colour table
    // or colour masks, then the pixel rows, all in one block of memory.

    // A new movable global block holding the image as a packed DIB (the
    // 40-byte header, then the rows as stored); the caller owns it. Null
    // without a store or without memory.
    HGLOBAL make_global_dib() const;
    // Puts the image on the clipboard as CF_DIB. False when no block could be
    // made (the clipboard is not touched), the clipboard cannot be opened (it
    // keeps what it held) or refuses the block, as it does without an owner
    // window; a block not handed over is freed.
    bool copy_to_clipboard(HWND owner) const;
    // Loads the clipboard's CF_DIB picture. False, with the image unchanged,
    // when the clipboard cannot be opened, holds none or holds one that
    // load_global refuses.
    bool paste_clipboard(HWND owner);
    // Loads the packed DIB in a global block, which stays the caller's.
    // Accepted: BI_RGB with 1, 4, 8, 24 or 32 bits per pixel and BI_BITFIELDS
    // with 32; rows may be top-down. The colour table (or, for BI_BITFIELDS
    // with a 40-byte header, the three masks) follows the biSize bytes of the
    // header. Everything is checked against GlobalSize: a block too short for
    // what its header says is refused, as is a colour index beyond the table.
    // False, with the image unchanged, for anything refused.
    bool load_global(HGLOBAL block);
    // Loads a picture given as a header with its colour table (`info`) and a
    // separate block of rows (`pixels`): BI_RGB with 1, 4, 8 or 24 bits per
    // pixel. The two blocks come without sizes, so nothing here can check that
    // they are as long as the header says: the caller must make sure of that.
    // Refused (false, image unchanged) is what the header alone shows to be
    // wrong: other formats, a header size outside 40-124, a width or height
    // out of range or a store above 2^31 - 1 bytes, and colour indices beyond
    // the table's biClrUsed entries. Only the table entries an index can
    // reach are read.
    bool load_dib(const BITMAPINFO* info, const void* pixels);

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
