// Writing a reduced picture where quantreduce was asked to.
#pragma once

#include <string>

#include "image/dib24.h"
#include "platform/file_system.h"
#include "quantize/process.h"

// Writes the reduced picture to `path`, or to standard output for "-": when
// `png`, a palette PNG of `palette` and `indices` (one palette entry a pixel,
// top row first), otherwise `image` as a 24-bit bitmap file. A file is only
// ever replaced whole (OutputFile).
FileError write_output(const std::string& path, bool png, const dib24& image,
                       const Palette& palette, const IndexRows& indices);
// Opens `file` for `path`, or for standard output for "-".
FileError open_output(OutputFile& file, const std::string& path);
