// JPEG decoding against the libjpeg-turbo tools (files made with cjpeg, the
// expected pixels from djpeg -bmp, the orientation tag set with exiftool), and
// the memory a hostile file can make the loaders take, measured in a child
// process. Linux only: the tools and fork are not there on Windows.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "image/picture_file.h"
#include "tests/image/png_bytes.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class DecoderTools : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("qv_decoder_tools_" + std::to_string(getpid()));
        fs::create_directories(dir);
        // A 37 x 23 picture with gradients and edges, as a bitmap file.
        dib24 source;
        source.create(37, 23, 0);
        for (int y = 0; y < source.height; ++y)
            for (int x = 0; x < source.width; ++x) {
                uint8_t* p = source.bits + y * source.stride + 3 * x;
                p[0] = static_cast<uint8_t>(x * 7);
                p[1] = static_cast<uint8_t>(y * 11);
                p[2] = static_cast<uint8_t>((x / 4 + y / 3) % 2 ? 230 : 20);
            }
        FILE* f = std::fopen(path("source.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(source.save(f));
        std::fclose(f);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    void run(const std::string& command) const {
        ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    }

    fs::path dir;
};

bool load_path(dib24& image, const std::string& path, bool as_picture = true) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    const bool ok = as_picture ? load_picture(image, f) : image.load(f);
    std::fclose(f);
    return ok;
}

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Pixel (x, y), counted from the top, as 0xRRGGBB.
uint32_t pixel(const dib24& image, int x, int y) {
    const uint8_t* p = image.bits + size_t(image.height - 1 - y) * image.stride + 3 * x;
    return uint32_t{p[2]} << 16 | p[1] << 8 | p[0];
}

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
        run("cjpeg " + std::string(options) + " " + path("source.bmp") + " > " + path("a.jpg"));
        run("djpeg -bmp " + path("a.jpg") + " > " + path("a.bmp"));
        dib24 decoded, expected;
        ASSERT_TRUE(load_path(decoded, path("a.jpg")));
        ASSERT_TRUE(load_path(expected, path("a.bmp"), false));
        ASSERT_EQ(decoded.width, 37);
        ASSERT_EQ(decoded.height, 23);
        ASSERT_EQ(expected.width, 37);
        ASSERT_EQ(expected.height, 23);
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                ASSERT_EQ(pixel(decoded, x, y), pixel(expected, x, y)) << x << ", " << y;
    }
}

TEST_F(DecoderTools, ExifOrientationTurnsThePictureUpright) {
    run("cjpeg -quality 90 " + path("source.bmp") + " > " + path("base.jpg"));
    dib24 stored;
    ASSERT_TRUE(load_path(stored, path("base.jpg")));
    const int w = stored.width, h = stored.height;
    // Which stored corner shows at the top left, top right and bottom left
    // (0 top left, 1 top right, 2 bottom left, 3 bottom right).
    struct Corner {
        int x, y;
    };
    const Corner corners[4] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
    const int shown[9][3] = {{},        {0, 1, 2}, {1, 0, 3}, {3, 2, 1}, {2, 3, 0},
                             {0, 2, 1}, {2, 0, 3}, {3, 1, 2}, {1, 3, 0}};
    for (int tag = 1; tag <= 8; ++tag) {
        SCOPED_TRACE(tag);
        const std::string file = path("tag" + std::to_string(tag) + ".jpg");
        fs::copy_file(path("base.jpg"), file, fs::copy_options::overwrite_existing);
        run("exiftool -q -n -overwrite_original -Orientation=" + std::to_string(tag) + " " + file);
        dib24 upright;
        ASSERT_TRUE(load_path(upright, file));
        const bool turned = tag >= 5;
        ASSERT_EQ(upright.width, turned ? h : w);
        ASSERT_EQ(upright.height, turned ? w : h);
        // Every pixel lies on the line between the corners that frame it.
        const Corner o = corners[shown[tag][0]], right = corners[shown[tag][1]],
                     down = corners[shown[tag][2]];
        for (int y = 0; y < upright.height; ++y)
            for (int x = 0; x < upright.width; ++x) {
                const int sx = o.x + (right.x - o.x) * x / (upright.width - 1) +
                               (down.x - o.x) * y / (upright.height - 1);
                const int sy = o.y + (right.y - o.y) * x / (upright.width - 1) +
                               (down.y - o.y) * y / (upright.height - 1);
                ASSERT_EQ(pixel(upright, x, y), pixel(stored, sx, sy)) << x << ", " << y;
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

// Hostile files, each refused. Outside the sanitizer builds, the peak memory of
// a child process that loads it must stay under 64 MiB.
TEST_F(DecoderTools, HostileFilesAreRefusedInBoundedMemory) {
    run("cjpeg " + path("source.bmp") + " > " + path("base.jpg"));
    run("cjpeg -progressive " + path("source.bmp") + " > " + path("progressive.jpg"));
    run("convert " + path("source.bmp") + " -colorspace CMYK " + path("cmyk.jpg"));
    const Bytes base = read_bytes(path("base.jpg")),
                progressive = read_bytes(path("progressive.jpg"));
    ASSERT_NE(frame_size_at(base), 0u);
    ASSERT_NE(frame_size_at(progressive), 0u);
    Bytes extraneous = base;
    // Before the frame header's marker (at the end of the data the decoder's
    // bit reader would take them in).
    extraneous.insert(extraneous.begin() + static_cast<ptrdiff_t>(frame_size_at(base) - 5),
                      {1, 2, 3});

    const std::pair<const char*, Bytes> cases[] = {
        {"JPEG cut in half", Bytes(base.begin(), base.begin() + base.size() / 2)},
        {"JPEG without its end-of-image marker", Bytes(base.begin(), base.end() - 2)},
        {"JPEG with extraneous bytes before a marker", extraneous},
        {"CMYK JPEG", read_bytes(path("cmyk.jpg"))},
        {"JPEG of 65000 x 65000", with_size(base, 65000, 65000)},
        {"JPEG of 30000 x 20000 with 37 x 23 of data", with_size(base, 30000, 20000)},
        {"progressive JPEG of 30000 x 20000", with_size(progressive, 30000, 20000)},
        {"progressive JPEG of 65000 x 65000", with_size(progressive, 65000, 65000)},
        {"JPEG of width 0", with_size(base, 0, 23)},
        {"PNG of 100000 x 100000", png_file(ihdr(100000, 100000, 8, 2), {}, PngBytes(64, 0))},
        {"PNG of 26000 x 26000", png_file(ihdr(26000, 26000, 8, 0), {}, PngBytes(64, 0))},
        {"Adam7 PNG of 26000 x 26000", png_file(ihdr(26000, 26000, 8, 0, 1), {}, PngBytes(64, 0))},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        write_bytes(path("hostile"), bytes);
        dib24 image;
        EXPECT_FALSE(load_path(image, path("hostile")));
#if !defined(__SANITIZE_ADDRESS__)
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dib24 in_child;
            _exit(load_path(in_child, path("hostile")) ? 1 : 0);
        }
        int status = 0;
        rusage usage{};
        ASSERT_EQ(wait4(child, &status, 0, &usage), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "kilobytes at the peak";
#endif
    }
}

}  // namespace
