// Work that waits for a picture's rows while it loads (the quantizer's
// colour count), told by the loader, on the loading thread, of each row once
// it is final.
#pragma once

#include <cstdint>

#include "image/dib24.h"

class RowWatch {
  public:
    virtual ~RowWatch() = default;
    // The rows of `store` will be told. Its pixels stay where they are when
    // an image takes the store over (dib24::swap).
    virtual void begin(const dib24& store) = 0;
    // Picture rows 0 to `count` - 1 (the top row first) are final: the
    // loader does not write them again.
    virtual void rows_final(int32_t count) = 0;
    // What was told is void: the load failed, or a store of other pixels
    // follows. Nothing is read from the store after this returns.
    virtual void cancel() = 0;
};
