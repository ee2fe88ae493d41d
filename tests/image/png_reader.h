// A small PNG reader for the tests only: it turns the reference renderings of
// the bitmap test suite into RGB pixels. Non-interlaced images with 1-16 bit
// greyscale, RGB, palette, grey+alpha and RGBA are read; alpha is dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // red, green, blue per pixel, top row first

    const uint8_t* at(int x, int y) const { return rgb.data() + 3 * (size_t(y) * width + x); }
};

// False, with `error` saying why, for a file it cannot read.
bool read_png(const std::string& path, RgbImage& out, std::string& error);
