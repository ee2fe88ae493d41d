// The marker structure of JPEG files: segments, each led by a marker (FF and
// a code), most with a big-endian length that counts itself, and after each
// start of scan the entropy-coded data up to the next marker.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the file of `size` bytes is made of whole segments from its start
// of image to its end of image, with nothing between them but fill bytes (FF):
// false for a file cut short and for stray bytes before a marker, which the
// decoder would otherwise pass over with a warning.
bool jpeg_markers_sound(const uint8_t* file, size_t size);

// The Exif orientation (1-8) in the APP1 segment of the JPEG file of `size`
// bytes; 1, as taken, when there is none or it is out of range or unreadable.
int jpeg_orientation(const uint8_t* file, size_t size);
