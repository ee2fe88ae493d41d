// JPEG decoding against the libjpeg-turbo tools (files made with cjpeg, the
// expected pixels from djpeg -bmp); orientation tags (set with exiftool and
// tiffset, and HEIF's irot and imir written by libheif's encoder); hostile
// files of every kind, refused for the right reason in bounded time and
// memory, measured in a child process. Linux only: the tools and fork are
// not there on Windows.
#include <libheif/heif.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "image/byte_reader.h"
#include "image/heif_boxes.h"
#include "tests/image/png_bytes.h"
#include "tests/image/tool_files.h"

namespace {

using namespace tool_files;
using DecoderTools = ToolFiles;

TEST_F(DecoderTools, JpegPixelsEqualDjpegs) {
    const std::pair<const char*, const char*> kinds[] = {
        {"baseline", "-quality 85"},
        {"progressive", "-progressive -quality 75"},
        {"grey", "-grayscale"},
        {"grey progressive", "-grayscale -progressive"},
        {"4:4:4", "-sample 1x1"},
        {"4:2:2", "-sample 2x1"},
        {"restart markers, optimised tables", "-restart 1 -optimize"},
    };
    for (const auto& [what, options] : kinds) {
        SCOPED_TRACE(what);
        run("cjpeg " + std::string(options) + " source.bmp > a.jpg && djpeg -bmp a.jpg > a.bmp");
        dib24 decoded, expected;
        ASSERT_TRUE(load_path(decoded, path("a.jpg")));
        ASSERT_TRUE(load_path(expected, path("a.bmp"), false));
        ASSERT_EQ(decoded.width, 37);
        ASSERT_EQ(decoded.height, 23);
        EXPECT_EQ(rgb_of(decoded), rgb_of(expected));
    }
}

// A HEIC file of the picture in `file` whose rotation and mirroring boxes
// show it as orientation `tag` does (libheif's encoder writes them).
void write_turned_heic(const dib24& picture, int tag, const std::string& file) {
    heif_context* context = heif_context_alloc();
    heif_image* image = nullptr;
    heif_image_create(picture.width, picture.height, heif_colorspace_RGB,
                      heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, picture.width, picture.height, 8);
    int stride = 0;
    uint8_t* rows = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const Bytes rgb = rgb_of(picture);
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(rgb.begin() + 3 * picture.width * y, 3 * picture.width, rows + y * stride);
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(tag);
    heif_context_encode_image(context, image, encoder, options, nullptr);
    ASSERT_EQ(heif_context_write_to_file(context, file.c_str()).code, heif_error_Ok);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(context);
}

// JPEG (Exif), TIFF and HEIC pictures are turned upright as their files say,
// each orientation the same way.
TEST_F(DecoderTools, OrientationsTurnThePictureUpright) {
    run("cjpeg -quality 90 source.bmp > base.jpg");
    run("convert source.png -compress LZW base.tif");
    dib24 source;
    ASSERT_TRUE(load_path(source, path("source.bmp")));
    write_turned_heic(source, 1, path("base.heic"));
    for (const char* kind : {"jpg", "tif", "heic"}) {
        dib24 stored;
        ASSERT_TRUE(load_path(stored, path("base.") + kind));
        for (int tag = 1; tag <= 8; ++tag) {
            SCOPED_TRACE(std::string(kind) + " " + std::to_string(tag));
            const std::string file = path("turned.") + kind;
            const std::string t = std::to_string(tag);
            if (std::string(kind) == "heic") {
                write_turned_heic(source, tag, file);
                // The structure reader that turns HEIF pictures where the
                // decoder does not (Windows) reads the same orientation.
                const Bytes bytes = read_bytes(file);
                EXPECT_EQ(heif_primary_orientation(bytes.data(), bytes.size()), tag);
            } else if (std::string(kind) == "jpg") {
                run("cp base.jpg turned.jpg && exiftool -q -n -overwrite_original "
                    "-Orientation=" +
                    t + " turned.jpg");
            } else {
                run("cp base.tif turned.tif && tiffset -s 274 " + t + " turned.tif");
            }
            dib24 upright;
            ASSERT_TRUE(load_path(upright, file));
            expect_turned(stored, upright, tag);
        }
    }
}

// The offset of the frame header's height (SOF0 or SOF2: FF C0 / FF C2, the
// length, the precision, then height and width).
size_t frame_size_at(const Bytes& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2))
            return i + 5;
    return 0;
}

