// Dithered remapping: every pixel replaced by a palette colour chosen in
// linear light, with its error diffused to the right and into the next row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/dib24.h"
#include "quantize/palette_average.h"
#include "quantize/palette_search.h"

// The palette in linear light (0..255 per channel) with its luma.
std::vector<LinearPaletteEntry> make_linear_palette(const Palette& palette);

// Rewrites every pixel of the image with a colour of `palette`; prints
// "start" before the first row and the closing "cache hit" line with the
// elapsed milliseconds after the last.
void remap_image(dib24& image, const Palette& palette, FILE* report);
// The same with a chosen selection routine (for tests and benchmarks).
void remap_image(dib24& image, const Palette& palette, FILE* report, SelectEntry select);
