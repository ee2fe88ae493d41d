// Reading packed device-independent bitmaps: a BITMAPINFOHEADER, its colour
// table or colour masks, then the pixel rows. Shared by the imports from
// global blocks and the clipboard, and by bitmap files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib24.h"
#include "image/dib_layout.h"

// Loads the packed DIB of `size` bytes at `block` into `image`; every read
// stays inside the block. False, with the image unchanged, for a format the
// imports do not take, a header out of range, a block too short for its
// header, colour table, masks and rows, or a colour index beyond the table.
// False too when `create` could not make a store (the image is then empty).
bool load_packed_dib(dib24& image, const uint8_t* block, size_t size);

// Loads a header with its colour table and a separate block of rows, as
// dib24::load_dib does.
bool load_dib_parts(dib24& image, const uint8_t* info, const uint8_t* pixels);

// Fills the new store of `image` from source rows laid out as `rows` says
// (palette indices into `table`, 24-bit rows, 32-bit rows with `masks` or
// without), top-down rows put the right way up.
void fill_store(dib24& image, const dib_layout::Rows& rows, const uint8_t* table,
                const uint32_t* masks, const uint8_t* data);
