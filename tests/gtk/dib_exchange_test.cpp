#include "platform/gtk/dib_exchange.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace portable::gtk;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// A packed DIB with a 40-byte header, `table` bytes of colour table or masks
// and `rows` bytes of pixel rows (filled with 0, 1, 2, ...).
std::vector<uint8_t> make_dib(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                              uint32_t colors_used, size_t table, size_t rows) {
    std::vector<uint8_t> dib(40 + table + rows, 0);
    put32(dib, 0, 40);
    put32(dib, 4, static_cast<uint32_t>(width));
    put32(dib, 8, static_cast<uint32_t>(height));
    dib[12] = 1;
    dib[14] = static_cast<uint8_t>(bits);
    put32(dib, 16, compression);
    put32(dib, 32, colors_used);
    for (size_t i = 0; i < rows; ++i)
        dib[40 + table + i] = static_cast<uint8_t>(i);
    return dib;
}

TEST(DibExchange, BitmapFileHeaderPointsAtTheRows) {
    struct Case {
        const char* name;
        std::vector<uint8_t> dib;
        uint32_t rows_at;
    };
    const Case cases[] = {
        {"24-bit 2x2", make_dib(2, 2, 24, 0, 0, 0, 16), 54},
        {"8-bit, 2 colours used", make_dib(4, 1, 8, 0, 2, 8, 4), 62},
        {"8-bit, full table", make_dib(4, 1, 8, 0, 0, 1024, 4), 14 + 40 + 1024},
        {"1-bit", make_dib(8, 1, 1, 0, 0, 8, 4), 62},
        {"32-bit masks", make_dib(1, 1, 32, 3, 0, 12, 4), 66},
        {"32-bit plain", make_dib(1, 1, 32, 0, 0, 0, 4), 54},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file;
        ASSERT_TRUE(bitmap_file_from_packed_dib(c.dib.data(), c.dib.size(), file)) << c.name;
        ASSERT_EQ(file.size(), 14 + c.dib.size()) << c.name;
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(get32(file, 2), file.size()) << c.name;
        EXPECT_EQ(get32(file, 6), 0u) << c.name;  // both reserved words
        EXPECT_EQ(get32(file, 10), c.rows_at) << c.name;
        EXPECT_EQ(std::memcmp(file.data() + 14, c.dib.data(), c.dib.size()), 0) << c.name;

        std::vector<uint8_t> back;
        ASSERT_TRUE(packed_dib_from_bitmap_file(file.data(), file.size(), back)) << c.name;
        EXPECT_EQ(back, c.dib) << c.name;
    }
}

TEST(DibExchange, BitmapFileWithAGapBeforeTheRowsLosesTheGap) {
    std::vector<uint8_t> dib = make_dib(2, 2, 24, 0, 0, 0, 16), file;
    ASSERT_TRUE(bitmap_file_from_packed_dib(dib.data(), dib.size(), file));
    file.insert(file.begin() + 54, 6, 0xEE);
    put32(file, 10, 60);
    std::vector<uint8_t> back;
    ASSERT_TRUE(packed_dib_from_bitmap_file(file.data(), file.size(), back));
    EXPECT_EQ(back, dib);
}

TEST(DibExchange, RefusesMalformedInput) {
    std::vector<uint8_t> good = make_dib(2, 2, 24, 0, 0, 0, 16);
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> d = good;
        put32(d, at, v);
        return d;
    };
    const std::pair<const char*, std::vector<uint8_t>> bad_dibs[] = {
        {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 39)},
        {"header size beyond the block", with(0, 4000)},
        {"header size below 40", with(0, 12)},
        {"zero width", with(4, 0)},
        {"negative width", with(4, 0xFFFFFFFF)},
        {"zero height", with(8, 0)},
        {"huge width", with(4, 1u << 30)},
        {"colour table beyond the block", make_dib(4, 1, 8, 0, 0, 8, 4)},
        // More entries than 8 bits index are allowed, as in bitmap files, but
        // they must be there.
        {"257-entry colour table beyond the block", make_dib(4, 1, 8, 0, 257, 1024, 0)},
    };
    for (const auto& [name, dib] : bad_dibs) {
        std::vector<uint8_t> file;
        EXPECT_EQ(packed_dib_pixel_offset(dib.data(), dib.size()), 0u) << name;
        EXPECT_FALSE(bitmap_file_from_packed_dib(dib.data(), dib.size(), file)) << name;
        EXPECT_EQ(pixbuf_from_packed_dib(dib.data(), dib.size()), nullptr) << name;
    }
    std::vector<uint8_t> file;
    EXPECT_FALSE(bitmap_file_from_packed_dib(nullptr, 0, file));
    ASSERT_TRUE(bitmap_file_from_packed_dib(good.data(), good.size(), file));
    auto file_with = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> f = file;
        f[at] = v;
        return f;
    };
    std::vector<uint8_t> rows_early = file, rows_late = file;
    put32(rows_early, 10, 53);
    put32(rows_late, 10, static_cast<uint32_t>(file.size() + 1));
    const std::pair<const char*, std::vector<uint8_t>> bad_files[] = {
        {"not BM", file_with(1, 'A')},
        {"rows inside the header", rows_early},
        {"rows beyond the file", rows_late},
        {"header cut short", std::vector<uint8_t>(file.begin(), file.begin() + 50)},
    };
    for (const auto& [name, f] : bad_files) {
        std::vector<uint8_t> dib;
        EXPECT_FALSE(packed_dib_from_bitmap_file(f.data(), f.size(), dib)) << name;
    }
}

