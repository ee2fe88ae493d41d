#include "image/stream_bytes.h"

bool StreamBytes::take(FILE* stream) {
    read_.clear();
    stream_ = stream;
    if (stream == nullptr)
        return false;
    if (mapped_.map(stream))
        return true;
    uint8_t block[1 << 16];
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, stream);
        read_.insert(read_.end(), block, block + got);
        if (got < sizeof block)
            return !std::ferror(stream);
    }
}
