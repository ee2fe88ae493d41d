#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "image/dib24.h"
#include "tests/image/byte_stream.h"

namespace {

TEST(BitmapFile, SaveWritesHeadersAndRows) {
    dib24 image;
    image.create(5, 2, 72);
    for (int i = 0; i < 32; ++i)
        image.bits[i] = static_cast<uint8_t>(i);
    bool ok = false;
    Bytes file = save_bytes(image, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 86u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    // bfSize is the file's length, 86; the reserved words are 0.
    const uint8_t size_and_reserved[8] = {86, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(file.data() + 2, size_and_reserved, 8));
    EXPECT_EQ(file[10], 54);
    EXPECT_EQ(file[11], 0);
    EXPECT_EQ(0, std::memcmp(file.data() + 14, &image.info.bmiHeader, 40));
    EXPECT_EQ(0, std::memcmp(file.data() + 54, image.bits, 32));
}

TEST(BitmapFile, SaveThenLoadGivesTheSameImage) {
    for (int dpi : {0, 72, 96}) {
        dib24 image;
        image.create(7, 3, dpi);
        for (int i = 0; i < image.stride * image.height; ++i)
            image.bits[i] = static_cast<uint8_t>(i * 37 + 11);
        Bytes file = save_bytes(image);
        dib24 back;
        back.create(1, 1, 0);
        ASSERT_TRUE(load_bytes(back, file));
        EXPECT_EQ(back.width, 7);
        EXPECT_EQ(back.height, 3);
        EXPECT_EQ(back.dpi, dpi);
        EXPECT_EQ(0, std::memcmp(back.bits, image.bits, static_cast<size_t>(image.stride * 3)));
    }
}

TEST(BitmapFile, SaveWithoutStoreWritesNothing) {
    dib24 image;
    image.create(2, 2, 0);
    image.release();
    bool ok = true;
    Bytes file = save_bytes(image, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(file.empty());
}

TEST(BitmapFile, Loads24BitRowsWithPadding) {
    Bytes file = bitmap_file_header(1, 2, 24, 54, 0, 0, 2835);
    // Two rows of 3 bytes padded to 4; the first row in the file is the bottom one.
    for (uint8_t v : {1, 2, 3, 0, 4, 5, 6, 0})
        file.push_back(v);
    dib24 image;
    image.create(1, 1, 0);
    ASSERT_TRUE(load_bytes(image, file));
    EXPECT_EQ(image.stride, 4);
    EXPECT_EQ(image.dpi, 72);
    EXPECT_EQ(image.bits[0], 1);
    EXPECT_EQ(image.bits[4], 4);
}

TEST(BitmapFile, RejectsWhatItCannotRead) {
    dib24 image;
    image.create(1, 1, 0);
    image.bits[0] = 42;
    Bytes rle = bitmap_file_header(2, 2, 8, 54 + 1024, 1);
    rle.resize(rle.size() + 1024 + 8, 0);
    Bytes sixteen = bitmap_file_header(2, 2, 16, 54);
    sixteen.resize(sixteen.size() + 8, 0);
    Bytes truncated = bitmap_file_header(4, 4, 24, 54);
    truncated.resize(truncated.size() + 47, 0);
    Bytes not_bitmap(100, 'x');
    for (const Bytes* bad : {&rle, &sixteen, &truncated, &not_bitmap}) {
        EXPECT_FALSE(load_bytes(image, *bad));
        EXPECT_EQ(image.width, 1);  // the previous store is kept
        EXPECT_EQ(image.bits[0], 42);
    }
}

}  // namespace

namespace {

// Colour table of `n` entries where entry i is (blue i, green 2i, red 3i).
Bytes ramp_table(int n) {
    Bytes t;
    for (int i = 0; i < n; ++i)
        for (int v : {i, 2 * i, 3 * i, 0})
            t.push_back(static_cast<uint8_t>(v));
    return t;
}

void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

// Blue, green, red of picture pixel (x, y), y counted from the bottom row.
std::array<int, 3> pixel(const dib24& image, int x, int y) {
    const uint8_t* p = image.bits + y * image.stride + 3 * x;
    return {p[0], p[1], p[2]};
}

TEST(BitmapFile, ExpandsPalettisedRows) {
    {
        // 4 bits, width 3: rows of 2 bytes padded to 4; high nibble first.
        Bytes f = bitmap_file_header(3, 1, 4, 54 + 64);
        append(f, ramp_table(16));
        append(f, {0x12, 0x30, 0xEE, 0xEE});
        dib24 image;
        ASSERT_TRUE(load_bytes(image, f));
        EXPECT_EQ(pixel(image, 0, 0), (std::array<int, 3>{1, 2, 3}));
        EXPECT_EQ(pixel(image, 1, 0), (std::array<int, 3>{2, 4, 6}));
        EXPECT_EQ(pixel(image, 2, 0), (std::array<int, 3>{3, 6, 9}));
    }
    {
        // 1 bit, width 10: pixel 0 is the top bit of byte 0, pixel 8 the top bit of byte 1.
        Bytes f = bitmap_file_header(10, 1, 1, 54 + 8);
        append(f, ramp_table(2));
        append(f, {0x80, 0x80, 0x00, 0x00});
        dib24 image;
        ASSERT_TRUE(load_bytes(image, f));
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(pixel(image, x, 0)[0], (x == 0 || x == 8) ? 1 : 0) << x;
    }
    {
        // 8 bits, three table entries, then a gap: rows start at bfOffBits.
        Bytes f = bitmap_file_header(2, 2, 8, 54 + 12 + 5, 0, 3);
        append(f, ramp_table(3));
        append(f, Bytes(5, 0xEE));
        append(f, {2, 1, 0, 0, 0, 2, 0, 0});
        dib24 image;
        ASSERT_TRUE(load_bytes(image, f));
        EXPECT_EQ(pixel(image, 0, 0), (std::array<int, 3>{2, 4, 6}));
        EXPECT_EQ(pixel(image, 1, 0), (std::array<int, 3>{1, 2, 3}));
        EXPECT_EQ(pixel(image, 1, 1), (std::array<int, 3>{2, 4, 6}));
    }
}

TEST(BitmapFile, ColourTableFollowsTheWholeInfoHeader) {
    // A 108-byte header: the table begins 14 + 108 bytes into the file.
    Bytes f = bitmap_file_header(1, 1, 8, 14 + 108 + 8, 0, 2);
    put32(f, 14, 108);
    f.resize(14 + 108, 0xCC);
    append(f, ramp_table(2));
    append(f, {1, 0, 0, 0});
    dib24 image;
    ASSERT_TRUE(load_bytes(image, f));
    EXPECT_EQ(pixel(image, 0, 0), (std::array<int, 3>{1, 2, 3}));
}

TEST(BitmapFile, LongerHeadersAndTopDownRows) {
    // 24 bits behind a 124-byte header; rows given top row first.
    Bytes f = bitmap_file_header(1, -2, 24, 14 + 124, 0, 0, 3780);
    put32(f, 14, 124);
    put32(f, 42, 2835);  // biYPelsPerMeter has no effect
    f.resize(14 + 124, 0);
    append(f, {1, 2, 3, 0, 4, 5, 6, 0});
    dib24 image;
    ASSERT_TRUE(load_bytes(image, f));
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.dpi, 96);
    EXPECT_EQ(pixel(image, 0, 1), (std::array<int, 3>{1, 2, 3}));  // the top row
    EXPECT_EQ(pixel(image, 0, 0), (std::array<int, 3>{4, 5, 6}));
    EXPECT_EQ(image.info.bmiHeader.biHeight, 2);
}

TEST(BitmapFile, RefusesMalformedHeadersWithoutTouchingTheImage) {
    auto eight_bit = [](int32_t w, int32_t h, uint32_t clr_used, uint32_t off_bits) {
        Bytes f = bitmap_file_header(w, h, 8, off_bits, 0, clr_used);
        f.resize(off_bits, 0);
        return f;
    };
    struct Case {
        const char* what;
        Bytes file;
    };
    std::vector<Case> cases;
    for (uint32_t off : {0u, 13u, 14u, 53u}) {
        Bytes f = bitmap_file_header(1, 1, 24, off);
        f.resize(58, 0);
        cases.push_back({"bfOffBits below 54", f});
    }
    {
        Bytes f = bitmap_file_header(1, 1, 24, 54);
        put32(f, 14, 12);
        f.resize(58, 0);
        cases.push_back({"biSize 12", f});
    }
    {
        Bytes f = eight_bit(1, 1, 3, 54 + 8);  // three entries need 12 bytes
        f.resize(f.size() + 4, 0);
        cases.push_back({"colour table longer than the header block", f});
    }
    {
        Bytes f = eight_bit(1, 1, 0xFFFFFFFFu, 54 + 16);
        f.resize(f.size() + 4, 0);
        cases.push_back({"biClrUsed 2^32 - 1", f});
    }
    for (auto [bits, row] : {std::pair<uint16_t, uint8_t>{8, 2}, {4, 0x20}, {1, 0x80}}) {
        // Two table entries; the first pixel's index is 2 (8 and 4 bits) or 1
        // with a single entry (1 bit).
        uint32_t colors = bits == 1 ? 1 : 2;
        Bytes f = bitmap_file_header(1, 1, bits, 54 + 4 * colors, 0, colors);
        append(f, ramp_table(static_cast<int>(colors)));
        append(f, {row, 0, 0, 0});
        cases.push_back({"colour index beyond the table", f});
    }
    for (auto [w, h] : {std::pair<int32_t, int32_t>{0, 1},
                        {-1, 1},
                        {1, 0},
                        {INT32_MIN, 1},
                        {INT32_MAX, INT32_MAX},
                        {INT32_MAX, INT32_MIN},
                        {1, INT32_MIN},
                        {50000, 50000},
                        {26000, 26000}}) {
        Bytes f = eight_bit(w, h, 0, 54 + 1024);
        f.resize(f.size() + 6, 0);  // far fewer rows than the header claims
        cases.push_back({"width, height or store size out of range", f});
    }
    {
        Bytes f = bitmap_file_header(2, 2, 24, 54);
        f.resize(54 + 15, 0);  // 16 pixel bytes needed
        cases.push_back({"one pixel byte short", f});
    }
    {
        Bytes f = bitmap_file_header(1, 1, 24, 54 + 100000);
        f.resize(54 + 10, 0);  // the header block never ends
        cases.push_back({"header block beyond the end", f});
    }
    {
        Bytes f = bitmap_file_header(1, 1, 32, 54);
        f.resize(58, 0);
        cases.push_back({"32 bits", f});
    }
    {
        Bytes f = bitmap_file_header(1, 1, 24, 54, 3);
        f.resize(70, 0);
        cases.push_back({"bit fields", f});
    }
    cases.push_back({"empty file", Bytes{}});
    cases.push_back({"file header only", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0}});

    for (const Case& c : cases) {
        dib24 image;
        image.create(1, 1, 72);
        image.bits[0] = 42;
        EXPECT_FALSE(load_bytes(image, c.file)) << c.what;
        EXPECT_EQ(image.width, 1) << c.what;
        EXPECT_EQ(image.dpi, 72) << c.what;
        EXPECT_EQ(image.bits[0], 42) << c.what;
    }
}

TEST(BitmapFile, ColourTableAtTheLimitsStillLoads) {
    // biClrUsed 1 with index 0 and an oversized table of 300 entries for 8 bits.
    for (uint32_t colors : {1u, 300u}) {
        Bytes f = bitmap_file_header(1, 1, 8, 54 + 4 * colors, 0, colors);
        append(f, ramp_table(static_cast<int>(colors)));
        append(f, {0, 0, 0, 0});
        dib24 image;
        EXPECT_TRUE(load_bytes(image, f)) << colors;
    }
}

}  // namespace
