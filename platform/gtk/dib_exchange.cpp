#include "platform/gtk/dib_exchange.h"

#include <cstdlib>
#include <cstring>

#include "image/dib_layout.h"
#include "image/pixel_rows.h"

namespace portable::gtk {

namespace {

using dib_layout::file_header_bytes;
using dib_layout::info_header_bytes;

// The parts of a packed DIB and its rows' layout; false for a header that
// the shared reader refuses.
bool read_rows(const uint8_t* dib, size_t size, dib_layout::PackedDib& packed,
               dib_layout::Rows& rows) {
    return dib_layout::read_packed(dib, size, packed) &&
           dib_layout::accepted(packed.header, dib_layout::pixbufs) &&
           dib_layout::rows_of(packed.header, rows);
}

}  // namespace

size_t packed_dib_pixel_offset(const uint8_t* dib, size_t size) {
    dib_layout::PackedDib packed;
    if (!dib_layout::read_packed(dib, size, packed))
        return 0;
    return packed.pixels_at;
}

bool bitmap_file_from_packed_dib(const uint8_t* dib, size_t size, std::vector<uint8_t>& file) {
    size_t offset = packed_dib_pixel_offset(dib, size);
    if (offset == 0 || size > UINT32_MAX - file_header_bytes)
        return false;
    file.assign(file_header_bytes + size, 0);
    dib_layout::write_file_header(static_cast<uint32_t>(file_header_bytes + size),
                                  static_cast<uint32_t>(file_header_bytes + offset), file.data());
    std::memcpy(&file[file_header_bytes], dib, size);
    return true;
}

bool packed_dib_from_bitmap_file(const uint8_t* file, size_t size, std::vector<uint8_t>& dib) {
    uint32_t rows_at;
    if (!dib_layout::read_file_header(file, size, rows_at))
        return false;
    const uint8_t* info = file + file_header_bytes;
    size_t table_end = packed_dib_pixel_offset(info, size - file_header_bytes);
    if (table_end == 0 || rows_at < file_header_bytes + table_end || rows_at > size)
        return false;
    dib.assign(info, info + table_end);
    dib.insert(dib.end(), file + rows_at, file + size);
    return true;
}

GdkPixbuf* pixbuf_from_packed_dib(const uint8_t* dib, size_t size) {
    dib_layout::PackedDib packed;
    dib_layout::Rows rows;
    if (!read_rows(dib, size, packed, rows))
        return nullptr;
    if (static_cast<uint64_t>(rows.data_bytes) > size - packed.pixels_at)
        return nullptr;
    // The store limit keeps both sides well inside an int.
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, rows.width, rows.count);
    if (pixbuf == nullptr)
        return nullptr;
    guchar* out = gdk_pixbuf_get_pixels(pixbuf);
    int out_stride = gdk_pixbuf_get_rowstride(pixbuf);
    const size_t step = rows.bit_count / 8;
    for (int64_t y = 0; y < rows.count; ++y) {
        // Bottom-up rows store the picture's top row last.
        int64_t stored = rows.top_down ? y : rows.count - 1 - y;
        const uint8_t* src = dib + packed.pixels_at + stored * rows.row_bytes;
        guchar* dst = out + y * out_stride;
        for (int64_t x = 0; x < rows.width; ++x, src += step, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return pixbuf;
}

bool packed_dib_from_pixbuf(const GdkPixbuf* pixbuf, std::vector<uint8_t>& dib) {
    if (pixbuf == nullptr || gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8)
        return false;
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (channels != (alpha ? 4 : 3))
        return false;
    const BITMAPINFOHEADER h = dib_layout::info_header_24(width, height, 0);
    dib_layout::Rows rows;
    if (!dib_layout::rows_of(h, rows))
        return false;
    dib.assign(info_header_bytes + static_cast<size_t>(rows.data_bytes), 0);
    dib_layout::write_info_header(h, dib.data());
    const guchar* in = gdk_pixbuf_read_pixels(pixbuf);
    const int in_stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int64_t y = 0; y < height; ++y) {
        const guchar* src = in + y * in_stride;
        uint8_t* dst =
            &dib[info_header_bytes + static_cast<size_t>((height - 1 - y) * rows.row_bytes)];
        for (int64_t x = 0; x < width; ++x, src += channels, dst += 3) {
            const unsigned a = alpha ? src[3] : 255;
            for (int c = 0; c < 3; ++c)
                dst[2 - c] = over_white(src[c], a);
        }
    }
    return true;
}

bool png_from_packed_dib(const uint8_t* dib, size_t size, std::vector<uint8_t>& png) {
    GdkPixbuf* pixbuf = pixbuf_from_packed_dib(dib, size);
    if (pixbuf == nullptr)
        return false;
    gchar* buffer = nullptr;
    gsize length = 0;
    gboolean ok = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &length, "png", nullptr, nullptr);
    g_object_unref(pixbuf);
    if (ok)
        png.assign(buffer, buffer + length);
    g_free(buffer);
    return ok;
}

}  // namespace portable::gtk
