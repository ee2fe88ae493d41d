// A RowWatch for the loader tests: it notes each row it is told of (a sum
// of its bytes) and checks afterwards that those were the picture's final
// rows, all of them, of the store the image took over.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/row_watch.h"

struct CheckingWatch : RowWatch {
    int begun = 0;
    bool cancelled = false;
    const uint8_t* bits = nullptr;
    int32_t width = 0, height = 0, stride = 0;
    std::vector<uint64_t> sums;  // of each row told, top first

    uint64_t sum(const uint8_t* store, int32_t y) const {
        const uint8_t* row = store + int64_t{height - 1 - y} * stride;
        uint64_t s = 0;
        for (int32_t i = 0; i < 3 * width; ++i)
            s = s * 131 + row[i];
        return s;
    }
    void begin(const dib24& store) override {
        ++begun;
        bits = store.bits;
        width = store.width;
        height = store.height;
        stride = store.stride;
        sums.clear();
    }
    void rows_final(int32_t count) override {
        EXPECT_GT(count, static_cast<int32_t>(sums.size())) << "rows told again";
        for (int32_t y = static_cast<int32_t>(sums.size()); y < count && y < height; ++y)
            sums.push_back(sum(bits, y));
    }
    void cancel() override { cancelled = true; }

    // After a load: `loaded` says whether it succeeded.
    void expect_told_right(const dib24& image, bool loaded) const {
        EXPECT_LE(begun, 1);
        if (begun == 0)
            return;
        if (!loaded) {
            EXPECT_TRUE(cancelled);
            return;
        }
        EXPECT_FALSE(cancelled);
        ASSERT_EQ(bits, image.bits);
        ASSERT_EQ(static_cast<int32_t>(sums.size()), image.height);
        for (int32_t y = 0; y < image.height; ++y)
            ASSERT_EQ(sums[y], sum(image.bits, y)) << "row " << y << " changed after it was told";
    }
};
