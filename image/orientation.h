// Turning decoded pixels upright by the orientation a camera records in a
// JPEG file's Exif block (jpeg_markers.h), as photo viewers do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/picture_codec.h"

// Orientation `tag`: 2 mirrored left to right, 3 turned half round, 4
// mirrored top to bottom, 5 mirrored along the main diagonal, 6 turned a
// quarter clockwise, 7 mirrored along the other diagonal, 8 turned a quarter
// anticlockwise; 5 to 8 swap width and height. Any other tag leaves the
// picture as it is.

// The stored pixel (sx, sy) of a `w` x `h` picture that tag shows at (x, y).
inline void stored_pixel(int tag, size_t w, size_t h, size_t x, size_t y, size_t& sx, size_t& sy) {
    switch (tag) {
        case 2:
            sx = w - 1 - x, sy = y;
            break;
        case 3:
            sx = w - 1 - x, sy = h - 1 - y;
            break;
        case 4:
            sx = x, sy = h - 1 - y;
            break;
        case 5:
            sx = y, sy = x;
            break;
        case 6:
            sx = y, sy = h - 1 - x;
            break;
        case 7:
            sx = w - 1 - y, sy = h - 1 - x;
            break;
        case 8:
            sx = w - 1 - y, sy = x;
            break;
        default:
            sx = x, sy = y;
            break;
    }
}

// Turns `picture` as `tag` asks, into a new store. False, with the picture as
// it was, when that store cannot be had.
bool apply_orientation(DecodedPicture& picture, int tag);
