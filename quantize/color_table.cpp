#include "quantize/color_table.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "quantize/color_convert.h"

namespace {

// Slot of each converted colour: open addressing with linear probing over
// a power-of-two array that doubles when half full, so its size follows the
// number of distinct colours rather than the 2^24 possible keys. A key and
// its slot share one element, so a probe touches one cache line.
class ColorIndex {
  public:
    ColorIndex() : cells_(1024, Cell{empty, 0}) {}
    // The slot of `key`, or -1 after reserving a place that the caller
    // must fill with set_last().
    int32_t find_or_reserve(int32_t key) {
        size_t i = position(key);
        while (cells_[i].key != empty) {
            if (cells_[i].key == key)
                return cells_[i].slot;
            i = (i + 1) & (cells_.size() - 1);
        }
        cells_[i].key = key;
        last_ = i;
        return -1;
    }
    void set_last(int32_t slot) {
        cells_[last_].slot = slot;
        if (++used_ * 2 > cells_.size())
            grow();
    }

  private:
    static constexpr int32_t empty = -1;  // keys have only 24 bits
    struct Cell {
        int32_t key, slot;
    };
    size_t position(int32_t key) const {
        return (static_cast<uint32_t>(key) * 0x9E3779B1u) >> (32 - bits_);
    }
    void grow() {
        std::vector<Cell> cells(2 * cells_.size(), Cell{empty, 0});
        cells.swap(cells_);
        ++bits_;
        for (const Cell& cell : cells) {
            if (cell.key == empty)
                continue;
            size_t i = position(cell.key);
            while (cells_[i].key != empty)
                i = (i + 1) & (cells_.size() - 1);
            cells_[i] = cell;
        }
    }
    std::vector<Cell> cells_;
    size_t used_ = 0, last_ = 0;
    int bits_ = 10;
};

// Recently converted pixel values and their slots: many pixels of a picture
// repeat a neighbour's exact value, and converting a colour costs a power
// function. Direct-mapped; a miss only costs the conversion. A line holds the
// value + 1 (so zero is an empty line) and the slot.
class RecentColors {
  public:
    static constexpr int bits = 16;
    RecentColors() : lines_(new uint64_t[1 << bits]()) {}
    static uint32_t position(uint32_t rgb) { return (rgb * 0x9E3779B1u) >> (32 - bits); }
    bool find(uint32_t rgb, uint32_t pos, int32_t& slot) const {
        const uint64_t line = lines_[pos];
        if (static_cast<uint32_t>(line) != rgb + 1)
            return false;
        slot = static_cast<int32_t>(line >> 32);
        return true;
    }
    void store(uint32_t rgb, uint32_t pos, int32_t slot) {
        lines_[pos] = (uint64_t{static_cast<uint32_t>(slot)} << 32) | (rgb + 1);
    }

  private:
    std::unique_ptr<uint64_t[]> lines_;
};

// The distinct colours of a band of picture rows, in the order in which its
// scan first meets them, with their pixel counts.
struct BandColors {
    ColorTable table;
    std::vector<int32_t> keys;
    std::vector<uint32_t> counts;
};

void scan_band(const dib24& image, int32_t first_row, int32_t end_row, BandColors& band) {
    const double* lin = linear_of_byte();
    ColorIndex index;
    RecentColors recent;
    for (int32_t r = first_row; r < end_row; ++r) {
        const uint8_t* row = image.bits + static_cast<int64_t>(image.height - 1 - r) * image.stride;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* px = row + 3 * x;
            const uint32_t rgb = (uint32_t{px[2]} << 16) | (uint32_t{px[1]} << 8) | px[0];
            const uint32_t pos = RecentColors::position(rgb);
            int32_t slot;
            if (!recent.find(rgb, pos, slot)) {
                ColorTriple ycc;
                linear_to_ycc(lin[px[2]], lin[px[1]], lin[px[0]], ycc);
                const int32_t key = color_key(ycc.c[0], ycc.c[1], ycc.c[2]);
                int32_t found = index.find_or_reserve(key);
                if (found < 0) {
                    found = static_cast<int32_t>(band.table.size());
                    index.set_last(found);
                    band.counts.push_back(0);
                    band.keys.push_back(key);
                    band.table.push_back(
                        {{static_cast<uint8_t>(ycc.c[0]), static_cast<uint8_t>(ycc.c[1]),
                          static_cast<uint8_t>(ycc.c[2])},
                         0,
                         0.0});
                }
                slot = found;
                recent.store(rgb, pos, slot);
            }
            ++band.counts[slot];
        }
    }
}

}  // namespace

void fill_color_table(const dib24& image, ColorTable& table) {
    fill_color_table(image, table, 1);
}

// Each thread gathers the colours of one band of rows; the bands are then
// merged in picture order, so every colour keeps the slot of its first
// occurrence in a single scan, and the counts add up as integers.
void fill_color_table(const dib24& image, ColorTable& table, int32_t threads) {
    table.clear();
    if (image.bits == nullptr || image.width <= 0 || image.height <= 0)
        return;
    const int32_t bands = std::clamp(threads, 1, image.height);
    std::vector<BandColors> band(bands);
    const auto band_start = [&](int32_t k) {
        return static_cast<int32_t>(static_cast<int64_t>(image.height) * k / bands);
    };
    {
        std::vector<std::thread> helpers;
        int32_t started = 1;
        try {
            for (; started < bands; ++started) {
                helpers.emplace_back(scan_band, std::cref(image), band_start(started),
                                     band_start(started + 1), std::ref(band[started]));
            }
        } catch (const std::system_error&) {
        }
        scan_band(image, 0, band_start(1), band[0]);
        for (std::thread& helper : helpers)
            helper.join();
        // Bands whose thread the system refused are scanned here.
        for (int32_t k = started; k < bands; ++k)
            scan_band(image, band_start(k), band_start(k + 1), band[k]);
    }

    // Pixel counts are kept as integers, four bytes a colour, so that the
    // counting touches less memory than the table itself; every count is
    // exact as a double (an image has fewer than 2^31 pixels).
    std::vector<uint32_t> counts = std::move(band[0].counts);
    table = std::move(band[0].table);
    if (bands > 1) {
        ColorIndex index;
        for (size_t i = 0; i < table.size(); ++i) {
            index.find_or_reserve(band[0].keys[i]);
            index.set_last(static_cast<int32_t>(i));
        }
        for (int32_t k = 1; k < bands; ++k) {
            const BandColors& b = band[k];
            for (size_t i = 0; i < b.table.size(); ++i) {
                int32_t slot = index.find_or_reserve(b.keys[i]);
                if (slot < 0) {
                    slot = static_cast<int32_t>(table.size());
                    index.set_last(slot);
                    table.push_back(b.table[i]);
                    counts.push_back(0);
                }
                counts[slot] += b.counts[i];
            }
            band[k] = BandColors{};
        }
    }
    for (size_t i = 0; i < table.size(); ++i)
        table[i].weight = counts[i];
}
