#include "image/dib24.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct GeometryCase {
    int32_t width, height, dpi;
    int32_t stride;
    DWORD size_image;
    LONG pixels_per_metre;
};

TEST(Dib24, CreateSetsGeometryAndHeader) {
    const GeometryCase cases[] = {
        {1, 1, 0, 4, 4, 0},
        {5, 2, 72, 16, 32, 2835},
        {4, 3, 96, 12, 36, 3780},
        {3, 1, 0, 12, 12, 0},
    };
    for (const auto& c : cases) {
        dib24 image;
        image.create(c.width, c.height, c.dpi);
        ASSERT_NE(image.bits, nullptr);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.stride, c.stride) << c.width;
        EXPECT_EQ(image.dpi, c.dpi);
        const BITMAPINFOHEADER& h = image.info.bmiHeader;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, 24);
        EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(h.biSizeImage, c.size_image);
        EXPECT_EQ(h.biXPelsPerMeter, c.pixels_per_metre);
        EXPECT_EQ(h.biYPelsPerMeter, c.pixels_per_metre);
        EXPECT_EQ(h.biClrUsed, 0u);
        // A new store is zero-filled.
        for (int32_t i = 0; i < c.stride * c.height; ++i)
            ASSERT_EQ(image.bits[i], 0);
    }
}

TEST(Dib24, CreateTwiceAndReleaseFreeEverything) {
    dib24 image;
    image.create(8, 8, 72);
    HDC first_dc = image.dc;
    image.create(2, 3, 0);
    EXPECT_NE(image.dc, nullptr);
    EXPECT_EQ(image.width, 2);
    // The first context is gone: deleting it again is refused.
    if (first_dc != image.dc) {
        EXPECT_FALSE(DeleteDC(first_dc));
    }
    image.release();
    EXPECT_EQ(image.bits, nullptr);
    EXPECT_EQ(image.bitmap, nullptr);
    EXPECT_EQ(image.dc, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.stride, 0);
    image.release();  // twice is harmless
    dib24 never_created;
    never_created.release();
}

TEST(Dib24, FailedCreateLeavesAnEmptyImage) {
    dib24 image;
    image.create(0, 5, 0);
    EXPECT_EQ(image.bits, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(image.info.bmiHeader.biSizeImage, 0u);
}

TEST(Dib24, DrawCopiesOneToOneIntoAMemoryBitmap) {
    dib24 image;
    image.create(3, 2, 0);
    // Stored row 0 is the bottom row of the picture.
    for (int i = 0; i < image.stride * image.height; ++i)
        image.bits[i] = static_cast<uint8_t>(i + 1);
    dib24 target;
    target.create(3, 2, 0);
    image.draw(target.dc, 0, 0, 3, 2, 0, 0);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(0,
                  std::memcmp(target.bits + y * target.stride, image.bits + y * image.stride, 9));
}

TEST(Dib24, DrawAfterReleasePaintsNothing) {
    dib24 image;
    image.create(2, 2, 0);
    std::memset(image.bits, 0xFF, static_cast<size_t>(image.stride * image.height));
    image.release();
    dib24 target;
    target.create(2, 2, 0);
    image.draw(target.dc, 0, 0, 2, 2, 0, 0);
    for (int i = 0; i < target.stride * target.height; ++i)
        EXPECT_EQ(target.bits[i], 0);
}

}  // namespace
