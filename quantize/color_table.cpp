#include "quantize/color_table.h"

#include <memory>

#include "quantize/color_convert.h"

namespace {

// Slot of each converted colour: open addressing with linear probing over
// a power-of-two array that doubles when half full, so its size follows the
// number of distinct colours rather than the 2^24 possible keys.
class ColorIndex {
  public:
    ColorIndex() : keys_(1024, empty), slots_(1024, 0) {}
    // The slot of `key`, or -1 after reserving a place that the caller
    // must fill with set_last().
    int32_t find_or_reserve(int32_t key) {
        size_t i = position(key);
        while (keys_[i] != empty) {
            if (keys_[i] == key)
                return slots_[i];
            i = (i + 1) & (keys_.size() - 1);
        }
        keys_[i] = key;
        last_ = i;
        return -1;
    }
    void set_last(int32_t slot) {
        slots_[last_] = slot;
        if (++used_ * 2 > keys_.size())
            grow();
    }

  private:
    static constexpr int32_t empty = -1;  // keys have only 24 bits
    size_t position(int32_t key) const {
        return (static_cast<uint32_t>(key) * 0x9E3779B1u) >> (32 - bits_);
    }
    void grow() {
        std::vector<int32_t> keys(2 * keys_.size(), empty), slots(2 * keys_.size(), 0);
        keys.swap(keys_);
        slots.swap(slots_);
        ++bits_;
        for (size_t j = 0; j < keys.size(); ++j) {
            if (keys[j] == empty)
                continue;
            size_t i = position(keys[j]);
            while (keys_[i] != empty)
                i = (i + 1) & (keys_.size() - 1);
            keys_[i] = keys[j];
            slots_[i] = slots[j];
        }
    }
    std::vector<int32_t> keys_, slots_;
    size_t used_ = 0, last_ = 0;
    int bits_ = 10;
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
                int32_t found = index.find_or_reserve(color_key(ycc.c[0], ycc.c[1], ycc.c[2]));
                if (found < 0) {
                    found = static_cast<int32_t>(table.size());
                    index.set_last(found);
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
