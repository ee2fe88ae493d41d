#include "image/stream_bytes.h"

#include <algorithm>

bool read_stream(FILE* stream, std::vector<uint8_t>& bytes) {
    // Each step at most doubles what has arrived, so a file costs about its
    // own length.
    constexpr size_t min_step = size_t{1} << 16;
    bytes.clear();
    if (stream == nullptr)
        return false;
    for (;;) {
        const size_t have = bytes.size();
        const size_t want = std::max(min_step, have);
        bytes.resize(have + want);
        const size_t got = std::fread(bytes.data() + have, 1, want, stream);
        bytes.resize(have + got);
        if (got < want)
            return !std::ferror(stream);
    }
}