Bytes with_size(Bytes jpeg, uint16_t width, uint16_t height) {
    const size_t at = frame_size_at(jpeg);
    jpeg[at] = static_cast<uint8_t>(height >> 8);
    jpeg[at + 1] = static_cast<uint8_t>(height);
    jpeg[at + 2] = static_cast<uint8_t>(width >> 8);
    jpeg[at + 3] = static_cast<uint8_t>(width);
    return jpeg;
}

// A little-endian TIFF file with the value of `tag` (SHORT or LONG, in the
// first directory) set to `value`.
Bytes with_tiff_field(Bytes tiff, uint16_t tag, uint32_t value) {
    const size_t directory = le32(&tiff[4]);
    for (size_t e = 0; e < le16(&tiff[directory]); ++e) {
        uint8_t* entry = &tiff[directory + 2 + 12 * e];
        if (le16(entry) != tag)
            continue;
        for (int i = 0; i < (le16(entry + 2) == 3 ? 2 : 4); ++i)
            entry[8 + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return tiff;
}

// A HEIF file whose image spatial extents (ispe) say `width` x `height`.
Bytes with_extents(Bytes heif, uint32_t width, uint32_t height) {
    const std::string text(heif.begin(), heif.end());
    for (size_t at = text.find("ispe"); at != std::string::npos; at = text.find("ispe", at + 1))
        for (int i = 0; i < 4; ++i) {
            heif[at + 8 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
            heif[at + 12 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
        }
    return heif;
}

// A HEIC file whose grid of tiles (16-bit fields in its idat box) says it
// is `width` x `height`.
Bytes with_grid_size(Bytes heif, uint16_t width, uint16_t height) {
    const size_t at = std::string(heif.begin(), heif.end()).find("idat") + 8;
    heif.at(at) = static_cast<uint8_t>(width >> 8);
    heif.at(at + 1) = static_cast<uint8_t>(width);
    heif.at(at + 2) = static_cast<uint8_t>(height >> 8);
    heif.at(at + 3) = static_cast<uint8_t>(height);
    return heif;
}

// A lossless WebP file whose header says `width` x `height`.
Bytes with_webp_size(Bytes webp, uint32_t width, uint32_t height) {
    // After "VP8L", its length and the signature byte: 14 bits of width - 1,
    // 14 of height - 1, the alpha bit and the version.
    const uint32_t bits = le32(&webp[21]);
    const uint32_t sized = (width - 1) | (height - 1) << 14 | (bits & 0xF0000000u);
    for (int i = 0; i < 4; ++i)
        webp[21 + i] = static_cast<uint8_t>(sized >> (8 * i));
    return webp;
}

Bytes cut(const Bytes& file, size_t keep) {
    return Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(keep));
}

Bytes garbage_after(const Bytes& file, size_t signature) {
    Bytes f = cut(file, signature);
    for (int i = 0; i < 256; ++i)
        f.push_back(static_cast<uint8_t>(i * 37 + 11));
    return f;
}

// Hostile files of every kind, each refused for its reason. Outside the
// sanitizer builds, a child process that loads it must finish within 2 s of
// processor time and 64 MiB at its peak.
TEST_F(DecoderTools, HostileFilesAreRefusedInBoundedTimeAndMemory) {
    run("cjpeg source.bmp > base.jpg && cjpeg -progressive source.bmp > progressive.jpg");
    run("convert source.bmp -colorspace CMYK cmyk.jpg");
    run("cwebp -lossless source.png -o base.webp");
    run("convert source.png -compress LZW base.tif && convert source.png -colorspace CMYK "
        "cmyk.tif");
    // 64 x 64, which the HEVC encoder does not wrap in a grid to cut it.
    run("convert source.png -resize '64x64!' square.png && heif-enc -q 50 square.png -o base.heic "
        "&& heif-enc -A -q 50 square.png -o base.avif");
    // 37 x 23: a grid of one 64 x 64 tile, cut to that size.
    run("heif-enc -q 50 source.png -o grid.heic");
    const Bytes jpeg = read_bytes(path("base.jpg")),
                progressive = read_bytes(path("progressive.jpg")),
                webp = read_bytes(path("base.webp")), tiff = read_bytes(path("base.tif")),
                heic = read_bytes(path("base.heic")), avif = read_bytes(path("base.avif")),
                grid = read_bytes(path("grid.heic"));
    ASSERT_NE(frame_size_at(jpeg), 0u);
    ASSERT_NE(frame_size_at(progressive), 0u);
    ASSERT_EQ(std::string(tiff.begin(), tiff.begin() + 2), "II");
    Bytes extraneous = jpeg;
    // Before the frame header's marker (at the end of the data the decoder's
    // bit reader would take them in).
    extraneous.insert(extraneous.begin() + static_cast<ptrdiff_t>(frame_size_at(jpeg) - 5),
                      {1, 2, 3});
    const LoadError damaged = LoadError::damaged, too_large = LoadError::too_large,
                    not_read = LoadError::not_a_picture;

    const struct {
        const char* what;
        Bytes bytes;
        LoadError why;
    } cases[] = {
        {"JPEG cut in half", cut(jpeg, jpeg.size() / 2), damaged},
        {"JPEG without its end-of-image marker", cut(jpeg, jpeg.size() - 2), damaged},
        {"JPEG with extraneous bytes before a marker", extraneous, damaged},
        {"CMYK JPEG", read_bytes(path("cmyk.jpg")), not_read},
        {"JPEG of 65000 x 65000", with_size(jpeg, 65000, 65000), too_large},
        {"JPEG of 30000 x 20000 with 37 x 23 of data", with_size(jpeg, 30000, 20000), damaged},
        {"progressive JPEG of 30000 x 20000", with_size(progressive, 30000, 20000), damaged},
        {"progressive JPEG of 65000 x 65000", with_size(progressive, 65000, 65000), too_large},
        {"JPEG of width 0", with_size(jpeg, 0, 23), damaged},
        {"PNG of 100000 x 100000", png_file(ihdr(100000, 100000, 8, 2), {}, PngBytes(64, 0)),
         too_large},
        {"PNG of 26000 x 26000", png_file(ihdr(26000, 26000, 8, 0), {}, PngBytes(64, 0)), damaged},
        {"Adam7 PNG of 26000 x 26000", png_file(ihdr(26000, 26000, 8, 0, 1), {}, PngBytes(64, 0)),
         damaged},
        {"WebP cut in half", cut(webp, webp.size() / 2), damaged},
        {"WebP of 16383 x 16383 with 37 x 23 of data", with_webp_size(webp, 16383, 16383), damaged},
        {"WebP with garbage after its signature", garbage_after(webp, 16), damaged},
        {"TIFF cut in half", cut(tiff, tiff.size() / 2), damaged},
        {"TIFF of 100000 x 100000",
         with_tiff_field(with_tiff_field(tiff, 256, 100000), 257, 100000), too_large},
        {"TIFF of 30000 x 20000 with 37 x 23 of data",
         with_tiff_field(with_tiff_field(tiff, 256, 30000), 257, 20000), damaged},
        {"TIFF of width 0", with_tiff_field(tiff, 256, 0), damaged},
        {"TIFF with garbage after its signature", garbage_after(tiff, 4), damaged},
        {"CMYK TIFF", read_bytes(path("cmyk.tif")), not_read},
        {"HEIC cut in half", cut(heic, heic.size() / 2), damaged},
        {"HEIC of 100000 x 100000", with_extents(heic, 100000, 100000), too_large},
        {"HEIC of 30000 x 20000 with 37 x 23 of data", with_extents(heic, 30000, 20000), damaged},
        {"HEIC of width 0", with_extents(heic, 0, 23), damaged},
        {"HEIC with garbage after its file type", garbage_after(heic, 32), damaged},
        {"HEIC grid of 30000 x 20000 declared 37 x 23", with_grid_size(grid, 30000, 20000),
         damaged},
        {"AVIF cut short", cut(avif, avif.size() - 20), damaged},
        {"AVIF of 30000 x 20000 with 37 x 23 of data", with_extents(avif, 30000, 20000), damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_bytes(path("hostile"), c.bytes);
        dib24 image;
        LoadError why = LoadError::none;
        EXPECT_FALSE(load_path(image, path("hostile"), true, &why));
        EXPECT_EQ(why, c.why);
#if !defined(__SANITIZE_ADDRESS__)
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit two_seconds = {2, 2};
            setrlimit(RLIMIT_CPU, &two_seconds);
            dib24 in_child;
            _exit(load_path(in_child, path("hostile")) ? 1 : 0);
        }
        int status = 0;
        rusage usage{};
        ASSERT_EQ(wait4(child, &status, 0, &usage), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "kilobytes at the peak";
#endif
    }
}

}  // namespace
