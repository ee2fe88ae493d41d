#pragma once

#include "image/dib24.h"
#include "image/load_error.h"

// Opens `path` for binary reading, loads it into `image` and closes it again.
// False when the file cannot be opened or is not a picture this program reads
// (image/picture_file.h); then `why`, unless null, says why.
bool load_input(dib24& image, const char* path, LoadError* why = nullptr);
