// Turning decoded pixels upright by the orientation a camera records in a
// JPEG file's Exif block (jpeg_markers.h), as photo viewers do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/picture_codec.h"

// Turns `picture` as orientation `tag` asks: 2 mirrored left to right, 3
// turned half round, 4 mirrored top to bottom, 5 mirrored along the main
// diagonal, 6 turned a quarter clockwise, 7 mirrored along the other
// diagonal, 8 turned a quarter anticlockwise; 5 to 8 swap width and height.
void apply_orientation(DecodedPicture& picture, int tag);
