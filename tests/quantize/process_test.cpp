#include "quantize/process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "app/load_input.h"
#include "quantize/color_convert.h"
#include "quantize/thread_count.h"
#include "tests/quantize/quantize_test_support.h"
#include "tests/quantize/reference_quantizer.h"

namespace {

// The sanitizer build runs the same comparisons on smaller pictures.
#ifdef QV_SMALL_TEST_IMAGES
constexpr int32_t scale = 1;
#else
constexpr int32_t scale = 3;
#endif

using Generator = std::function<Rgb(int32_t, int32_t)>;

struct Picture {
    const char* name;
    int32_t width, height;
    Generator color;
};

// w * h colours that all convert to different keys, so no slot stays empty.
std::vector<Rgb> distinct_converted(size_t count) {
    std::vector<Rgb> colours;
    std::set<int32_t> keys;
    for (uint32_t i = 0; colours.size() < count && i < (1u << 24); i += 4099) {
        const Rgb c{static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8),
                    static_cast<uint8_t>(i)};
        ColorTriple ycc;
        rgb_to_ycc({{c.r, c.g, c.b}}, ycc);
        if (keys.insert((ycc.c[0] << 16) | (ycc.c[1] << 8) | ycc.c[2]).second)
            colours.push_back(c);
    }
    return colours;
}

// The report and the bytes of the literal quantizer, at every thread count,
// with the colour count and dithering of `options`; the palette and the
// indices handed back describe the reduced picture.
void expect_same_as_reference(dib24& image, const std::string& name, QuantizeOptions options) {
    const std::string what = name + ", " + std::to_string(options.colors) + " colours" +
                             (options.dither ? "" : ", no dither");
    dib24 copy;
    copy.create(image.width, image.height, 0);
    const std::vector<uint8_t> original = image_bytes(image);
    if (copy.bits != nullptr)
        std::copy(original.begin(), original.end(), copy.bits);
    const std::string literal =
        capture([&](FILE* out) { reference::process(copy, out, options.colors, options.dither); });
    // The colours counted after loading, or while a loader tells the rows:
    // one at a time, in bands, all at once, or only some (then counted whole).
    const struct {
        int32_t threads, rows_at_once, told;
    } runs[] = {{1, 0, 0}, {2, 1, image.height}, {3, 37, image.height},
                {4, image.height, image.height}, {7, 5, image.height / 2}};
    for (const auto [threads, rows_at_once, told] : runs) {
        if (image.bits != nullptr)
            std::copy(original.begin(), original.end(), image.bits);
        Palette palette;
        IndexRows indices;
        options.threads = threads;
        ColorCounting counting(threads);
        if (rows_at_once > 0) {
            counting.begin(image);
            for (int32_t rows = 0; rows < told;)
                counting.rows_final(rows = std::min(rows + rows_at_once, told));
        }
        const std::string fast = capture(
            [&](FILE* out) { process(image, out, &palette, &indices, options, &counting); });
        EXPECT_EQ(without_time(fast), without_time(literal)) << what << ", " << threads;
        ASSERT_TRUE(image_bytes(image) == image_bytes(copy)) << what << ", " << threads;
        ASSERT_EQ(indices.size(), static_cast<size_t>(image.width) * image.height) << what;
        for (size_t i = 0; i < indices.size(); ++i) {
            const Rgb px = pixel_at(image, static_cast<int32_t>(i % image.width),
                                    static_cast<int32_t>(i / image.width));
            const uint8_t* entry = &palette[3 * static_cast<size_t>(indices[i])];
            ASSERT_TRUE(entry[0] == px.r && entry[1] == px.g && entry[2] == px.b) << what;
        }
    }
}

// Each picture with 255 colours dithered, as the viewer reduces it, and once
// more with one of the other colour counts and ways.
void expect_reductions_as_reference(dib24& image, const std::string& name, size_t n) {
    expect_same_as_reference(image, name, QuantizeOptions{});
    const QuantizeOptions other[] = {
        {2, false, 0}, {16, true, 0}, {17, false, 0}, {64, true, 0}, {255, false, 0}};
    expect_same_as_reference(image, name, other[n % 5]);
}

