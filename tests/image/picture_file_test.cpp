// Loading PNG and JPEG files beside bitmap files, and writing palette PNGs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "image/picture_codec.h"
#include "image/picture_file.h"
#include "tests/image/png_bytes.h"

namespace {

bool load_picture_bytes(dib24& image, const std::vector<uint8_t>& bytes) {
    FILE* f = std::tmpfile();
    if (f == nullptr)
        return false;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    const bool ok = load_picture(image, f);
    std::fclose(f);
    return ok;
}

// The picture's pixels as red, green, blue, top row first.
std::vector<uint8_t> rgb_of(const dib24& image) {
    std::vector<uint8_t> rgb;
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 2; c >= 0; --c)
                rgb.push_back(image.bits[size_t(y) * image.stride + 3 * x + c]);
    return rgb;
}

TEST(PictureFile, SmallPngsOfWhatTheSuiteLacks) {
    // Colour types 2 (RGB), 3 (palette), 6 (RGBA); each scanline starts
    // with filter type 0.
    struct Case {
        const char* what;
        PngBytes file;
        int width, height;
        std::vector<uint8_t> rgb;
    };
    const Case cases[] = {
        {"16-bit RGBA, partial alpha: high bytes, then over white",
         png_file(ihdr(2, 1, 16, 6), {},
                  {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x80, 0xFF,  // alpha 0x80
                   0xC8, 0x00, 0x0A, 0x00, 0x14, 0x00, 0x00, 0xFF}),   // alpha 0: white
         2,
         1,
         {136, 170, 204, 255, 255, 255}},
        {"palette with tRNS: entries beyond tRNS are opaque",
         png_file(ihdr(3, 1, 8, 3),
                  {{"PLTE", {50, 60, 70, 10, 20, 30, 1, 2, 3}}, {"tRNS", {128, 255}}},
                  {0, 0, 1, 2}),
         3,
         1,
         {152, 157, 162, 10, 20, 30, 1, 2, 3}},
        {"colour management is ignored, a damaged profile too",
         png_file(ihdr(1, 2, 8, 2),
                  {{"gAMA", {0, 0, 0x4E, 0x20}},
                   {"iCCP", {'x', 0, 0, 1, 2, 3}},
                   {"sRGB", {0}},
                   {"cHRM", PngBytes(32, 0)}},
                  {0, 10, 20, 30, 0, 40, 50, 60}),
         1,
         2,
         {10, 20, 30, 40, 50, 60}},
        // Passes 2 and 3 are empty; 1 and 4 hold one pixel, 5 two in row 2, 6
        // one in rows 0 and 2, 7 the whole of row 1.
        {"Adam7, 3 x 3 grey",
         png_file(ihdr(3, 3, 8, 0, 1), {}, {0, 1, 0, 2, 0, 3, 4, 0, 5, 0, 6, 0, 7, 8, 9}),
         3,
         3,
         {1, 1, 1, 5, 5, 5, 2, 2, 2, 7, 7, 7, 8, 8, 8, 9, 9, 9, 3, 3, 3, 6, 6, 6, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dib24 image;
        ASSERT_TRUE(load_picture_bytes(image, c.file));
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(rgb_of(image), c.rgb);
    }
}

// An 8 x 8 grey baseline JPEG (made with cjpeg -grayscale -quality 30
// -optimize, its JFIF segment left out): quantisation table, frame header at
// 71, two Huffman tables (the second at 106), the scan, the end of image.
constexpr uint8_t grey_jpeg[] = {
    0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x1B, 0x12, 0x14, 0x17, 0x14, 0x11, 0x1B, 0x17,
    0x16, 0x17, 0x1E, 0x1C, 0x1B, 0x20, 0x28, 0x42, 0x2B, 0x28, 0x25, 0x25, 0x28, 0x51, 0x3A,
    0x3D, 0x30, 0x42, 0x60, 0x55, 0x65, 0x64, 0x5F, 0x55, 0x5D, 0x5B, 0x6A, 0x78, 0x99, 0x81,
    0x6A, 0x71, 0x90, 0x73, 0x5B, 0x5D, 0x85, 0xB5, 0x86, 0x90, 0x9E, 0xA3, 0xAB, 0xAD, 0xAB,
    0x67, 0x80, 0xBC, 0xC9, 0xBA, 0xA6, 0xC7, 0x99, 0xA8, 0xAB, 0xA4, 0xFF, 0xC0, 0x00, 0x0B,
    0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xFF, 0xC4, 0x00, 0x17, 0x10, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x62, 0xA1, 0xFF, 0xDA, 0x00, 0x08,
    0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x30, 0xDE, 0x9F, 0xFF, 0xD9,
};
static_assert(sizeof grey_jpeg == 146);

TEST(PictureFile, JpegStructureIsChecked) {
    const std::vector<uint8_t> good(std::begin(grey_jpeg), std::end(grey_jpeg));
    dib24 image;
    ASSERT_TRUE(load_picture_bytes(image, good));
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.height, 8);
    auto inserted = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> f = good;
        f.insert(f.begin() + static_cast<ptrdiff_t>(at), bytes.begin(), bytes.end());
        return f;
    };
    // Fill bytes before a marker and anything after the end of image are
    // allowed.
    EXPECT_TRUE(load_picture_bytes(image, inserted(71, {0xFF, 0xFF})));
    EXPECT_TRUE(load_picture_bytes(image, inserted(good.size(), {1, 2, 3})));
    const std::pair<const char*, std::vector<uint8_t>> refused[] = {
        {"without its end of image", {good.begin(), good.end() - 2}},
        {"cut in the scan", {good.begin(), good.end() - 4}},
        {"cut in the frame header", {good.begin(), good.begin() + 80}},
        {"stray bytes before the frame header", inserted(71, {1, 2, 3})},
        {"a stray byte between the Huffman tables", inserted(106, {0})},
    };
    for (const auto& [what, bytes] : refused) {
        SCOPED_TRACE(what);
        image.create(1, 1, 0);
        EXPECT_FALSE(load_picture_bytes(image, bytes));
        EXPECT_EQ(image.width, 1);
    }
}

