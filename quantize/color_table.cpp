#include "quantize/color_table.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <type_traits>

#include "quantize/color_convert.h"
#include "quantize/large_array.h"
#include "quantize/worker_threads.h"

// The table is gathered in two passes over the picture. The first marks the
// pixel values that occur in a set of all 2^24 values, one bit each; each
// value is then converted once, and its key marked in a set of all 2^24
// keys. The number of marked keys below a key is its dense number, 0 to
// D - 1. The second pass counts the pixels of each dense number and notes
// the order in which the numbers first occur. Compared with a map from keys
// to slots, the sets and the counts are small and each lookup touches fixed
// places, so the table scales with the number of colours.

namespace {

constexpr uint32_t key_count = 1u << 24;  // also the number of pixel values

// The number of set bits of a word. The processor's own instruction where
// it has one (every x86-64 processor of the last fifteen years), else the
// library's.
const bool popcnt_instruction =
#if defined(__GNUC__) && defined(__x86_64__)
    __builtin_cpu_supports("popcnt");
#else
    false;
#endif

inline uint32_t ones(uint64_t word) {
#if defined(__GNUC__) && defined(__x86_64__)
    if (popcnt_instruction) {
        uint64_t n;
        asm("popcnt %1, %0" : "=r"(n) : "r"(word) : "cc");
        return static_cast<uint32_t>(n);
    }
#endif
    return static_cast<uint32_t>(std::popcount(word));
}

// Starts bringing the cache line at p into the cache, where the compiler
// offers that.
inline void fetch_soon(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// A set of keys (or of pixel values), 64 a word, and once counted, for
// every word the number of keys in the words before it, so that a key's
// number takes one word and one count.
struct KeySet {
    LargeArray<uint64_t> words{key_count / 64};
    LargeArray<uint32_t> before;

    void mark(int32_t key) { words[key >> 6] |= uint64_t{1} << (key & 63); }
    void add(const KeySet& other) {
        for (uint32_t w = 0; w < key_count / 64; ++w)
            words[w] |= other.words[w];
    }
    void clear() { std::fill_n(words.data(), key_count / 64, 0); }
    // Counts the keys; afterwards number() may be asked.
    uint32_t count() {
        before = LargeArray<uint32_t>(key_count / 64);
        uint32_t total = 0;
        for (uint32_t w = 0; w < key_count / 64; ++w) {
            before[w] = total;
            total += ones(words[w]);
        }
        return total;
    }
    // Starts fetching what number(key) reads.
    void prefetch(int32_t key) const {
        fetch_soon(&words[key >> 6]);
        fetch_soon(&before[key >> 6]);
    }
    // The dense number of a marked key: the marked keys below it.
    uint32_t number(int32_t key) const {
        const uint64_t below = (uint64_t{1} << (key & 63)) - 1;
        return before[key >> 6] + ones(words[key >> 6] & below);
    }
};

// The lines of the second pass's direct-mapped cache of recent pixel
// values: many pixels of a picture repeat a recent pixel's exact value, and
// a miss only costs a conversion and a lookup.
constexpr int cache_bits = 16;

inline uint32_t cache_line_of(uint32_t rgb) {
    return (rgb * 0x9E3779B1u) >> (32 - cache_bits);
}

inline uint32_t rgb_at(const uint8_t* px) {
    return (uint32_t{px[2]} << 16) | (uint32_t{px[1]} << 8) | px[0];
}

inline const uint8_t* picture_row(const dib24& image, int32_t r) {
    return image.bits + static_cast<int64_t>(image.height - 1 - r) * image.stride;
}

// The first pass over a band of picture rows [first, end): its pixel values.
void mark_band(const dib24& image, int32_t first, int32_t end, KeySet& values) {
    for (int32_t r = first; r < end; ++r) {
        const uint8_t* row = picture_row(image, r);
        for (int32_t x = 0; x < image.width; ++x)
            values.mark(static_cast<int32_t>(rgb_at(row + 3 * x)));
    }
}

// The keys of the pixel values in words [first, end) of `values`.
void convert_values(const KeySet& values, uint32_t first, uint32_t end, KeySet& keys) {
    const YccSteps& steps = ycc_steps();
    for (uint32_t w = first; w < end; ++w) {
        for (uint64_t bits = values.words[w]; bits != 0; bits &= bits - 1) {
            const uint32_t rgb = 64 * w + static_cast<uint32_t>(std::countr_zero(bits));
            keys.mark(ycc_key_of(steps, rgb >> 16, (rgb >> 8) & 0xff, rgb & 0xff));
        }
    }
}

// The second pass over a band: the pixel count of every dense number, and
// the numbers (with their keys) in the order in which the band first meets
// them.
struct BandCounts {
    LargeArray<uint32_t> counts;
    LargeArray<uint32_t> order;  // room for every number
    LargeArray<int32_t> keys;
    uint32_t met = 0;  // numbers met so far
};

void count_band(const dib24& image, int32_t first, int32_t end, const KeySet& set, uint32_t colours,
                BandCounts& band) {
    // A cache line holds a value + 1 (25 bits; 0 is an empty line), its
    // dense number (24 bits: fewer than 255 * 2^16 keys exist) and the pixels
    // of that value counted since it came in (15 bits), which go to the
    // counts when the line is replaced or full and at the end. So a repeated
    // value touches only its line.
    constexpr int number_shift = 25, count_shift = 49;
    constexpr uint64_t value_mask = (uint64_t{1} << number_shift) - 1;
    constexpr uint64_t full = (uint64_t{1} << (64 - count_shift)) - 1;
    const auto flush = [&](uint64_t line) {
        band.counts[(line >> number_shift) & 0xffffff] +=
            static_cast<uint32_t>(line >> count_shift);
    };
    band.counts = LargeArray<uint32_t>(colours);
    band.order = LargeArray<uint32_t>(colours);
    band.keys = LargeArray<int32_t>(colours);
    std::vector<uint64_t> met((colours + 63) / 64, 0);  // numbers met in this band
    const YccSteps& steps = ycc_steps();
    LargeArray<uint64_t> lines(1 << cache_bits);
    // A pixel `ahead` places further on whose value its line does not hold
    // yet has its key converted early and the words of its number, and the
    // count of the value it will replace, fetched into the cache, so that the
    // memory reads of many pixels overlap. ahead_key[x % ahead] holds that
    // key + 1, or 0 when none was converted.
    constexpr int32_t ahead = 16;
    int32_t ahead_key[ahead] = {};
    const auto look_ahead = [&](const uint8_t* px, int32_t slot) {
        const uint32_t rgb = rgb_at(px);
        const uint64_t line = lines[cache_line_of(rgb)];
        if ((line & value_mask) == rgb + 1) {
            ahead_key[slot] = 0;
            return;
        }
        const int32_t key = ycc_key_of(steps, px[2], px[1], px[0]);
        ahead_key[slot] = key + 1;
        set.prefetch(key);
        if (line != 0)
            fetch_soon(&band.counts[(line >> number_shift) & 0xffffff]);
    };
    // Converting early costs a second look at each pixel's line and wasted
    // conversions where a nearer pixel brings the value in first; it only
    // pays where the counts and the set's words no longer stay in the
    // processor's caches, with more than 2^20 colours (4 MiB of counts).
    const auto count_row = [&](const uint8_t* row, auto looks_ahead) {
        const int32_t width = image.width;
        if (looks_ahead) {
            for (int32_t x = 0; x < std::min(ahead, width); ++x)
                look_ahead(row + 3 * x, x);
        }
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* px = row + 3 * x;
            const uint32_t rgb = rgb_at(px);
            int32_t early = 0;
            if (looks_ahead) {
                early = ahead_key[x % ahead];
                if (x + ahead < width)
                    look_ahead(row + 3 * (x + ahead), x % ahead);
            }
            uint64_t& line = lines[cache_line_of(rgb)];
            if ((line & value_mask) == rgb + 1) {
                line += uint64_t{1} << count_shift;
                if ((line >> count_shift) == full) {
                    flush(line);
                    line &= ~(full << count_shift);
                }
                continue;
            }
            if (line != 0)
                flush(line);
            const int32_t key = early != 0 ? early - 1 : ycc_key_of(steps, px[2], px[1], px[0]);
            const uint32_t number = set.number(key);
            if ((met[number >> 6] & (uint64_t{1} << (number & 63))) == 0) {
                met[number >> 6] |= uint64_t{1} << (number & 63);
                band.order[band.met] = number;
                band.keys[band.met++] = key;
            }
            line = (rgb + 1) | (uint64_t{number} << number_shift) | (uint64_t{1} << count_shift);
        }
    };
    for (int32_t r = first; r < end; ++r) {
        if (colours > (1u << 20))
            count_row(picture_row(image, r), std::true_type{});
        else
            count_row(picture_row(image, r), std::false_type{});
    }
    for (uint32_t i = 0; i < (1u << cache_bits); ++i) {
        if (lines[i] != 0)
            flush(lines[i]);
    }
}

// The first picture row of band k of `bands`.
int32_t band_start(const dib24& image, int32_t bands, int32_t k) {
    return static_cast<int32_t>(static_cast<int64_t>(image.height) * k / bands);
}

// Fills a set in parts, each on a thread of its own and in a set of
// `sets` (one per thread, empty), and gathers them in sets[0]; returns how
// many parts there were.
template <class Fill>
int32_t fill_in_parts(std::vector<KeySet>& sets, const Fill& fill) {
    int32_t parts = 1;
    run_on_threads(static_cast<int32_t>(sets.size()), [&](int32_t k, int32_t n) {
        if (k == 0)
            parts = n;
        fill(k, n, sets[k]);
    });
    for (int32_t k = 1; k < parts; ++k)
        sets[0].add(sets[k]);
    return parts;
}

// The keys of the picture's colours, gathered in bands of rows and then in
// ranges of pixel values on up to `threads` threads. The parts of the first
// pass, cleared, take those of the second.
KeySet picture_keys(const dib24& image, int32_t threads) {
    std::vector<KeySet> sets(threads);
    const int32_t parts = fill_in_parts(sets, [&](int32_t k, int32_t n, KeySet& set) {
        mark_band(image, band_start(image, n, k), band_start(image, n, k + 1), set);
    });
    const KeySet values = std::move(sets[0]);
    sets[0] = KeySet();
    for (int32_t k = 1; k < parts; ++k)
        sets[k].clear();
    fill_in_parts(sets, [&](int32_t k, int32_t n, KeySet& set) {
        const auto word = [&](int32_t part) {
            return static_cast<uint32_t>(uint64_t{key_count / 64} * part / n);
        };
        convert_values(values, word(k), word(k + 1), set);
    });
    return std::move(sets[0]);
}

}  // namespace

