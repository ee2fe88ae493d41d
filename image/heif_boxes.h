// The box structure of HEIF files (HEIC, AVIF), as of every ISO base media
// file: boxes of a big-endian length (1: a 64-bit one follows the type; 0: to
// the end of the file), a four-letter type and the content, an ftyp box first.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the file of `size` bytes begins with an ftyp box that names a
// HEIF brand (HEIC, AVIF and their kin) as its major or a compatible brand.
bool heif_brand(const uint8_t* file, size_t size);

// True when the HEIF file of `size` bytes is whole boxes, each within the
// file (false for a file cut short), every picture in it but the primary one
// is one the store could hold, and each made of others (a grid of tiles, an
// overlay) is described with the size its ispe gives: decoders make a picture
// as large as these say before they know whether the file holds as much.
bool heif_boxes_sound(const uint8_t* file, size_t size);

// The orientation of the primary image (1-8, numbered as Exif's) that its
// rotation (irot) and mirroring (imir) properties give, applied in the order
// the file associates them; 1 when there are none or they cannot be read.
int heif_primary_orientation(const uint8_t* file, size_t size);
