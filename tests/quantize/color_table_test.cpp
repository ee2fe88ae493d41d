#include "quantize/color_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "quantize/color_convert.h"
#include "tests/quantize/reference_quantizer.h"
#include "tests/quantize/quantize_test_support.h"

namespace {

TEST(ColorTable, OneColourFillsOneSlotWithEveryPixel) {
    dib24 image;
    fill_image(image, 7, 5, [](int32_t, int32_t) { return Rgb{255, 255, 255}; });
    ColorTable table;
    fill_color_table(image, table);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].channels[0], 254);
    EXPECT_EQ(table[0].channels[1], 127);
    EXPECT_EQ(table[0].channels[2], 127);
    EXPECT_EQ(table[0].cluster, 0);
    EXPECT_EQ(table[0].weight, 35.0);
}

TEST(ColorTable, PixelsThatConvertAlikeShareASlot) {
    dib24 image;
    fill_image(image, 2, 2, [](int32_t x, int32_t y) {
        const uint8_t v = static_cast<uint8_t>((x + y) % 2);  // greys 0 and 1
        return Rgb{v, v, v};
    });
    ColorTable table;
    fill_color_table(image, table);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].weight, 4.0);
    EXPECT_EQ(color_key(table[0].channels[0], table[0].channels[1], table[0].channels[2]),
              (0 << 16) | (127 << 8) | 127);

    fill_image(image, 2, 1, [](int32_t x, int32_t) {
        const uint8_t v = static_cast<uint8_t>(20 + x);
        return Rgb{v, v, v};
    });
    fill_color_table(image, table);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].channels[0], 4);
}

TEST(ColorTable, SlotsFollowTheScanFromTheTopLeft) {
    // 3 x 2 picture; the top row is stored last in the bottom-up layout.
    const Rgb colours[2][3] = {{{255, 0, 0}, {0, 255, 0}, {255, 0, 0}},
                               {{0, 0, 255}, {0, 255, 0}, {0, 0, 0}}};
    dib24 image;
    fill_image(image, 3, 2, [&](int32_t x, int32_t y) { return colours[y][x]; });
    ColorTable table;
    fill_color_table(image, table);
    ASSERT_EQ(table.size(), 4u);
    const int32_t expected[4][4] = {
        {76, 255, 84, 2}, {149, 15, 42, 2}, {29, 92, 255, 1}, {0, 127, 127, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(table[i].channels[0], expected[i][0]) << i;
        EXPECT_EQ(table[i].channels[1], expected[i][1]) << i;
        EXPECT_EQ(table[i].channels[2], expected[i][2]) << i;
        EXPECT_EQ(table[i].weight, expected[i][3]) << i;
        EXPECT_EQ(table[i].cluster, 0);
    }
}

TEST(ColorTable, AllGreysGive194Colours) {
    dib24 image;
    fill_image(image, 16, 16, [](int32_t x, int32_t y) {
        const uint8_t v = static_cast<uint8_t>(16 * y + x);
        return Rgb{v, v, v};
    });
    ColorTable table;
    fill_color_table(image, table);
    EXPECT_EQ(table.size(), 194u);
    double sum = 0;
    for (const ColorEntry& e : table)
        sum += e.weight;
    EXPECT_EQ(sum, 256.0);
}

// Long runs of one value and values that come back after many others, on
// one and on several threads: every pixel counted, slots in the order of
// first occurrence.
TEST(ColorTable, CountsSurviveLongRunsAndReturningColours) {
    const Rgb first{200, 30, 90}, second{10, 220, 40};
    dib24 image;
    // 300 x 250: a run of 75000 pixels of `first` but for a column of
    // `second` and a band of new colours in the middle rows.
    fill_image(image, 300, 250, [&](int32_t x, int32_t y) {
        if (x == 299)
            return second;
        if (y >= 100 && y < 110)
            return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7};
        return first;
    });
    ColorTable expected;
    fill_color_table(image, expected, 1);
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(expected[0].weight, 299.0 * 240);
    EXPECT_EQ(expected[1].weight, 250.0);
    for (const int32_t threads : {1, 2, 3, 7}) {
        ColorTable table;
        fill_color_table(image, table, threads);
        ASSERT_EQ(table.size(), expected.size()) << threads;
        double sum = 0;
        for (size_t i = 0; i < table.size(); ++i) {
            EXPECT_EQ(std::memcmp(table[i].channels, expected[i].channels, 3), 0) << i;
            EXPECT_EQ(table[i].weight, expected[i].weight) << i;
            sum += table[i].weight;
        }
        EXPECT_EQ(sum, 300.0 * 250) << threads;
    }
}

// More than 2^20 converted colours, where the second pass converts ahead of
// the pixel it counts: scattered values, each fifth pixel repeating the one
// before it, equal to the literal table on one and on several threads.
TEST(ColorTable, ManyColoursMatchTheLiteralTable) {
    dib24 image;
    const auto value = [](uint32_t i) { return (i * 2654435761u) >> 8; };
    fill_image(image, 1700, 1024, [&](int32_t x, int32_t y) {
        const uint32_t i = static_cast<uint32_t>(y * 1700 + x);
        const uint32_t v = x % 5 == 4 ? value(i - 1) : value(i);
        return Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                   static_cast<uint8_t>(v)};
    });
    reference::State literal;
    FILE* quiet = std::tmpfile();
    ASSERT_NE(quiet, nullptr);
    reference::fill_table(image, literal, quiet);
    std::fclose(quiet);
    const size_t colours = literal.index.size();
    ASSERT_GT(colours, size_t{1} << 20);
    for (const int32_t threads : {1, 2, 3}) {
        ColorTable table;
        fill_color_table(image, table, threads);
        ASSERT_EQ(table.size(), colours) << threads;
        size_t differing = 0;
        for (size_t i = 0; i < colours; ++i) {
            differing += std::memcmp(table[i].channels, literal.table[i].channels, 3) != 0 ||
                         table[i].weight != literal.table[i].weight;
        }
        EXPECT_EQ(differing, 0u) << threads;
    }
}

TEST(ColorTable, ImageWithoutPixelsGivesAnEmptyTable) {
    dib24 image;  // no store at all
    ColorTable table;
    fill_color_table(image, table);
    EXPECT_TRUE(table.empty());
}

}  // namespace
