#include "image/dib_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

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

namespace {

TEST(DibLayout, PartsOfPackedBitmaps) {
    struct Case {
        const char* what;
        uint32_t header_size;
        uint16_t bits;
        uint32_t compression, colors_used;
        size_t block;  // bytes in the block
        bool ok;
        size_t table_at, pixels_at;
    };
    const Case cases[] = {
        {"24 bits", 40, 24, BI_RGB, 0, 40, true, 40, 40},
        {"8 bits, full table", 40, 8, BI_RGB, 0, 40 + 1024, true, 40, 1064},
        {"8 bits, table cut short", 40, 8, BI_RGB, 0, 40 + 1023, false, 0, 0},
        {"4 bits, 3 colours, 108-byte header", 108, 4, BI_RGB, 3, 120, true, 108, 120},
        {"1 bit, 124-byte header", 124, 1, BI_RGB, 0, 132, true, 124, 132},
        {"300 colours at 8 bits", 40, 8, BI_RGB, 300, 1240, true, 40, 1240},
        {"masks after a 40-byte header", 40, 32, BI_BITFIELDS, 0, 52, true, 52, 52},
        {"masks cut short", 40, 32, BI_BITFIELDS, 0, 51, false, 0, 0},
        {"masks across a 44-byte header", 44, 32, BI_BITFIELDS, 0, 52, true, 52, 52},
        {"masks inside a 56-byte header", 56, 16, BI_BITFIELDS, 0, 56, true, 56, 56},
        {"header longer than the block", 108, 24, BI_RGB, 0, 100, false, 0, 0},
        {"header shorter than 40 bytes", 12, 24, BI_RGB, 0, 40, false, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> block(std::max<size_t>(c.block, 40), 0);
        BITMAPINFOHEADER h{};
        h.biSize = c.header_size;
        h.biWidth = 3;
        h.biHeight = -2;
        h.biBitCount = c.bits;
        h.biCompression = c.compression;
        h.biClrUsed = c.colors_used;
        dib_layout::write_info_header(h, block.data());
        for (size_t i = 0; i < 3 && 40 + 4 * i + 4 <= block.size(); ++i)
            dib_layout::write_u32(0xFFu << (8 * i), block.data() + 40 + 4 * i);
        block.resize(c.block);
        dib_layout::PackedDib dib;
        ASSERT_EQ(dib_layout::read_packed(block.data(), block.size(), dib), c.ok) << c.what;
        if (!c.ok)
            continue;
        EXPECT_EQ(dib.table_at, c.table_at) << c.what;
        EXPECT_EQ(dib.pixels_at, c.pixels_at) << c.what;
        EXPECT_EQ(dib.has_masks, c.compression == BI_BITFIELDS) << c.what;
        if (dib.has_masks) {
            EXPECT_EQ(dib.masks[2], 0xFF0000u) << c.what;
        }
    }
    // Pictures the store cannot hold are refused from the header.
    std::vector<uint8_t> block(40, 0);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biBitCount = 24;
    dib_layout::PackedDib dib;
    for (auto [w, ht] : {std::pair{0, 1}, {1, 0}, {-1, 1}, {1 << 30, 1}, {30000, 30000}}) {
        h.biWidth = w;
        h.biHeight = ht;
        dib_layout::write_info_header(h, block.data());
        EXPECT_FALSE(dib_layout::read_packed(block.data(), block.size(), dib)) << w << " x " << ht;
    }
}

}  // namespace