// Pixel (x, y) of a pixbuf as 0xRRGGBB.
uint32_t pixbuf_at(const GdkPixbuf* p, int x, int y) {
    const guchar* px = gdk_pixbuf_read_pixels(p) + y * gdk_pixbuf_get_rowstride(p) +
                       x * gdk_pixbuf_get_n_channels(p);
    return px[0] << 16 | px[1] << 8 | px[2];
}

TEST(DibExchange, PixbufOfBottomUpAndTopDownRows) {
    // 2 x 2 at 24 bits: rows of 6 bytes padded to 8. Stored row 0 is blue-ish
    // (bytes B G R) 0x01 0x02 0x03, 0x04 0x05 0x06; stored row 1 starts at 8.
    std::vector<uint8_t> dib = make_dib(2, 2, 24, 0, 0, 0, 16);
    GdkPixbuf* up = pixbuf_from_packed_dib(dib.data(), dib.size());
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(pixbuf_at(up, 0, 0), 0x0A0908u);  // top row = stored row 1
    EXPECT_EQ(pixbuf_at(up, 1, 0), 0x0D0C0Bu);
    EXPECT_EQ(pixbuf_at(up, 0, 1), 0x020100u);
    EXPECT_EQ(pixbuf_at(up, 1, 1), 0x050403u);
    g_object_unref(up);

    put32(dib, 8, static_cast<uint32_t>(-2));
    GdkPixbuf* down = pixbuf_from_packed_dib(dib.data(), dib.size());
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(pixbuf_at(down, 0, 0), 0x020100u);
    EXPECT_EQ(pixbuf_at(down, 1, 1), 0x0D0C0Bu);
    g_object_unref(down);

    // 32 bits: 4 bytes a pixel, the fourth dropped.
    std::vector<uint8_t> dib32 = make_dib(2, 1, 32, 0, 0, 0, 8);
    GdkPixbuf* p32 = pixbuf_from_packed_dib(dib32.data(), dib32.size());
    ASSERT_NE(p32, nullptr);
    EXPECT_EQ(pixbuf_at(p32, 0, 0), 0x020100u);
    EXPECT_EQ(pixbuf_at(p32, 1, 0), 0x060504u);
    g_object_unref(p32);

    const std::pair<const char*, std::vector<uint8_t>> refused[] = {
        {"rows cut short", make_dib(2, 2, 24, 0, 0, 0, 15)},
        {"8 bits", make_dib(4, 1, 8, 0, 2, 8, 4)},
        {"bit fields", make_dib(1, 1, 32, 3, 0, 12, 4)},
        {"16 bits", make_dib(2, 1, 16, 0, 0, 0, 4)},
    };
    for (const auto& [name, d] : refused)
        EXPECT_EQ(pixbuf_from_packed_dib(d.data(), d.size()), nullptr) << name;
}

TEST(DibExchange, PackedDibOfPixbufIsBottomUpAndBlendsAlphaOverWhite) {
    GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 3, 2);
    guchar* px = gdk_pixbuf_get_pixels(p);
    int stride = gdk_pixbuf_get_rowstride(p);
    const guchar top[3][4] = {{10, 20, 30, 255}, {0, 0, 0, 0}, {255, 0, 0, 128}};
    const guchar bottom[3][4] = {{1, 2, 3, 255}, {4, 5, 6, 255}, {7, 8, 9, 255}};
    std::memcpy(px, top, sizeof top);
    std::memcpy(px + stride, bottom, sizeof bottom);

    std::vector<uint8_t> dib;
    ASSERT_TRUE(packed_dib_from_pixbuf(p, dib));
    g_object_unref(p);
    // 3 pixels of 3 bytes: rows of 9 bytes padded to 12.
    ASSERT_EQ(dib.size(), 40u + 24u);
    EXPECT_EQ(get32(dib, 0), 40u);
    EXPECT_EQ(get32(dib, 4), 3u);
    EXPECT_EQ(get32(dib, 8), 2u);
    EXPECT_EQ(dib[14], 24);
    EXPECT_EQ(get32(dib, 16), 0u);
    EXPECT_EQ(get32(dib, 20), 24u);
    const uint8_t rows[24] = {
        3,   2,   1,   6,   5,   4,
        9,   8,   7,   0,   0,   0,  // stored first: the picture's bottom row
        30,  20,  10,  255, 255, 255,
        127, 127, 255, 0,   0,   0,
    };
    EXPECT_EQ(std::memcmp(dib.data() + 40, rows, sizeof rows), 0);
}

TEST(DibExchange, PngDecodesToTheSamePixels) {
    std::vector<uint8_t> dib = make_dib(3, 2, 24, 0, 0, 0, 24), png;
    ASSERT_TRUE(png_from_packed_dib(dib.data(), dib.size(), png));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG", 4), 0);

    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    ASSERT_TRUE(gdk_pixbuf_loader_write(loader, png.data(), png.size(), nullptr));
    ASSERT_TRUE(gdk_pixbuf_loader_close(loader, nullptr));
    GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader);
    GdkPixbuf* direct = pixbuf_from_packed_dib(dib.data(), dib.size());
    ASSERT_NE(decoded, nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixbuf_at(decoded, x, y), pixbuf_at(direct, x, y));
    g_object_unref(direct);
    g_object_unref(loader);

    std::vector<uint8_t> eight = make_dib(4, 1, 8, 0, 2, 8, 4);
    EXPECT_FALSE(png_from_packed_dib(eight.data(), eight.size(), png));
}

}  // namespace
