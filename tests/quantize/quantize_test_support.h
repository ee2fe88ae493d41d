// Helpers shared by the quantizer tests: generated pictures and captured
// report text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "image/dib24.h"

struct Rgb {
    uint8_t r, g, b;
};

// Fills a width x height image; `color(x, y)` gives the pixel of picture
// row y counted from the top.
void fill_image(dib24& image, int32_t width, int32_t height,
                const std::function<Rgb(int32_t, int32_t)>& color);
// Smooth shading with some texture and sharp edges, like a photograph.
Rgb photo_like(int32_t x, int32_t y, uint32_t seed);
// Picture pixel (x, y), y counted from the top.
Rgb pixel_at(const dib24& image, int32_t x, int32_t y);
// All stored bytes, row padding included.
std::vector<uint8_t> image_bytes(const dib24& image);

// Runs `write` with a temporary stream and returns what it wrote.
std::string capture(const std::function<void(FILE*)>& write);

// The report with the milliseconds of its closing line blanked out.
std::string without_time(const std::string& report);
