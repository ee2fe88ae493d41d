#include "image/webp_chunks.h"

#include <cstring>

#include "image/byte_reader.h"

bool webp_signature(const uint8_t* file, size_t size) {
    return size >= 12 && std::memcmp(file, "RIFF", 4) == 0 && std::memcmp(file + 8, "WEBP", 4) == 0;
}

bool webp_chunks_sound(const uint8_t* file, size_t size) {
    ByteReader r(file, size);
    uint32_t length;
    ByteReader body;
    if (!r.expect("RIFF") || !r.u32(length) || !r.part(length, body) || !body.expect("WEBP") ||
        body.left() == 0)
        return false;
    while (body.left() > 0) {
        uint32_t chunk;
        if (!body.skip(4) || !body.u32(chunk) || !body.skip(chunk))
            return false;
        // The padding byte of an odd chunk; writers leave out the last one.
        if (chunk % 2 != 0 && body.left() > 0)
            body.skip(1);
    }
    return true;
}
