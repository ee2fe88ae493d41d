#include "image/orientation.h"

#include <cstring>

bool apply_orientation(DecodedPicture& picture, int tag) {
    if (tag < 2 || tag > 8)
        return true;
    const size_t w = picture.width(), h = picture.height();
    const bool swap = tag >= 5;
    const size_t out_w = swap ? h : w, out_h = swap ? w : h;
    DecodedPicture turned;
    if (!turned.start(out_w, out_h))
        return false;
    for (size_t y = 0; y < out_h; ++y) {
        uint8_t* out = turned.row(y);
        for (size_t x = 0; x < out_w; ++x) {
            size_t sx, sy;
            stored_pixel(tag, w, h, x, y, sx, sy);
            std::memcpy(out + 3 * x, picture.row(sy) + 3 * sx, 3);
        }
    }
    picture.store.swap(turned.store);
    return true;
}
