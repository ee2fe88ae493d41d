#include "image/png_chunks.h"

#include <zlib.h>

#include <cstring>

#include "image/byte_reader.h"

bool png_chunks_sound(const uint8_t* file, size_t size) {
    ByteReader r(file, size, ByteOrder::big);
    if (!r.skip(8))  // the signature
        return false;
    for (bool first = true;; first = false) {
        const uint8_t* type;
        uint32_t length, crc;
        const uint8_t* data;
        if (!r.u32(length) || !r.take(4, type) || !r.take(length, data) || !r.u32(crc))
            return false;
        // The CRC covers the type and the data, which follow each other.
        if (crc32(crc32(0, type, 4), data, length) != crc)
            return false;
        if (first != (std::memcmp(type, "IHDR", 4) == 0))
            return false;
        if (std::memcmp(type, "IEND", 4) == 0)
            return true;
    }
}
