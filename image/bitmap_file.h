// Bitmap files held in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "image/dib24.h"

// Loads the bitmap file in `file` (1, 4, 8 or 24 bits per pixel) into
// `image`, as dib24::load does. False, with the image unchanged, for anything
// malformed, truncated or unsupported.
bool load_bitmap_file(dib24& image, const std::vector<uint8_t>& file);
