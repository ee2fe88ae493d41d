// The colour quantizer: reduces an image in place to at most 255 colours
// with error-diffusion dithering.
#pragma once

#include <cstdio>

#include "image/dib24.h"

// Runs the four phases (colour table, palette construction, palette
// averaging, dithered remapping) and prints their report to standard output,
// flushed before it returns.
void process(dib24& image);
// The same, with the report written to `report`.
void process(dib24& image, FILE* report);
