// The RIFF structure of WebP files: "RIFF", the little-endian length of what
// follows, "WEBP", then chunks of a four-letter type, a little-endian length
// and the data, padded to an even length.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the file of `size` bytes begins as a WebP file does.
bool webp_signature(const uint8_t* file, size_t size);

// True when the WebP file of `size` bytes holds all that its RIFF header
// announces, as whole chunks: false for a file cut short.
bool webp_chunks_sound(const uint8_t* file, size_t size);
