// The chunk structure of PNG files: after the 8-byte signature, chunks of a
// big-endian length, a type, the data and a CRC of type and data, from IHDR
// to IEND.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the PNG file of `size` bytes (its signature already checked) is
// whole chunks, IHDR first, each CRC right, up to IEND: false for a file cut
// short or damaged anywhere, which some decoders read past.
bool png_chunks_sound(const uint8_t* file, size_t size);
