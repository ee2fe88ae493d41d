// Bitmap files held in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "image/dib24.h"

// Loads the bitmap file in `file` (1, 4, 8 or 24 bits per pixel) into
// `image`, as dib24::load does; top-down rows are turned over in `file`
// itself. False, with the image unchanged, for anything malformed, truncated
// or unsupported.
bool load_bitmap_file(dib24& image, std::vector<uint8_t>& file);
