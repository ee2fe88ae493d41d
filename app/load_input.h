#pragma once

#include "image/dib24.h"

// Opens `path` for binary reading, loads it into `image` and closes it again.
// False when the file cannot be opened or is not a bitmap, PNG or JPEG file
// this program reads.
bool load_input(dib24& image, const char* path);
