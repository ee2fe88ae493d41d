#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "image/pixel_rows.h"
#include "tests/image/packed_dib_bytes.h"

namespace {

using Pixel = std::array<int, 3>;  // blue, green, red

// Stored row y (0 = bottom), pixel x.
Pixel pixel(const dib24& image, int x, int y) {
    const uint8_t* p = image.bits + y * image.stride + 3 * x;
    return {p[0], p[1], p[2]};
}

void fill(dib24& image) {
    for (int i = 0; i < image.stride * image.height; ++i)
        image.bits[i] = static_cast<uint8_t>(i * 29 + 7);
}

// An image holding a marker pixel, to see that refusals leave it alone.
struct Marked {
    dib24 image;
    Marked() {
        image.create(1, 1, 72);
        image.bits[0] = 0x5A;
    }
    bool unchanged() const {
        return image.width == 1 && image.height == 1 && image.dpi == 72 && image.bits != nullptr &&
               image.bits[0] == 0x5A;
    }
};

TEST(PackedDib, ExportIsTheHeaderThenTheRows) {
    {
        dib24 image;
        image.create(1, 1, 0);
        image.bits[0] = 10, image.bits[1] = 20, image.bits[2] = 30;
        HGLOBAL h = image.make_global_dib();
        ASSERT_NE(h, nullptr);
        Bytes b = global_bytes(h);
        ASSERT_EQ(b.size(), 44u);
        Bytes expected = packed_header(1, 1, 24);
        put32(expected, 20, 4);  // biSizeImage
        for (int v : {10, 20, 30, 0})
            expected.push_back(static_cast<uint8_t>(v));
        EXPECT_EQ(b, expected);
        EXPECT_EQ(GlobalFree(h), nullptr);
    }
    {
        dib24 image;
        image.create(5, 2, 72);
        fill(image);
        HGLOBAL h = image.make_global_dib();
        Bytes b = global_bytes(h);
        GlobalFree(h);
        ASSERT_EQ(b.size(), 72u);
        Bytes expected = packed_header(5, 2, 24, BI_RGB, 0, 2835);
        put32(expected, 20, 32);
        expected.insert(expected.end(), image.bits, image.bits + 32);
        EXPECT_EQ(b, expected);
    }
    dib24 released;
    released.create(2, 2, 0);
    released.release();
    EXPECT_EQ(released.make_global_dib(), nullptr);
    dib24 never_created;
    EXPECT_EQ(never_created.make_global_dib(), nullptr);
}

TEST(PackedDib, ExportThenLoadGlobalGivesTheSameImage) {
    for (int dpi : {0, 72, 96}) {
        dib24 image;
        image.create(7, 3, dpi);
        fill(image);
        HGLOBAL h = image.make_global_dib();
        dib24 back;
        ASSERT_TRUE(back.load_global(h));
        EXPECT_EQ(back.width, 7);
        EXPECT_EQ(back.height, 3);
        EXPECT_EQ(back.dpi, dpi);
        EXPECT_EQ(0, std::memcmp(back.bits, image.bits, static_cast<size_t>(image.stride * 3)));
        // The block stays the caller's, unlocked.
        EXPECT_EQ(GlobalSize(h), 40u + 24u * 3u);
        EXPECT_FALSE(GlobalUnlock(h));
        EXPECT_EQ(GlobalFree(h), nullptr);
    }
}

TEST(PackedDib, ImportsThirtyTwoBitPixels) {
    // Two rows of two pixels: bytes b, g, r, x each, no padding.
    const Bytes rows = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 10, 11, 12, 99};
    Bytes plain = packed_header(2, 2, 32);
    plain.insert(plain.end(), rows.begin(), rows.end());
    Bytes fields = packed_header(2, 2, 32, BI_BITFIELDS);
    for (uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu})
        append_u32(fields, m);
    fields.insert(fields.end(), rows.begin(), rows.end());

    dib24 a, b;
    ASSERT_TRUE(load_block(a, plain));
    ASSERT_TRUE(load_block(b, fields));
    EXPECT_EQ(pixel(a, 0, 0), (Pixel{1, 2, 3}));
    EXPECT_EQ(pixel(a, 1, 1), (Pixel{10, 11, 12}));
    ASSERT_EQ(a.stride, b.stride);
    EXPECT_EQ(0, std::memcmp(a.bits, b.bits, static_cast<size_t>(a.stride * a.height)));
}

