// The bytes of a picture file, from an open stream to its end, in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/mapped_file.h"

class StreamBytes {
  public:
    // Takes what is left of `stream` (pipes work too): a file is mapped, so
    // that its bytes are not copied, and the stream stays where it stands;
    // what cannot be mapped is read to its end, into room that grows only as
    // bytes arrive. False on a read error.
    bool take(FILE* stream);

    const uint8_t* data() const {
        return mapped_.data() != nullptr ? mapped_.data() : read_.data();
    }
    size_t size() const { return mapped_.data() != nullptr ? mapped_.size() : read_.size(); }
    // The stream, still standing at the first byte, where the bytes are
    // mapped: a loader may read large parts through it straight to where
    // they go instead of copying them from the mapping. Null otherwise.
    FILE* unread_stream() const { return mapped_.data() != nullptr ? stream_ : nullptr; }

  private:
    MappedFile mapped_;
    std::vector<uint8_t> read_;
    FILE* stream_ = nullptr;
};
