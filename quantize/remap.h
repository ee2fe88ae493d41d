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

// The pixel loop of the remapping: rewrites every pixel of the image with a
// colour of `palette`, reporting nothing. Every version gives the same bytes.
using RemapPixels = void (*)(dib24& image, const Palette& palette);

struct RemapVersion {
    const char* name;
    RemapPixels run;
};

// The plain loop with the fastest selection routine the processor supports.
void remap_pixels(dib24& image, const Palette& palette);
// The plain loop with a chosen selection routine.
void remap_pixels(dib24& image, const Palette& palette, SelectEntry select);
// Every version the running processor supports, the plain C++ one first and
// the fastest last (for tests and benchmarks).
std::vector<RemapVersion> remap_versions();

// Rewrites every pixel of the image with a colour of `palette` using the
// fastest version; prints "start" before the first row and the closing
// "cache hit" line with the elapsed milliseconds after the last.
void remap_image(dib24& image, const Palette& palette, FILE* report);
// The same with a chosen version.
void remap_image(dib24& image, const Palette& palette, FILE* report, RemapPixels run);
