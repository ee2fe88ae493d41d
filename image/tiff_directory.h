// TIFF structures, in TIFF files and in the Exif block of JPEG files: a
// header ("II" little-endian or "MM" big-endian, 42, the offset of the first
// directory), then directories of 12-byte entries (tag, type, count, and the
// value or the offset of the values); offsets count from the header.
#pragma once

#include <cstddef>
#include <cstdint>

// The orientation (tag 274, 1-8) in the first directory of the TIFF structure
// of `size` bytes; 1, as taken, when there is none or it is out of range or
// unreadable.
int tiff_orientation(const uint8_t* data, size_t size);

// True when the TIFF file of `size` bytes has a first directory that lies
// within it, and every strip or tile that directory lists (their offsets and
// byte counts, of the same number, none empty) lies within it too: false for
// a file cut short, which some decoders would fill with a made-up remainder.
bool tiff_sound(const uint8_t* data, size_t size);
