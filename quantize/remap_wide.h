// The remapping loop for processors with 512-bit vectors (AVX-512 F, BW,
// DQ and VL): the same choices and the same error sums as the portable loop,
// computed sixteen palette entries at a time.
#pragma once

#include "image/dib24.h"
#include "quantize/palette_average.h"

// True when the running processor has the vector units the loop needs.
bool wide_remap_supported();

// Rewrites every pixel of the image with a colour of `palette` (count 1..255).
// Call only when wide_remap_supported() is true.
void remap_pixels_wide(dib24& image, const Palette& palette);
