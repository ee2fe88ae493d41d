// Picture files of every kind the programs read, and the palette PNG they write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/dib24.h"
#include "image/load_error.h"
#include "image/picture_codec.h"

enum class PictureKind { bitmap, png, jpeg, webp, tiff, heif, unknown };

// The kind of a file from its first bytes (the name says nothing).
PictureKind picture_kind(const uint8_t* head, size_t size);

// Decodes the PNG, JPEG, WebP, TIFF or HEIF file of `size` bytes (picture_codec.h)
// after checking its structure, converts its pixels to sRGB as its colour
// space asks (none, an sRGB one, or one that cannot be used: as they are)
// and turns a JPEG or TIFF picture upright as its orientation tag says.
// LoadError::not_a_picture for any other kind. Where neither is to be done,
// `watch`, unless null, is told of the rows as they are decoded; whoever
// gave it cancels it when the picture is not used.
LoadError decode_picture(const uint8_t* file, size_t size, DecodedPicture& picture,
                         RowWatch* watch = nullptr);

// Reads a picture file from `stream` to its end and loads it into `image`:
// bitmap files as dib24::load does, the others as decode_picture does, which
// tells `watch`, unless null, of rows that are final as they are decoded (it
// is cancelled when the picture does not load). False, with the image
// unchanged, for anything else and for every file that fails to decode; then
// `why`, unless null, says why.
bool load_picture(dib24& image, FILE* stream, LoadError* why = nullptr, RowWatch* watch = nullptr);

// Writes a palette PNG (see encode_palette_png) to `stream` as it is
// encoded. False when it cannot be encoded or the stream refuses the bytes.
bool save_palette_png(FILE* stream, int32_t width, int32_t height, const uint8_t* palette,
                      int colors, const uint8_t* indices);
