// Packed device-independent bitmaps (BITMAPINFOHEADER, colour table or masks,
// then the pixel rows) in the forms other desktop programs exchange pictures:
// bitmap files, pixbufs and PNG. Every function checks the sizes its input
// claims against the bytes it really has and returns false (or null) when they
// do not fit.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace portable::gtk {

// Where the pixel rows of a packed DIB begin (header + colour table or
// masks), or 0 when the header is unusable or the block too short for it.
size_t packed_dib_pixel_offset(const uint8_t* dib, size_t size);

// A bitmap file: the 14-byte BITMAPFILEHEADER followed by the packed DIB.
bool bitmap_file_from_packed_dib(const uint8_t* dib, size_t size, std::vector<uint8_t>& file);

// The packed DIB inside a bitmap file; a gap between the colour table and the
// rows (bfOffBits further on) is dropped, since packed rows follow the table.
bool packed_dib_from_bitmap_file(const uint8_t* file, size_t size, std::vector<uint8_t>& dib);

// An RGB pixbuf of an uncompressed 24- or 32-bit DIB, bottom-up or top-down;
// null for other kinds. The caller owns the reference.
GdkPixbuf* pixbuf_from_packed_dib(const uint8_t* dib, size_t size);

// A 24-bit bottom-up packed DIB of a pixbuf; transparent pixels are blended
// over white, which is what a picture without alpha shows best.
bool packed_dib_from_pixbuf(const GdkPixbuf* pixbuf, std::vector<uint8_t>& dib);

// The picture of a 24- or 32-bit packed DIB encoded as PNG.
bool png_from_packed_dib(const uint8_t* dib, size_t size, std::vector<uint8_t>& png);

}  // namespace portable::gtk
