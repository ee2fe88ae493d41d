// What is left of an open file, from its stream's position to its end, as
// bytes in memory without copying them: the file mapped read-only, where the
// system can map it (a regular file with bytes left). Pipes, terminals and
// the like cannot be mapped; their bytes must be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile() { unmap(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps the rest of `stream` (any earlier mapping is let go first). False,
    // with nothing mapped, where that cannot be done; the stream is then as
    // it was. The file must not be cut short while it is mapped.
    bool map(FILE* stream) {
        unmap();
        return stream != nullptr && map_rest(stream);
    }
    void unmap() {
        if (view_ != nullptr)
            release(view_, view_size_);
        view_ = nullptr;
        view_size_ = 0;
        data_ = nullptr;
        size_ = 0;
    }

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    // The system's part: mapping the rest of an open stream, and letting a
    // mapping go.
    bool map_rest(FILE* stream);
    static void release(void* view, size_t size);

    void* view_ = nullptr;  // the mapping, from a boundary the system accepts
    size_t view_size_ = 0;
    const uint8_t* data_ = nullptr;  // the stream's position within it
    size_t size_ = 0;
};
