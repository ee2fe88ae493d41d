#include "image/stream_bytes.h"

namespace {

// The bytes left in `stream` where it is a file that can tell its length,
// else 0. Larger than any picture the loaders take: not worth reserving.
size_t bytes_left(FILE* stream) {
    const long here = std::ftell(stream);
    if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(stream);
    if (std::fseek(stream, here, SEEK_SET) != 0) {
        std::clearerr(stream);
        return 0;
    }
    constexpr long most = long{1} << 30;
    return end > here && end - here <= most ? static_cast<size_t>(end - here) : 0;
}

}  // namespace

bool read_stream(FILE* stream, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (stream == nullptr)
        return false;
    // A file's bytes go into room reserved for them once, not into a buffer
    // that doubles and copies as it grows (a third of the time of reading a
    // large bitmap). A pipe's bytes, or what a file gains while it is read,
    // are appended a block at a time: the buffer grows only as bytes arrive,
    // and the room reserved ahead of them is never touched.
    bytes.reserve(bytes_left(stream));
    uint8_t block[1 << 16];
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, stream);
        bytes.insert(bytes.end(), block, block + got);
        if (got < sizeof block)
            return !std::ferror(stream);
    }
}
