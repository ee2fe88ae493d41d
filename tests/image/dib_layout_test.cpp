#include "image/dib_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(DibLayout, ResolutionBetweenDotsPerInchAndPixelsPerMetre) {
    // dpi x 39.37007874015748 + 0.5 one way, ppm x 0.0254 + 0.5 the other, truncated.
    const std::pair<int32_t, int32_t> dpi_to_ppm[] = {
        {0, 0}, {1, 39}, {72, 2835}, {96, 3780}, {150, 5906}, {300, 11811}, {600, 23622}};
    for (auto [dpi, ppm] : dpi_to_ppm) {
        EXPECT_EQ(dib_layout::pixels_per_metre_from_dpi(dpi), ppm) << dpi;
        EXPECT_EQ(dib_layout::dpi_from_pixels_per_metre(ppm), dpi) << ppm;
    }
    const std::pair<int32_t, int32_t> ppm_to_dpi[] = {{19, 0},    {20, 1},    {2834, 72},
                                                      {3779, 96}, {3800, 97}, {-2835, -71}};
    for (auto [ppm, dpi] : ppm_to_dpi)
        EXPECT_EQ(dib_layout::dpi_from_pixels_per_metre(ppm), dpi) << ppm;
}

TEST(DibLayout, SourceRowLengthsArePaddedToFourBytes) {
    struct Case {
        int32_t width;
        uint16_t bits;
        int64_t row_bytes;
    };
    const Case cases[] = {{10, 1, 4},  {32, 1, 4},  {33, 1, 8}, {3, 4, 4},  {8, 4, 4},
                          {9, 4, 8},   {1, 8, 4},   {4, 8, 4},  {5, 8, 8},  {1, 24, 4},
                          {4, 24, 12}, {5, 24, 16}, {1, 32, 4}, {3, 32, 12}};
    for (const Case& c : cases) {
        BITMAPINFOHEADER h{};
        h.biWidth = c.width;
        h.biHeight = -3;
        h.biBitCount = c.bits;
        dib_layout::Rows rows;
        ASSERT_TRUE(dib_layout::rows_of(h, rows));
        EXPECT_EQ(rows.row_bytes, c.row_bytes) << c.width << " x " << c.bits;
        EXPECT_EQ(rows.data_bytes, 3 * c.row_bytes);
        EXPECT_TRUE(rows.top_down);
        EXPECT_EQ(rows.count, 3);
    }
}

TEST(DibLayout, StoreSizeLimit) {
    BITMAPINFOHEADER h{};
    h.biBitCount = 24;
    // 3 x 21845 = 65535 bytes, padded to 65536 a row: 32767 rows fit 2^31 - 1 bytes.
    h.biWidth = 21845;
    h.biHeight = 32767;
    dib_layout::Rows rows;
    EXPECT_TRUE(dib_layout::rows_of(h, rows));
    h.biHeight = 32768;
    EXPECT_FALSE(dib_layout::rows_of(h, rows));
    h.biHeight = -32768;
    EXPECT_FALSE(dib_layout::rows_of(h, rows));
}

}  // namespace