// Damaged and hostile files: each is refused and leaves the image as it was.
TEST(PictureFile, DamagedAndHostileFilesAreRefused) {
    const PngBytes rows = {0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12};
    const PngBytes good = png_file(ihdr(2, 2, 8, 2), {}, rows);
    // Signature 8, IHDR 25, then IDAT's length, type and data from 33 on.
    ASSERT_GE(good.size(), 8 + 25 + 12 + 8 + 12u);
    auto cut = [&](size_t n) { return PngBytes(good.begin(), good.begin() + n); };
    auto flipped = [&](size_t at) {
        PngBytes f = good;
        f[at] ^= 0x01;
        return f;
    };
    PngBytes no_iend = cut(good.size() - 12);
    PngBytes text_crc = png_file(ihdr(2, 2, 8, 2), {{"tEXt", {'a', 0, 'b'}}}, rows);
    text_crc[8 + 25 + 8 + 3] ^= 0x01;  // the text itself: its CRC no longer holds
    PngBytes garbage = cut(8);
    for (int i = 0; i < 64; ++i)
        garbage.push_back(static_cast<uint8_t>(i * 37));
    // A 100000 x 100000 header (a store of 30 GB) with a tiny data stream,
    // and one just within the store limit whose data runs out at once.
    const PngBytes huge = png_file(ihdr(100000, 100000, 8, 2), {}, PngBytes(64, 0));
    const PngBytes large = png_file(ihdr(26000, 26000, 8, 0), {}, PngBytes(64, 0));
    const PngBytes index_beyond =
        png_file(ihdr(2, 1, 8, 3), {{"PLTE", {1, 2, 3, 4, 5, 6}}}, {0, 1, 2});
    const PngBytes no_palette = png_file(ihdr(2, 1, 8, 3), {}, {0, 0, 0});
    const PngBytes short_data = png_file(ihdr(2, 2, 8, 2), {}, PngBytes(7, 0));
    const PngBytes bad_depth = png_file(ihdr(2, 2, 3, 2), {}, PngBytes(14, 0));

    const std::pair<const char*, PngBytes> cases[] = {
        {"cut in the signature", cut(5)},
        {"cut in the header", cut(8 + 16)},
        {"cut in the image data", cut(8 + 25 + 8 + 10)},
        {"cut before IEND", no_iend},
        {"bad CRC of IHDR", flipped(8 + 8 + 3)},
        {"bad CRC of IDAT", flipped(8 + 25 + 8 + 5)},
        {"bad CRC of an ancillary chunk", text_crc},
        {"garbage after the signature", garbage},
        {"zero width", png_file(ihdr(0, 2, 8, 2), {}, PngBytes(2, 0))},
        {"zero height", png_file(ihdr(2, 0, 8, 2), {}, {})},
        {"100000 x 100000", huge},
        {"26000 x 26000, no data", large},
        {"palette index beyond the palette", index_beyond},
        {"palette picture without palette", no_palette},
        {"too little image data", short_data},
        {"bit depth 3", bad_depth},
        {"JPEG start of image only", {0xFF, 0xD8, 0xFF}},
        {"JPEG header cut short", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'}},
        {"neither bitmap, PNG nor JPEG", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}},
        {"empty", {}},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        dib24 image;
        image.create(1, 1, 0);
        image.bits[0] = 0x5A;
        EXPECT_FALSE(load_picture_bytes(image, bytes));
        EXPECT_EQ(image.width, 1);
        EXPECT_EQ(image.bits[0], 0x5A);
    }
    dib24 image;
    EXPECT_TRUE(load_picture_bytes(image, good));
}

