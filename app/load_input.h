#pragma once

#include <cstdio>

#include "image/dib24.h"
#include "image/load_error.h"
#include "image/row_watch.h"

// Opens `path` for binary reading, loads it into `image` and closes it again.
// False when the file cannot be opened or is not a picture this program reads
// (image/picture_file.h); then `why`, unless null, says why. `watch`, unless
// null, is told of the rows as load_picture says.
bool load_input(dib24& image, const char* path, LoadError* why = nullptr,
                RowWatch* watch = nullptr);

// The loading step of both programs: `image` gets a 1 x 1 store, then the
// picture read from `stream` when one is given (standard input), otherwise
// from the file `path`. When that fails and `say_to` is not null, the line
// say_cannot_load gives is printed there.
bool load_or_say(dib24& image, const char* path, FILE* stream, FILE* say_to,
                 LoadError* why = nullptr, RowWatch* watch = nullptr);

// "Cannot load input file : PATH", the line both programs print for a
// picture they cannot load.
void say_cannot_load(FILE* to, const char* path);
