// Test helpers for pictures made and checked with Debian's tools: a scratch
// folder with a 37 x 23 picture (gradients and edges) as a bitmap and a PNG
// file and one with a gradient of alpha, the tools run in it, pictures loaded
// from it, and the check that a picture is another one turned as an
// orientation tag says. Linux only: the tools are not there on Windows.
#pragma once

#include <gtest/gtest.h>
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
#include "tests/image/checking_watch.h"

namespace tool_files {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Loads a picture file of any kind (or, `as_picture` false, only a bitmap
// file); `why` says why not. The rows the loader tells of as they are
// decoded must be the picture's final ones (colour profiles and orientation
// tags included).
inline bool load_path(dib24& image, const std::string& path, bool as_picture = true,
                      LoadError* why = nullptr) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    CheckingWatch watch;
    const bool ok = as_picture ? load_picture(image, f, why, &watch) : image.load(f);
    std::fclose(f);
    watch.expect_told_right(image, ok);
    return ok;
}

// Pixel (x, y), counted from the top, as 0xRRGGBB.
inline uint32_t pixel(const dib24& image, int x, int y) {
    const uint8_t* p = image.bits + size_t(image.height - 1 - y) * image.stride + 3 * x;
    return uint32_t{p[2]} << 16 | p[1] << 8 | p[0];
}

// The picture's pixels as red, green, blue, top row first.
inline Bytes rgb_of(const dib24& image) {
    Bytes rgb;
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 2; c >= 0; --c)
                rgb.push_back(image.bits[size_t(y) * image.stride + 3 * x + c]);
    return rgb;
}

// Every pixel of `upright` is the pixel of `stored` that orientation `tag`
// (1-8, as Exif numbers them) shows there.
inline void expect_turned(const dib24& stored, const dib24& upright, int tag) {
    const int w = stored.width, h = stored.height;
    const bool turned = tag >= 5;
    ASSERT_EQ(upright.width, turned ? h : w);
    ASSERT_EQ(upright.height, turned ? w : h);
    // Which stored corner shows at the top left, top right and bottom left
    // (0 top left, 1 top right, 2 bottom left, 3 bottom right); every pixel
    // lies on the lines between them.
    struct Corner {
        int x, y;
    };
    const Corner corners[4] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
    const int shown[9][3] = {{},        {0, 1, 2}, {1, 0, 3}, {3, 2, 1}, {2, 3, 0},
                             {0, 2, 1}, {2, 0, 3}, {3, 1, 2}, {1, 3, 0}};
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

class ToolFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("qv_tool_files_" + std::to_string(getpid()));
        fs::create_directories(dir);
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
        run("convert source.bmp source.png");
        // Alpha from 0 on the left to 255 on the right.
        run("convert source.png \\( +clone -fx 'i/(w-1)' \\) -alpha off "
            "-compose copy_opacity -composite alpha.png");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // Runs a shell command in the folder, its names relative to it.
    void run(const std::string& command) const {
        const std::string in_dir = "cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>&1";
        ASSERT_EQ(std::system(in_dir.c_str()), 0) << command;
    }

    fs::path dir;
};

}  // namespace tool_files
