#include "image/orientation.h"

#include <cstring>
#include <utility>
#include <vector>

void apply_orientation(DecodedPicture& picture, int tag) {
    if (tag < 2 || tag > 8)
        return;
    const size_t w = picture.width, h = picture.height;
    const bool swap = tag >= 5;
    const size_t out_w = swap ? h : w, out_h = swap ? w : h;
    std::vector<uint8_t> out(picture.rgb.size());
    for (size_t y = 0; y < out_h; ++y) {
        for (size_t x = 0; x < out_w; ++x) {
            // The stored pixel (sx, sy) shown at (x, y).
            size_t sx, sy;
            switch (tag) {
                case 2:
                    sx = w - 1 - x;
                    sy = y;
                    break;
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case 4:
                    sx = x;
                    sy = h - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
                default:
                    sx = w - 1 - y;
                    sy = x;
                    break;
            }
            std::memcpy(&out[3 * (y * out_w + x)], &picture.rgb[3 * (sy * w + sx)], 3);
        }
    }
    picture.rgb = std::move(out);
    picture.width = static_cast<int32_t>(out_w);
    picture.height = static_cast<int32_t>(out_h);
}