TEST(PackedDib, BitFieldsAreShiftedNotScaled) {
    // 5-6-5 in the low 16 bits: red 31, green 63, blue 31 at full scale.
    Bytes dib = packed_header(3, 1, 32, BI_BITFIELDS);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu})
        append_u32(dib, m);
    append_u32(dib, 0xFFFF);
    append_u32(dib, (17u << 11) | (42u << 5) | 3u);
    append_u32(dib, 0xFFFF0000u);  // only bits outside the masks
    dib24 image;
    ASSERT_TRUE(load_block(image, dib));
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{31, 63, 31}));
    EXPECT_EQ(pixel(image, 1, 0), (Pixel{3, 42, 17}));
    EXPECT_EQ(pixel(image, 2, 0), (Pixel{0, 0, 0}));

    // A zero mask gives a channel of 0; a field wider than 8 bits keeps its low 8.
    Bytes zero = packed_header(1, 1, 32, BI_BITFIELDS);
    for (uint32_t m : {0u, 0x000FFF00u, 0x000000FFu})
        append_u32(zero, m);
    append_u32(zero, 0xFFFFFF44u);
    ASSERT_TRUE(load_block(image, zero));
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{0x44, 0xFF, 0}));
}

TEST(PackedDib, LowestSetBit) {
    const std::pair<uint32_t, int> cases[] = {
        {0, 0}, {1, 0}, {0x80000000u, 31}, {0xF800, 11}, {0x07E0, 5}, {0x00FF0000, 16}, {6, 1}};
    for (auto [mask, bit] : cases)
        EXPECT_EQ(lowest_set_bit(mask), bit) << mask;
}

TEST(PackedDib, PalettisedRowsFollowTheirTable) {
    // 8 bits with biClrUsed 2: the rows start at 40 + 8 = 48.
    Bytes dib = packed_header(2, 1, 8, BI_RGB, 2, 3780);
    for (int v : {1, 2, 3, 0, 4, 5, 6, 0})
        dib.push_back(static_cast<uint8_t>(v));
    ASSERT_EQ(dib.size(), 48u);
    for (int v : {1, 0, 0, 0})
        dib.push_back(static_cast<uint8_t>(v));
    dib24 image;
    ASSERT_TRUE(load_block(image, dib));
    EXPECT_EQ(image.dpi, 96);
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{4, 5, 6}));
    EXPECT_EQ(pixel(image, 1, 0), (Pixel{1, 2, 3}));

    // 1 and 4 bits, default table lengths; a 108-byte header puts the table at 108.
    Bytes one = packed_header(9, 1, 1, BI_RGB, 0, 0, 108);
    for (int v : {0, 0, 0, 0, 9, 9, 9, 0, 0x81, 0x80, 0, 0})
        one.push_back(static_cast<uint8_t>(v));
    ASSERT_TRUE(load_block(image, one));
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{9, 9, 9}));
    EXPECT_EQ(pixel(image, 1, 0), (Pixel{0, 0, 0}));
    EXPECT_EQ(pixel(image, 7, 0), (Pixel{9, 9, 9}));
    EXPECT_EQ(pixel(image, 8, 0), (Pixel{9, 9, 9}));

    Bytes four = packed_header(3, 1, 4);
    for (int i = 0; i < 16; ++i)
        for (int v : {i, i, i, 0})
            four.push_back(static_cast<uint8_t>(v));
    for (int v : {0x5F, 0x30, 0, 0})
        four.push_back(static_cast<uint8_t>(v));
    ASSERT_TRUE(load_block(image, four));
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{5, 5, 5}));
    EXPECT_EQ(pixel(image, 1, 0), (Pixel{15, 15, 15}));
    EXPECT_EQ(pixel(image, 2, 0), (Pixel{3, 3, 3}));
}

