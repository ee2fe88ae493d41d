// Writing a reduced picture where quantreduce was asked to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "image/picture_codec.h"
#include "platform/file_system.h"
#include "quantize/palette_average.h"
#include "quantize/process.h"

// Writes the reduced picture to `path`, or to standard output for "-": when
// `png`, a palette PNG of `palette` and `indices` (one palette entry a pixel,
// top row first), otherwise `image` as a 24-bit bitmap file. A file is only
// ever replaced whole (replace_file). The PNG's rows are taken as `ready`
// tells they are final, where it is given (see encode_palette_png).
FileError write_output(const std::string& path, bool png, const dib24& image,
                       const Palette& palette, const IndexRows& indices,
                       const RowsReady& ready = nullptr);