TEST(Process, MatchesTheLiteralQuantizerOnGeneratedPictures) {
    std::mt19937 random(3);
    const std::vector<Rgb> distinct = distinct_converted(40 * 30);
    const Picture pictures[] = {
        {"one colour", 9, 7,
         [](int32_t, int32_t) {
             return Rgb{12, 200, 99};
         }},
        {"two colours", 10, 10,
         [](int32_t x, int32_t y) {
             return (x * y) % 3 ? Rgb{250, 10, 10} : Rgb{0, 40, 250};
         }},
        {"all greys", 16, 16,
         [](int32_t x, int32_t y) {
             const uint8_t v = static_cast<uint8_t>(16 * y + x);
             return Rgb{v, v, v};
         }},
        {"gradient", 64 * scale, 48 * scale,
         [](int32_t x, int32_t y) {
             return Rgb{static_cast<uint8_t>(x * 255 / (64 * scale - 1)),
                        static_cast<uint8_t>(y * 255 / (48 * scale - 1)),
                        static_cast<uint8_t>((x + y) % 256)};
         }},
        {"noise", 50 * scale, 40 * scale,
         [&](int32_t, int32_t) {
             const uint32_t v = random();
             return Rgb{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16)};
         }},
        {"every pixel its own colour", 40, 30,
         [&](int32_t x, int32_t y) { return distinct[static_cast<size_t>(y) * 40 + x]; }},
        {"one pixel", 1, 1,
         [](int32_t, int32_t) {
             return Rgb{1, 2, 3};
         }},
        {"width one", 1, 77, [](int32_t, int32_t y) { return photo_like(0, y * 5, 1); }},
        {"odd width", 33, 21, [](int32_t x, int32_t y) { return photo_like(x * 4, y * 4, 2); }},
        {"wide strip", 300 * scale, 2, [](int32_t x, int32_t y) { return photo_like(x, y, 3); }},
        {"tall strip", 3, 250 * scale, [](int32_t x, int32_t y) { return photo_like(x, y, 4); }},
        {"photo-like", 101 * scale, 67 * scale,
         [](int32_t x, int32_t y) { return photo_like(x * 3, y * 3, 5); }},
    };
    for (size_t n = 0; n < std::size(pictures); ++n) {
        dib24 image;
        fill_image(image, pictures[n].width, pictures[n].height, pictures[n].color);
        expect_reductions_as_reference(image, pictures[n].name, n);
    }
}

TEST(Process, SamplePhotograph) {
    dib24 image;
    image.create(1, 1, 0);
    ASSERT_TRUE(load_input(image, "samples/astronaut.bmp"));
#ifdef QV_SMALL_TEST_IMAGES
    // A 128 x 128 corner of it, to keep the sanitizer run short.
    dib24 part;
    fill_image(part, 128, 128,
               [&](int32_t x, int32_t y) { return pixel_at(image, x + 200, y + 100); });
    expect_reductions_as_reference(part, "astronaut corner", 4);
#else
    expect_reductions_as_reference(image, "astronaut", 4);
#endif
}

TEST(Process, BlackAndWhitePixels) {
    dib24 image;
    fill_image(image, 2, 1, [](int32_t x, int32_t) {
        return x ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    });
    const std::string report = capture([&](FILE* out) { process(image, out); });
    EXPECT_EQ(without_time(report),
              "color count: 2\npalette count:2\n"
              "pal[0] (count:1) : 254, 254, 254\npal[1] (count:1) : 0, 0, 0\n"
              "start\ncache hit: 0% [Tmsec]\n");
}

TEST(Process, ImageWithoutPixels) {
    dib24 image;
    const std::string expected =
        "color count: 0\npalette count:1\npal[0] (count:0) : 0, 0, 0\n"
        "start\ncache hit: 0% [Tmsec]\n";
    EXPECT_EQ(without_time(capture([&](FILE* out) { process(image, out); })), expected);
    EXPECT_EQ(without_time(capture([&](FILE* out) { reference::process(image, out); })), expected);
}

TEST(Process, ThreadCountFromTheEnvironment) {
    const struct {
        const char* text;
        int32_t count;
    } cases[] = {{nullptr, 5}, {"1", 1}, {"3", 3},  {"16", 16}, {"0", 5},      {"-2", 5},
                 {"", 5},      {"x", 5}, {"4x", 5}, {"2.5", 5}, {"99999", 256}};
    for (const auto& c : cases)
        EXPECT_EQ(thread_count_from(c.text, 5), c.count) << (c.text ? c.text : "unset");
    EXPECT_GE(quantizer_threads(), 1);
}

}  // namespace
