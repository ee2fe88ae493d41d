// Palette averaging: one colour per cluster, the pixel-weighted mean of its
// members taken in linear light, and the report of the palette.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "quantize/color_table.h"

// Entry j at bytes 3j..3j+2: red, green, blue, gamma-encoded (note: not the
// blue-green-red order of the image's pixels).
using Palette = std::vector<uint8_t>;

// Averages the members of each of the `count` clusters of the table and
// prints one "pal[...]" line per entry to `report`.
Palette average_palette(const ColorTable& table, int32_t count, FILE* report);
