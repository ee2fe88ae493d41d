// The quantizer's table of distinct converted colours with their pixel counts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/dib24.h"
#include "image/row_watch.h"

struct ColorEntry {
    uint8_t channels[3];  // Y, Cr, Cb as rgb_to_ycc gives them
    int32_t cluster;      // -1: empty; 0 after filling; later the palette index
    double weight;        // number of pixels with this converted colour
};

// The filled slots only, in the order in which the scan first met their
// colours. A table for the worst case (one slot per pixel) would commit
// memory that most images never use, so it grows with the colours found.
using ColorTable = std::vector<ColorEntry>;

// Packs a converted colour; only the low 24 bits are set.
inline int32_t color_key(int32_t y, int32_t cr, int32_t cb) {
    return (y << 16) | (cr << 8) | cb;
}

// Converts every pixel, top row of the picture first, and gathers the
// distinct converted colours with their pixel counts, each in cluster 0.
void fill_color_table(const dib24& image, ColorTable& table);
// The same on up to `threads` threads (one band of rows each); the table is
// the same whatever the count.
void fill_color_table(const dib24& image, ColorTable& table, int32_t threads);

// The same table, counted while the picture loads: given to the loader as
// its RowWatch, it counts the rows it is told of on a thread of its own
// (with more than one thread), so that one core counts while the other
// decodes.
class ColorCounting final : public RowWatch {
  public:
    explicit ColorCounting(int32_t threads);
    ~ColorCounting() override;
    ColorCounting(const ColorCounting&) = delete;
    ColorCounting& operator=(const ColorCounting&) = delete;

    void begin(const dib24& store) override;
    void rows_final(int32_t count) override;
    void cancel() override;

    // The table of `image`, loaded, as fill_color_table(image, table,
    // threads) gives it: the rows not yet counted are shared out among the
    // threads, and a picture whose rows were not told (or not all of them) is
    // counted whole.
    void finish(const dib24& image, ColorTable& table);

  private:
    struct Counting;
    std::unique_ptr<Counting> counting_;
    int32_t threads_;
};
