#include "image/stream_bytes.h"

bool read_stream(FILE* stream, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (stream == nullptr)
        return false;
    // Appended a block at a time: the buffer grows as bytes arrive, and the
    // room reserved ahead of them is never touched.
    uint8_t block[1 << 16];
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, stream);
        bytes.insert(bytes.end(), block, block + got);
        if (got < sizeof block)
            return !std::ferror(stream);
    }
}
