#include "platform/gtk/app_icon.h"

#include <algorithm>
#include <cstdint>

namespace portable::gtk {

namespace {

// Four rows of four swatches, from warm to cool, as on a painter's palette.
constexpr uint32_t kSwatches[16] = {
    0xD7263D, 0xF46036, 0xF7B32B, 0xFCEADE,  //
    0x7B2D26, 0xC5D86D, 0x1B998B, 0x2E294E,  //
    0x3A86FF, 0x8338EC, 0xFF006E, 0xFFBE0B,  //
    0x222222, 0x6C757D, 0xADB5BD, 0xF8F9FA,
};

}  // namespace

GdkPixbuf* application_icon(int size) {
    size = std::max(size, 8);
    GdkPixbuf* icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    if (icon == nullptr)
        return nullptr;
    guchar* pixels = gdk_pixbuf_get_pixels(icon);
    int stride = gdk_pixbuf_get_rowstride(icon);
    int border = std::max(1, size / 16);
    int inner = size - 2 * border;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            guchar* p = pixels + y * stride + x * 4;
            uint32_t rgb = 0x101010;  // frame and the gaps between swatches
            int ix = x - border, iy = y - border;
            if (ix >= 0 && iy >= 0 && ix < inner && iy < inner) {
                int cell = inner / 4;
                int cx = std::min(ix / cell, 3), cy = std::min(iy / cell, 3);
                bool gap = ix % cell < border || iy % cell < border;
                if (!gap)
                    rgb = kSwatches[cy * 4 + cx];
            }
            p[0] = static_cast<guchar>(rgb >> 16);
            p[1] = static_cast<guchar>(rgb >> 8);
            p[2] = static_cast<guchar>(rgb);
            p[3] = 255;
        }
    }
    return icon;
}

}  // namespace portable::gtk