void fill_color_table(const dib24& image, ColorTable& table) {
    fill_color_table(image, table, 1);
}

// Each thread scans one band of rows in both passes (and converts one range
// of pixel values between them), as many bands as threads started. The
// bands' orders of first occurrence are merged in picture order, so every
// colour keeps the slot of its first occurrence in a single scan, and the
// counts add up as integers.
void fill_color_table(const dib24& image, ColorTable& table, int32_t threads) {
    table.clear();
    if (image.bits == nullptr || image.width <= 0 || image.height <= 0)
        return;
    const int32_t most = std::clamp(threads, 1, image.height);

    KeySet keys = picture_keys(image, most);
    const uint32_t colours = keys.count();

    std::vector<BandCounts> band(most);
    int32_t bands = 1;
    run_on_threads(most, [&](int32_t k, int32_t n) {
        if (k == 0)
            bands = n;
        count_band(image, band_start(image, n, k), band_start(image, n, k + 1), keys, colours,
                   band[k]);
    });

    LargeArray<uint32_t>& counts = band[0].counts;
    LargeArray<uint32_t> number_of_slot(colours);
    std::vector<uint8_t> placed(bands > 1 ? colours : 0, 0);
    table.reserve(colours);
    for (int32_t k = 0; k < bands; ++k) {
        BandCounts& b = band[k];
        for (uint32_t i = 0; i < b.met; ++i) {
            const uint32_t number = b.order[i];
            if (bands > 1) {
                if (placed[number])
                    continue;
                placed[number] = 1;
            }
            const int32_t key = b.keys[i];
            table.push_back({{static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8),
                              static_cast<uint8_t>(key)},
                             0,
                             0.0});
            number_of_slot[table.size() - 1] = number;
        }
        if (k > 0) {
            for (uint32_t n = 0; n < colours; ++n)
                counts[n] += b.counts[n];
            b = BandCounts{};
        }
    }
    for (size_t slot = 0; slot < table.size(); ++slot)
        table[slot].weight = counts[number_of_slot[slot]];
}