TEST(PackedDib, TopDownRowsAreTurnedTheRightWayUp) {
    for (uint16_t bits : {24, 32}) {
        Bytes dib = packed_header(1, -2, bits);
        // The top row first.
        for (int v : {1, 2, 3, 0, 4, 5, 6, 0})
            dib.push_back(static_cast<uint8_t>(v));
        dib24 image;
        ASSERT_TRUE(load_block(image, dib)) << bits;
        EXPECT_EQ(image.height, 2);
        EXPECT_EQ(image.info.bmiHeader.biHeight, 2);
        EXPECT_EQ(pixel(image, 0, 1), (Pixel{1, 2, 3}));
        EXPECT_EQ(pixel(image, 0, 0), (Pixel{4, 5, 6}));
    }
    Bytes eight = packed_header(1, -2, 8, BI_RGB, 2);
    for (int v : {1, 1, 1, 0, 2, 2, 2, 0, 0, 0, 0, 0, 1, 0, 0, 0})
        eight.push_back(static_cast<uint8_t>(v));
    dib24 image;
    ASSERT_TRUE(load_block(image, eight));
    EXPECT_EQ(pixel(image, 0, 1), (Pixel{1, 1, 1}));
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{2, 2, 2}));
}

// Complete packed DIBs of every accepted kind, 3 x 2 pixels.
std::vector<std::pair<std::string, Bytes>> every_kind() {
    std::vector<std::pair<std::string, Bytes>> kinds;
    auto with = [](Bytes b, size_t extra) {
        for (size_t i = 0; i < extra; ++i)
            b.push_back(static_cast<uint8_t>(i % 2));
        return b;
    };
    kinds.push_back({"1 bit", with(packed_header(3, 2, 1), 8 + 8)});
    kinds.push_back({"4 bits", with(packed_header(3, 2, 4), 64 + 8)});
    kinds.push_back({"8 bits", with(packed_header(3, 2, 8, BI_RGB, 2), 8 + 8)});
    kinds.push_back({"24 bits", with(packed_header(3, 2, 24), 24)});
    kinds.push_back({"32 bits", with(packed_header(3, 2, 32), 24)});
    kinds.push_back({"bit fields", with(packed_header(3, 2, 32, BI_BITFIELDS), 12 + 24)});
    kinds.push_back({"bit fields, 124-byte header",
                     with(packed_header(3, 2, 32, BI_BITFIELDS, 0, 0, 124), 24)});
    return kinds;
}

TEST(PackedDib, TruncatedBlocksOfEveryKindAreRefused) {
    for (const auto& [what, dib] : every_kind()) {
        {
            dib24 image;
            EXPECT_TRUE(load_block(image, dib)) << what;
        }
        // Every shorter block, down to nothing: exact-sized blocks, so that a
        // read past the end shows under the address sanitizer.
        for (size_t n = 0; n < dib.size(); ++n) {
            Marked m;
            EXPECT_FALSE(load_block(m.image, Bytes(dib.begin(), dib.begin() + n)))
                << what << " " << n;
            EXPECT_TRUE(m.unchanged()) << what << " " << n;
        }
    }
}

TEST(PackedDib, RefusesOtherFormatsAndBadHeaders) {
    std::vector<std::pair<std::string, Bytes>> bad;
    auto padded = [](Bytes b) {
        b.resize(b.size() + 4096, 0);
        return b;
    };
    bad.push_back({"16 bits", padded(packed_header(2, 2, 16))});
    bad.push_back({"16-bit bit fields", padded(packed_header(2, 2, 16, BI_BITFIELDS))});
    bad.push_back({"RLE8", padded(packed_header(2, 2, 8, BI_RLE8))});
    bad.push_back({"RLE4", padded(packed_header(2, 2, 4, BI_RLE4))});
    bad.push_back({"24-bit bit fields", padded(packed_header(2, 2, 24, BI_BITFIELDS))});
    bad.push_back({"8-bit bit fields", padded(packed_header(2, 2, 8, BI_BITFIELDS))});
    bad.push_back({"PNG", padded(packed_header(2, 2, 0, BI_PNG))});
    bad.push_back({"width 0", padded(packed_header(0, 2, 24))});
    bad.push_back({"width -1", padded(packed_header(-1, 2, 24))});
    bad.push_back({"height 0", padded(packed_header(2, 0, 24))});
    bad.push_back({"store above 2^31 - 1 bytes", padded(packed_header(50000, 50000, 24))});
    bad.push_back(
        {"width and height at their limits", padded(packed_header(INT32_MAX, INT32_MIN, 32))});
    {
        Bytes b = padded(packed_header(2, 2, 24));
        put32(b, 0, 12);
        bad.push_back({"12-byte header", b});
    }
    {
        Bytes b = packed_header(1, 1, 8, BI_RGB, 0xFFFFFFFFu);
        bad.push_back({"biClrUsed beyond the block", padded(b)});
    }
    {
        // Two table entries, index 2.
        Bytes b = packed_header(1, 1, 8, BI_RGB, 2);
        b.resize(b.size() + 8, 7);
        for (int v : {2, 0, 0, 0})
            b.push_back(static_cast<uint8_t>(v));
        bad.push_back({"colour index beyond the table", b});
    }
    for (const auto& [what, dib] : bad) {
        Marked m;
        EXPECT_FALSE(load_block(m.image, dib)) << what;
        EXPECT_TRUE(m.unchanged()) << what;
    }
    Marked m;
    EXPECT_FALSE(m.image.load_global(nullptr));
    EXPECT_TRUE(m.unchanged());
}