// Small files of every kind (the fuzz targets' seeds): each loads or, on a
// system without its codec (Windows without the WebP or HEIF extensions, as
// Wine), is refused as having no decoder, never as damaged. Every system
// reads TIFF.
TEST(PictureFile, EveryKindLoadsOrHasNoDecoderForIt) {
    const std::pair<const char*, bool> files[] = {
        {"tests/fuzz/seeds/tiff/lzw_8x8.tif", true},
        {"tests/fuzz/seeds/webp/lossless_8x8.webp", false},
        {"tests/fuzz/seeds/webp/animation_2_frames.webp", false},
        {"tests/fuzz/seeds/heif/heic_8x8.heic", false},
        {"tests/fuzz/seeds/heif/avif_12x9.avif", false},
    };
    for (const auto& [file, everywhere] : files) {
        SCOPED_TRACE(file);
        FILE* f = std::fopen(file, "rb");
        ASSERT_NE(f, nullptr);
        dib24 image;
        LoadError why = LoadError::damaged;
        load_picture(image, f, &why);
        std::fclose(f);
        if (everywhere || why != LoadError::no_decoder) {
            EXPECT_EQ(why, LoadError::none);
        }
    }
}

// The written file's chunks, by type.
std::vector<std::pair<std::string, PngBytes>> chunks_of(const PngBytes& png) {
    std::vector<std::pair<std::string, PngBytes>> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t n =
            uint32_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (n > png.size() - at - 12)
            break;
        chunks.push_back({std::string(png.begin() + at + 4, png.begin() + at + 8),
                          PngBytes(png.begin() + at + 8, png.begin() + at + 8 + n)});
        at += 12 + n;
    }
    return chunks;
}

// The bytes of a palette PNG, or none when it cannot be encoded.
bool encoded_png(int32_t width, int32_t height, const uint8_t* palette, int colors,
                 const uint8_t* indices, PngBytes& png) {
    png.clear();
    return encode_palette_png(width, height, palette, colors, indices,
                              [&png](const uint8_t* bytes, size_t count) {
                                  png.insert(png.end(), bytes, bytes + count);
                                  return true;
                              });
}

TEST(PalettePng, KeepsThePaletteAndDecodesToItsColours) {
    // Pixels as narrow as the palette allows; 7 pixels a row leave part of
    // each row's last byte unused at every depth below 8.
    const struct {
        int colors, depth;
    } cases[] = {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {16, 4}, {17, 8}, {255, 8}};
    for (const auto [colors, depth] : cases) {
        SCOPED_TRACE(colors);
        const int32_t width = 7, height = 5;
        std::vector<uint8_t> palette(3 * size_t(colors)), indices(width * height);
        for (size_t i = 0; i < palette.size(); ++i)
            palette[i] = static_cast<uint8_t>(i * 7 + 3);
        for (size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<uint8_t>((i * 11) % colors);
        PngBytes png;
        ASSERT_TRUE(encoded_png(width, height, palette.data(), colors, indices.data(), png));
        // Rows given a few at a time: the same bytes; one row short or one
        // too many: a failure.
        for (const int32_t rows : {height - 1, height, height + 1}) {
            PngBytes pushed;
            PalettePngEncoder encoder;
            bool written = encoder.begin(width, height, palette.data(), colors,
                                         [&pushed](const uint8_t* bytes, size_t count) {
                                             pushed.insert(pushed.end(), bytes, bytes + count);
                                             return true;
                                         });
            for (int32_t y = 0; y < rows; y += 2)
                written =
                    encoder.add_rows(&indices[size_t(y) * width], std::min(2, rows - y)) && written;
            written = encoder.end() && written;
            EXPECT_EQ(written, rows == height);
            EXPECT_TRUE(!written || pushed == png);
        }
        const auto chunks = chunks_of(png);
        ASSERT_GE(chunks.size(), 4u);
        EXPECT_EQ(chunks[0].first, "IHDR");
        EXPECT_EQ(chunks[0].second[8], depth);
        EXPECT_EQ(chunks[0].second[9], 3);  // colour type: palette
        for (const auto& [type, data] : chunks) {
            EXPECT_NE(type, "tRNS");
            if (type == "PLTE") {
                EXPECT_LE(data.size(), 3u * 255);
                // Entries may be dropped, not changed: each is one of ours.
                for (size_t e = 0; e + 3 <= data.size(); e += 3)
                    EXPECT_NE(std::search(palette.begin(), palette.end(), data.begin() + e,
                                          data.begin() + e + 3),
                              palette.end());
            }
        }
        DecodedPicture back;
        ASSERT_EQ(decode_png(png.data(), png.size(), back), LoadError::none);
        ASSERT_EQ(back.width(), width);
        ASSERT_EQ(back.height(), height);
        for (size_t i = 0; i < indices.size(); ++i) {
            const uint8_t* bgr = back.row(i / width) + 3 * (i % width);
            const uint8_t* rgb = &palette[3 * indices[i]];
            ASSERT_TRUE(bgr[0] == rgb[2] && bgr[1] == rgb[1] && bgr[2] == rgb[0]) << i;
        }
    }
    const uint8_t palette[6] = {1, 2, 3, 4, 5, 6}, beyond[2] = {0, 2};
    PngBytes png;
    EXPECT_FALSE(encoded_png(2, 1, palette, 2, beyond, png));
    PalettePngEncoder encoder;
    EXPECT_TRUE(encoder.begin(2, 1, palette, 2, [](const uint8_t*, size_t) { return true; }));
    EXPECT_FALSE(encoder.add_rows(beyond, 1));
}

}  // namespace
