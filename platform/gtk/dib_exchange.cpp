#include "platform/gtk/dib_exchange.h"

#include <cstdlib>
#include <cstring>

namespace portable::gtk {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
// Larger pictures are refused before any size arithmetic can overflow.
constexpr int64_t kMaxSide = 1 << 16;

uint16_t read_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t read_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t read_i32(const uint8_t* p) {
    return static_cast<int32_t>(read_u32(p));
}

void put_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The header fields the conversions need.
struct DibShape {
    uint32_t header_size;
    int64_t width;
    int64_t height;  // positive; `top_down` carries the sign
    bool top_down;
    uint16_t bit_count;
    uint32_t compression;
    uint32_t colors_used;
};

bool read_shape(const uint8_t* dib, size_t size, DibShape& s) {
    if (dib == nullptr || size < kInfoHeaderSize)
        return false;
    s.header_size = read_u32(dib);
    if (s.header_size < kInfoHeaderSize || s.header_size > size)
        return false;
    s.width = read_i32(dib + 4);
    int64_t h = read_i32(dib + 8);
    s.top_down = h < 0;
    s.height = s.top_down ? -h : h;
    s.bit_count = read_u16(dib + 14);
    s.compression = read_u32(dib + 16);
    s.colors_used = read_u32(dib + 32);
    return s.width > 0 && s.width <= kMaxSide && s.height > 0 && s.height <= kMaxSide;
}

size_t table_bytes(const DibShape& s) {
    if (s.compression == kBiBitfields && s.header_size == kInfoHeaderSize)
        return 12;
    size_t colors = s.colors_used;
    if (colors == 0 && s.bit_count <= 8)
        colors = size_t{1} << s.bit_count;
    if (colors > 256 && s.bit_count <= 8)
        return SIZE_MAX;
    return colors * 4;
}

size_t row_bytes(int64_t width, int bit_count) {
    return static_cast<size_t>((width * bit_count + 31) / 32 * 4);
}

}  // namespace

size_t packed_dib_pixel_offset(const uint8_t* dib, size_t size) {
    DibShape s;
    if (!read_shape(dib, size, s))
        return 0;
    size_t table = table_bytes(s);
    if (table == SIZE_MAX || table > size - s.header_size)
        return 0;
    return s.header_size + table;
}

bool bitmap_file_from_packed_dib(const uint8_t* dib, size_t size, std::vector<uint8_t>& file) {
    size_t offset = packed_dib_pixel_offset(dib, size);
    if (offset == 0 || size > UINT32_MAX - kFileHeaderSize)
        return false;
    file.assign(kFileHeaderSize + size, 0);
    file[0] = 'B';
    file[1] = 'M';
    put_u32(&file[2], static_cast<uint32_t>(kFileHeaderSize + size));
    put_u32(&file[10], static_cast<uint32_t>(kFileHeaderSize + offset));
    std::memcpy(&file[kFileHeaderSize], dib, size);
    return true;
}

bool packed_dib_from_bitmap_file(const uint8_t* file, size_t size, std::vector<uint8_t>& dib) {
    if (file == nullptr || size < kFileHeaderSize + kInfoHeaderSize)
        return false;
    if (file[0] != 'B' || file[1] != 'M')
        return false;
    const uint8_t* info = file + kFileHeaderSize;
    size_t info_size = size - kFileHeaderSize;
    size_t table_end = packed_dib_pixel_offset(info, info_size);
    if (table_end == 0)
        return false;
    size_t rows_at = read_u32(file + 10);
    if (rows_at < kFileHeaderSize + table_end || rows_at > size)
        return false;
    dib.assign(info, info + table_end);
    dib.insert(dib.end(), file + rows_at, file + size);
    return true;
}

GdkPixbuf* pixbuf_from_packed_dib(const uint8_t* dib, size_t size) {
    DibShape s;
    if (!read_shape(dib, size, s))
        return nullptr;
    if (s.compression != kBiRgb || (s.bit_count != 24 && s.bit_count != 32))
        return nullptr;
    size_t offset = packed_dib_pixel_offset(dib, size);
    size_t stride = row_bytes(s.width, s.bit_count);
    if (offset == 0 || stride > (size - offset) / static_cast<size_t>(s.height))
        return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, static_cast<int>(s.width),
                                       static_cast<int>(s.height));
    if (pixbuf == nullptr)
        return nullptr;
    guchar* out = gdk_pixbuf_get_pixels(pixbuf);
    int out_stride = gdk_pixbuf_get_rowstride(pixbuf);
    size_t step = s.bit_count / 8;
    for (int64_t y = 0; y < s.height; ++y) {
        // Bottom-up rows store the picture's top row last.
        int64_t stored = s.top_down ? y : s.height - 1 - y;
        const uint8_t* src = dib + offset + static_cast<size_t>(stored) * stride;
        guchar* dst = out + y * out_stride;
        for (int64_t x = 0; x < s.width; ++x, src += step, dst += 3) {
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
    int64_t width = gdk_pixbuf_get_width(pixbuf);
    int64_t height = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    if (channels != (alpha ? 4 : 3))
        return false;
    size_t stride = row_bytes(width, 24);
    size_t image_size = stride * static_cast<size_t>(height);
    dib.assign(kInfoHeaderSize + image_size, 0);
    put_u32(&dib[0], kInfoHeaderSize);
    put_u32(&dib[4], static_cast<uint32_t>(width));
    put_u32(&dib[8], static_cast<uint32_t>(height));
    put_u16(&dib[12], 1);
    put_u16(&dib[14], 24);
    put_u32(&dib[20], static_cast<uint32_t>(image_size));
    const guchar* in = gdk_pixbuf_read_pixels(pixbuf);
    int in_stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int64_t y = 0; y < height; ++y) {
        const guchar* src = in + y * in_stride;
        uint8_t* dst = &dib[kInfoHeaderSize + static_cast<size_t>(height - 1 - y) * stride];
        for (int64_t x = 0; x < width; ++x, src += channels, dst += 3) {
            unsigned a = alpha ? src[3] : 255;
            for (int c = 0; c < 3; ++c) {
                // Over white: v·a + 255·(255 − a), divided by 255 with rounding.
                unsigned v = (src[c] * a + 255 * (255 - a) + 127) / 255;
                dst[2 - c] = static_cast<uint8_t>(v);
            }
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