TEST(PackedDib, LoadDibTakesAHeaderAndSeparateRows) {
    // 8 bits, three table entries, rows in their own block.
    Bytes info = packed_header(3, 2, 8, BI_RGB, 3, 2835);
    for (int i = 0; i < 3; ++i)
        for (int v : {i * 10, i * 20, i * 30, 0})
            info.push_back(static_cast<uint8_t>(v));
    const Bytes rows = {0, 1, 2, 0, 2, 2, 1, 0};
    dib24 image;
    ASSERT_TRUE(image.load_dib(reinterpret_cast<const BITMAPINFO*>(info.data()), rows.data()));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.dpi, 72);
    EXPECT_EQ(pixel(image, 1, 0), (Pixel{10, 20, 30}));
    EXPECT_EQ(pixel(image, 0, 1), (Pixel{20, 40, 60}));

    // 24 bits, top-down.
    Bytes info24 = packed_header(1, -2, 24);
    const Bytes rows24 = {1, 2, 3, 0, 4, 5, 6, 0};
    ASSERT_TRUE(image.load_dib(reinterpret_cast<const BITMAPINFO*>(info24.data()), rows24.data()));
    EXPECT_EQ(pixel(image, 0, 1), (Pixel{1, 2, 3}));
    EXPECT_EQ(pixel(image, 0, 0), (Pixel{4, 5, 6}));

    // A huge biClrUsed: only the two entries a 1-bit index reaches are read
    // (the header block here ends right after them).
    Bytes info1 = packed_header(2, 1, 1, BI_RGB, 0x7FFFFFFF);
    for (int v : {0, 0, 0, 0, 5, 6, 7, 0})
        info1.push_back(static_cast<uint8_t>(v));
    const Bytes rows1 = {0x40, 0, 0, 0};
    ASSERT_TRUE(image.load_dib(reinterpret_cast<const BITMAPINFO*>(info1.data()), rows1.data()));
    EXPECT_EQ(pixel(image, 1, 0), (Pixel{5, 6, 7}));
}

TEST(PackedDib, LoadDibRefusesWhatItsHeaderShowsWrong) {
    const Bytes rows(4096, 0);
    auto one_entry = [] {
        Bytes b = packed_header(1, 1, 8, BI_RGB, 1);
        b.resize(b.size() + 4, 0);
        return b;
    };
    std::vector<std::pair<std::string, Bytes>> bad = {
        {"32 bits", packed_header(1, 1, 32)},
        {"bit fields", packed_header(1, 1, 32, BI_BITFIELDS)},
        {"16 bits", packed_header(1, 1, 16)},
        {"RLE8", packed_header(1, 1, 8, BI_RLE8)},
        {"width 0", packed_header(0, 1, 24)},
        {"height 0", packed_header(1, 0, 24)},
        {"store above 2^31 - 1 bytes", packed_header(40000, 40000, 24)},
        {"header of 12 bytes", packed_header(1, 1, 24, BI_RGB, 0, 0, 12)},
        {"header of 200 bytes", packed_header(1, 1, 24, BI_RGB, 0, 0, 200)},
    };
    {
        Bytes b = one_entry();
        bad.push_back({"colour index beyond biClrUsed", b});
    }
    for (const auto& [what, info] : bad) {
        Bytes header = info;
        header.resize(std::max<size_t>(header.size(), 1024), 0);
        Marked m;
        const uint8_t* pixels = rows.data();
        Bytes index_one = {1, 0, 0, 0};
        if (what == "colour index beyond biClrUsed")
            pixels = index_one.data();
        EXPECT_FALSE(m.image.load_dib(reinterpret_cast<const BITMAPINFO*>(header.data()), pixels))
            << what;
        EXPECT_TRUE(m.unchanged()) << what;
    }
}

}  // namespace
