// Work that waits for the remapping's rows (a file being written), told of
// each row once the remapping will not change it again.
#pragma once

#include <cstdint>

#include "quantize/palette_average.h"

class RemapWatch {
  public:
    virtual ~RemapWatch() = default;
    // The palette is final and the remapping is about to begin; the indices
    // are in the buffer the reduction was given, sized for the picture.
    virtual void remapping(const Palette& palette) = 0;
    // Picture rows 0 to `count` - 1 (the top row first) and their indices
    // are final. Told from the remapping's threads, one call at a time, with
    // counts that only grow, the last time for all rows before the
    // remapping returns.
    virtual void rows_final(int32_t count) = 0;
};
