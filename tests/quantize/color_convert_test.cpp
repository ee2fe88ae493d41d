#include "quantize/color_convert.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

struct Conversion {
    ColorTriple in, out;
};

TEST(ColorConvert, RgbToYccKnownValues) {
    const Conversion cases[] = {
        {{{0, 0, 0}}, {{0, 127, 127}}},        {{{1, 1, 1}}, {{0, 127, 127}}},
        {{{20, 20, 20}}, {{4, 127, 127}}},     {{{21, 21, 21}}, {{4, 127, 127}}},
        {{{128, 128, 128}}, {{66, 127, 127}}}, {{{255, 255, 255}}, {{254, 127, 127}}},
        {{{255, 0, 0}}, {{76, 255, 84}}},      {{{0, 255, 0}}, {{149, 15, 42}}},
        {{{0, 0, 255}}, {{29, 92, 255}}},      {{{0, 255, 255}}, {{178, 0, 170}}},
        {{{255, 255, 0}}, {{225, 162, 0}}},    {{{100, 150, 200}}, {{83, 83, 168}}},
    };
    for (const Conversion& c : cases) {
        ColorTriple out;
        rgb_to_ycc(c.in, out);
        EXPECT_EQ(out.c[0], c.out.c[0]) << c.in.c[0] << "," << c.in.c[1] << "," << c.in.c[2];
        EXPECT_EQ(out.c[1], c.out.c[1]) << c.in.c[0] << "," << c.in.c[1] << "," << c.in.c[2];
        EXPECT_EQ(out.c[2], c.out.c[2]) << c.in.c[0] << "," << c.in.c[1] << "," << c.in.c[2];
    }
}

TEST(ColorConvert, YccToRgbKnownValues) {
    const Conversion cases[] = {
        {{{0, 127, 127}}, {{0, 0, 0}}},        {{{4, 127, 127}}, {{17, 18, 14}}},
        {{{66, 127, 127}}, {{127, 127, 126}}}, {{{254, 127, 127}}, {{254, 254, 254}}},
        {{{76, 255, 84}}, {{254, 0, 0}}},      {{{149, 15, 42}}, {{0, 254, 0}}},
        {{{29, 92, 255}}, {{0, 1, 254}}},      {{{83, 83, 168}}, {{99, 150, 198}}},
    };
    for (const Conversion& c : cases) {
        ColorTriple out;
        ycc_to_rgb(c.in, out);
        EXPECT_EQ(out.c[0], c.out.c[0]) << c.in.c[0] << "," << c.in.c[1] << "," << c.in.c[2];
        EXPECT_EQ(out.c[1], c.out.c[1]) << c.in.c[0] << "," << c.in.c[1] << "," << c.in.c[2];
        EXPECT_EQ(out.c[2], c.out.c[2]) << c.in.c[0] << "," << c.in.c[1] << "," << c.in.c[2];
    }
}

TEST(ColorConvert, TransferFunctionEnds) {
    EXPECT_EQ(to_linear(0.0), 0.0);
    EXPECT_EQ(to_linear(1.0), 1.0);
    EXPECT_EQ(to_gamma(1.0), 1.0);
    EXPECT_EQ(to_gamma(-0.25), -0.25 * 4.5);
    // Below the knee the straight segments apply.
    EXPECT_EQ(to_linear(0.08), 0.08 * 0.2222222222222222);
    EXPECT_EQ(to_gamma(0.018), 0.018 * 4.5);
}

TEST(ColorConvert, GreysAreNeutralAndCoarseAtTheDarkEnd) {
    std::set<int32_t> luma;
    for (int v = 0; v < 256; ++v) {
        ColorTriple out;
        rgb_to_ycc({{v, v, v}}, out);
        EXPECT_EQ(out.c[1], 127) << v;
        EXPECT_EQ(out.c[2], 127) << v;
        EXPECT_LE(out.c[0], 254);
        const int expected = v <= 4 ? 0 : v <= 8 ? 1 : (v >= 18 && v <= 22) ? 4 : -1;
        if (expected >= 0) {
            EXPECT_EQ(out.c[0], expected) << v;
        }
        luma.insert(out.c[0]);
    }
    EXPECT_EQ(luma.size(), 194u);
}

TEST(ColorConvert, PiecesMatchTheWholeConversions) {
    const double* lin = linear_of_byte();
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(lin[v], to_linear(v * byte_to_unit)) << v;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t rgb = random() & 0xffffff;
        const int r = rgb >> 16, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
        ColorTriple whole, pieces;
        rgb_to_ycc({{r, g, b}}, whole);
        linear_to_ycc(lin[r], lin[g], lin[b], pieces);
        ASSERT_EQ(whole.c[0], pieces.c[0]);
        ASSERT_EQ(whole.c[1], pieces.c[1]);
        ASSERT_EQ(whole.c[2], pieces.c[2]);
        for (int c = 0; c < 3; ++c) {
            EXPECT_GE(whole.c[c], 0);
            EXPECT_LE(whole.c[c], 255);
        }
    }
}

// The conversion without a power function against rgb_to_ycc on every
// colour (every 61st under the sanitizers): the steps of Cr are found with
// the library's own power function, which may round differently elsewhere.
TEST(ColorConvert, KeysWithoutPowerMatchForEveryColour) {
#ifdef QV_SMALL_TEST_IMAGES
    constexpr uint32_t stride = 61;
#else
    constexpr uint32_t stride = 1;
#endif
    const YccSteps& steps = ycc_steps();
    uint32_t wrong = 0, first_wrong = 0;
    for (uint32_t rgb = 0; rgb < (1u << 24); rgb += stride) {
        const int32_t r = static_cast<int32_t>(rgb >> 16), g = (rgb >> 8) & 0xff, b = rgb & 0xff;
        ColorTriple out;
        rgb_to_ycc({{r, g, b}}, out);
        if (ycc_key_of(steps, r, g, b) != ((out.c[0] << 16) | (out.c[1] << 8) | out.c[2])) {
            first_wrong = wrong++ == 0 ? rgb : first_wrong;
        }
    }
    EXPECT_EQ(wrong, 0u) << "first at red, green, blue = " << (first_wrong >> 16) << ", "
                         << ((first_wrong >> 8) & 0xff) << ", " << (first_wrong & 0xff);
}

}  // namespace
