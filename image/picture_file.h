// Picture files of every kind the programs read, and the palette PNG they write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/dib24.h"
#include "image/load_error.h"

enum class PictureKind { bitmap, png, jpeg, unknown };

// The kind of a file from its first bytes (the name says nothing).
PictureKind picture_kind(const uint8_t* head, size_t size);

// Reads a bitmap, PNG or JPEG file from `stream` to its end and loads it into
// `image`: bitmap files as dib24::load does, PNG and JPEG as decode_png and
// decode_jpeg do (picture_codec.h), a JPEG turned upright by its Exif
// orientation. False, with the image unchanged, for anything else and for
// every file that fails to decode; then `why`, unless null, says why.
bool load_picture(dib24& image, FILE* stream, LoadError* why = nullptr);

// Writes a palette PNG (see encode_palette_png) to `stream`. False when
// it cannot be encoded or the stream refuses the bytes.
bool save_palette_png(FILE* stream, int32_t width, int32_t height, const uint8_t* palette,
                      int colors, const uint8_t* indices);
