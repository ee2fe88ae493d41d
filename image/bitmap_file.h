// Bitmap files held in memory: a 14-byte file header, then a packed
// device-independent bitmap whose rows begin where the file header says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib24.h"
#include "image/load_error.h"

// Loads the bitmap file of `size` bytes at `file` (1, 4, 8 or 24 bits per
// pixel, uncompressed) into `image`. The image is unchanged unless it returns
// LoadError::none (or too_large when `create` could not make the store: then
// it is empty); other kinds of bitmap (compressed, 16 or 32 bits) are
// not_a_picture, a header whose picture the store cannot hold too_large, and
// anything malformed or truncated damaged.
LoadError load_bitmap_file(dib24& image, const uint8_t* file, size_t size);
