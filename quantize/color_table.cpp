#include "quantize/color_table.h"

#include <memory>

#include "quantize/color_convert.h"

namespace {

// Slot of each converted colour: a flat index in two levels. The top level
// is indexed by Y and Cr and names a block of 256 slots (one per Cb); blocks
// are made only for the (Y, Cr) pairs that occur, so memory follows the
// colours of the picture, not the 2^24 possible keys.
class ColorIndex {
  public:
    ColorIndex() : top_(new int32_t[1 << 16]) {
        for (int i = 0; i < (1 << 16); ++i)
            top_[i] = -1;
    }
    // The slot of `key`, or a reference to -1 for the caller to fill.
    int32_t& find(int32_t key) {
        int32_t& block = top_[key >> 8];
        if (block < 0) {
            block = static_cast<int32_t>(blocks_.size() >> 8);
            blocks_.resize(blocks_.size() + 256, -1);
        }
        return blocks_[(static_cast<size_t>(block) << 8) | (key & 0xff)];
    }

  private:
    std::unique_ptr<int32_t[]> top_;
    std::vector<int32_t> blocks_;
};

// Recently converted pixel values and their slots: many pixels of a picture
// repeat a neighbour's exact value, and converting a colour costs a power
// function. Direct-mapped; a miss only costs the conversion.
class RecentColors {
  public:
    static constexpr int bits = 16;
    RecentColors() : tag_(new uint32_t[1 << bits]()), slot_(new int32_t[1 << bits]) {}
    static uint32_t position(uint32_t rgb) { return (rgb * 0x9E3779B1u) >> (32 - bits); }
    // Tags hold the value + 1, so a zero tag is an empty line.
    bool find(uint32_t rgb, uint32_t pos, int32_t& slot) const {
        if (tag_[pos] != rgb + 1)
            return false;
        slot = slot_[pos];
        return true;
    }
    void store(uint32_t rgb, uint32_t pos, int32_t slot) {
        tag_[pos] = rgb + 1;
        slot_[pos] = slot;
    }

  private:
    std::unique_ptr<uint32_t[]> tag_;
    std::unique_ptr<int32_t[]> slot_;
};

}  // namespace

void fill_color_table(const dib24& image, ColorTable& table) {
    table.clear();
    if (image.bits == nullptr || image.width <= 0 || image.height <= 0)
        return;
    const double* lin = linear_of_byte();
    ColorIndex index;
    RecentColors recent;
    for (int32_t r = 0; r < image.height; ++r) {
        const uint8_t* row = image.bits + static_cast<int64_t>(image.height - 1 - r) * image.stride;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* px = row + 3 * x;
            const uint32_t rgb = (uint32_t{px[2]} << 16) | (uint32_t{px[1]} << 8) | px[0];
            const uint32_t pos = RecentColors::position(rgb);
            int32_t slot;
            if (!recent.find(rgb, pos, slot)) {
                ColorTriple ycc;
                linear_to_ycc(lin[px[2]], lin[px[1]], lin[px[0]], ycc);
                int32_t& found = index.find(color_key(ycc.c[0], ycc.c[1], ycc.c[2]));
                if (found < 0) {
                    found = static_cast<int32_t>(table.size());
                    table.push_back(
                        {{static_cast<uint8_t>(ycc.c[0]), static_cast<uint8_t>(ycc.c[1]),
                          static_cast<uint8_t>(ycc.c[2])},
                         0,
                         0.0});
                }
                slot = found;
                recent.store(rgb, pos, slot);
            }
            table[slot].weight += 1.0;
        }
    }
}
