// The colour quantizer: reduces an image in place to at most 255 colours
// with error-diffusion dithering.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/dib24.h"
#include "quantize/color_table.h"
#include "quantize/large_array.h"
#include "quantize/palette_average.h"
#include "quantize/remap_watch.h"

// Runs the four phases (colour table, palette construction, palette
// averaging, dithered remapping) and prints their report to standard output,
// flushed before it returns.
void process(dib24& image);
// The same, with the report written to `report`.
void process(dib24& image, FILE* report);
// One palette index a pixel, picture rows top first, `width` bytes a row, no
// padding: whole pages, touched only as the remapping writes each index (a
// buffer used again for another picture is not cleared first).
using IndexRows = std::vector<uint8_t, PageAllocator<uint8_t>>;

// The same, also handing back the palette (3 bytes per entry, red, green,
// blue) and the indices, written by the remapping as it writes each pixel.
// Either pointer may be null.
void process(dib24& image, FILE* report, Palette* palette, IndexRows* indices);
// The same on a chosen number of threads (tests; the others use
// quantizer_threads()).
void process(dib24& image, FILE* report, Palette* palette, IndexRows* indices, int32_t threads);

// What a reduction is asked for; the defaults give the bytes of the overloads
// above.
struct QuantizeOptions {
    int32_t colors = 255;  // at most this many palette entries, 2 to 255
    bool dither = true;    // false: no error is diffused, each pixel takes the
                           // entry chosen for its own colour
    int32_t threads = 0;   // 0: quantizer_threads()
};
// The colours are counted by `counted`, the RowWatch the picture was loaded
// with, where it is given (its table is the same). `remapped`, where it is
// given, is told when the remapping begins and of the rows it finishes.
void process(dib24& image, FILE* report, Palette* palette, IndexRows* indices,
             const QuantizeOptions& options, ColorCounting* counted = nullptr,
             RemapWatch* remapped = nullptr);
// The threads a reduction with `options` uses.
int32_t quantizer_threads(const QuantizeOptions& options);
