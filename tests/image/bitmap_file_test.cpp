#include <gtest/gtest.h>

#include <cstring>

#include "image/dib24.h"
#include "tests/image/byte_stream.h"

namespace {

TEST(BitmapFile, SaveWritesHeadersAndRows) {
    dib24 image;
    image.create(5, 2, 72);
    for (int i = 0; i < 32; ++i) image.bits[i] = static_cast<uint8_t>(i);
    bool ok = false;
    Bytes file = save_bytes(image, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 86u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    for (int i = 2; i <= 9; ++i) EXPECT_EQ(file[i], 0) << i;  // bfSize and reserved are 0
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
    for (uint8_t v : {1, 2, 3, 0, 4, 5, 6, 0}) file.push_back(v);
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
