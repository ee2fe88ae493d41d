// Writing a reduced picture where quantreduce was asked to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "platform/file_system.h"
#include "quantize/palette_average.h"
#include "quantize/process.h"

// Writes the reduced picture to `path`, or to standard output for "-": when
// `png`, a palette PNG of `palette` and `indices` (one palette entry a pixel,
// top row first), otherwise `image` as a 24-bit bitmap file. A file is only
// ever replaced whole (replace_file).
FileError write_output(const std::string& path, bool png, const dib24& image,
                       const Palette& palette, const IndexRows& indices);
// Writes `path`, or standard output for "-", through `write` as write_output
// does.
FileError write_output_with(const std::string& path, const std::function<bool(FILE*)>& write);
