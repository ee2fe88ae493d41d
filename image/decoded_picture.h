// What the decoders of compressed picture files (picture_codec.h) fill.
#pragma once

#include <cstdint>

#include "image/colour_space.h"
#include "image/dib24.h"
#include "image/row_watch.h"

// Decoded pixels, in a store of their own (dib24: rows bottom-up, blue,
// green, red), and the colour space the file gives them. A decoder sets
// `colour`, calls `start` once it knows the picture's size, writes the rows
// top row first through `row` and tells `rows_done` as they are complete.
// The store takes memory only as rows are written, and replaces an image's
// only once the whole picture is decoded.
struct DecodedPicture {
    dib24 store;
    ColourSpace colour;
    // Told of the rows as they are complete where they are final as they are
    // decoded (see decode_picture), from `start` on; or null.
    RowWatch* watch = nullptr;

    // Makes the store for `width` x `height` pixels (a size that passed
    // size_refusal); false when it cannot be had (LoadError::too_large).
    bool start(int64_t width, int64_t height);
    int32_t width() const { return store.width; }
    int32_t height() const { return store.height; }
    // Picture row `y`, counted from the top.
    uint8_t* row(int64_t y) const {
        return store.bits + (store.height - 1 - y) * static_cast<int64_t>(store.stride);
    }
    // Rows 0 to `count` - 1 are written.
    void rows_done(int32_t count) {
        if (watch != nullptr)
            watch->rows_final(count);
    }
};
