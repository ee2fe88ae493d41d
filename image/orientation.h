// The orientation a camera records in a JPEG file's Exif block, and turning
// decoded pixels upright by it, as photo viewers do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/picture_codec.h"

// The Exif orientation (1-8) of the JPEG file of `size` bytes; 1, as taken,
// when there is none or it is out of range or unreadable.
int jpeg_orientation(const uint8_t* file, size_t size);

// Turns `picture` as orientation `tag` asks: 2 mirrored left to right, 3
// turned half round, 4 mirrored top to bottom, 5 mirrored along the main
// diagonal, 6 turned a quarter clockwise, 7 mirrored along the other
// diagonal, 8 turned a quarter anticlockwise; 5 to 8 swap width and height.
void apply_orientation(DecodedPicture& picture, int tag);
