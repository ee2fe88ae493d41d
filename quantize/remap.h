// The remapping: every pixel replaced by a palette colour chosen in linear
// light, its error diffused to the right and into the next row (dithering) or
// not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/dib24.h"
#include "quantize/palette_average.h"
#include "quantize/palette_search.h"
#include "quantize/remap_watch.h"

// The palette in linear light (0..255 per channel) with its luma.
std::vector<LinearPaletteEntry> make_linear_palette(const Palette& palette);

// One version of the remapping: rewrites every pixel of the image with a
// colour of `palette` (at most 255 entries, as the palette construction
// makes) on `threads` threads (1 starts none), and stores each pixel's
// palette index in `indices` (`width` bytes a row, picture rows top first)
// unless it is null. With `dither` false no error is diffused: each pixel
// takes the entry chosen for its own colour. Reports nothing. Every version
// gives the same bytes at every thread count. `watch`, unless null, is told
// of the rows as they are finished.
using RemapPixels = void (*)(dib24& image, const Palette& palette, uint8_t* indices,
                             int32_t threads, bool dither, RemapWatch* watch);

// The selection routine of a version on its own, for tests: the entry that
// the scan chooses for each of `count` targets.
using SelectEntries = void (*)(const std::vector<LinearPaletteEntry>& linear,
                               const SelectionTargets* targets, size_t count, int32_t* chosen);

struct RemapVersion {
    const char* name;
    const char* needs;  // the processor's instruction sets it needs; "" for none
    bool supported;     // by the running processor
    RemapPixels run;
    SelectEntries select;
};

// Every version: "plain" first (the scan of every entry, in plain C++), the
// fastest last.
std::vector<RemapVersion> remap_versions();
// The fastest version the running processor supports.
RemapPixels fastest_remap();

// Rewrites every pixel of the image with a colour of `palette` using the
// fastest version on quantizer_threads() threads; prints "start" before the
// first row and the closing "cache hit" line with the elapsed milliseconds
// after the last, both from the calling thread.
void remap_image(dib24& image, const Palette& palette, FILE* report);
// The same with a chosen version, thread count and dithering, storing the
// indices and telling `watch` as RemapPixels does.
void remap_image(dib24& image, const Palette& palette, FILE* report, RemapPixels run,
                 int32_t threads, bool dither, uint8_t* indices, RemapWatch* watch = nullptr);
