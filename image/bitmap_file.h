// Bitmap files: a 14-byte file header, then a packed device-independent
// bitmap whose rows begin where the file header says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib24.h"
#include "image/load_error.h"
#include "image/stream_bytes.h"

// Loads the bitmap file `file` (1, 4, 8 or 24 bits per pixel, uncompressed)
// into `image`. The rows go into a new store, which replaces the image's only
// when the whole file has been read: unless it returns LoadError::none, the
// image is unchanged. Other kinds of bitmap (compressed, 16 or 32 bits) are
// not_a_picture, a header whose picture the store cannot hold (or a store
// that cannot be had) too_large, and anything malformed or truncated
// damaged. Rows of 24 bits stored bottom-up, the store's own layout, are read
// straight into it where the file's stream offers them.
LoadError load_bitmap_file(dib24& image, const StreamBytes& file);
