// The selection of the remapping: for a pixel's plain colour and its colour
// adjusted by the diffused error, the palette entry that a sequential scan of
// the whole palette accepts last. The fast versions skip entries that provably
// cannot be accepted; the bound on those entries is written here once, for
// all of them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "quantize/working_values.h"

// The bound below is computed for every pixel, inside the selections of
// every version: always inlined, so that each version's copy is built for
// its instruction set, and its short loops written out.
#if defined(__GNUC__)
#define QV_BOUND_INLINE __attribute__((always_inline)) inline
#define QV_BOUND_UNROLLED _Pragma("GCC unroll 4")
#else
#define QV_BOUND_INLINE inline
#define QV_BOUND_UNROLLED
#endif

// One palette entry in linear light, 0..255 per channel.
struct LinearPaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t luma;
};

// A set of palette indices, one bit per entry.
struct EntrySet {
    uint64_t word[4];
};

// The palette prepared for the search. Each entry's working values (byte *
// 256) are stored multiplied by the channel's distance weight. For every
// channel c and byte value k, below[c][k] is the set of entries whose byte in
// channel c is less than k, so the entries inside any box of byte ranges are
// found with a few set operations.
struct SearchPalette {
    int32_t count = 0;
    std::vector<int32_t> weighted;   // 4 per entry
    std::vector<uint8_t> bytes;      // 4 per entry
    std::vector<EntrySet> below[4];  // 257 per channel
    EntrySet all;                    // every entry of the palette
};

// At most 256 entries (a palette has at most 255).
SearchPalette make_search_palette(const std::vector<LinearPaletteEntry>& linear);

// What a pixel's selection compares the palette with: the plain working
// values of its colour and those adjusted by the diffused error, each also
// multiplied by distance_weight.
struct SelectionTargets {
    Lanes adjusted, plain;
    Lanes weighted_adjusted, weighted_plain;
};

QV_BOUND_INLINE SelectionTargets selection_targets(const Lanes& adjusted, const Lanes& plain) {
    return {adjusted, plain, adjusted * weight_lanes, plain * weight_lanes};
}

// Each routine returns the index of the chosen entry.
// The full scan, one entry after the other.
int32_t select_entry_scan(const SearchPalette& palette, const SelectionTargets& t);
// Only the entries that can still be accepted, found through the byte-range
// sets, in plain C++.
int32_t select_entry_boxed(const SearchPalette& palette, const SelectionTargets& t);

// The bound on the entries that can still be accepted. The scan's sum
// a + b never grows, so an entry j can only be accepted while
// a_j + b_j <= a + b. The weighted maximum distance is a norm: with x the
// larger and y the smaller of an entry's distances to the two targets, which
// lie `apart` from each other, y >= |x - apart| (apart <= x + y and
// x - y <= apart). So x^2 + (x - apart)^2 <= a + b, that is
// x <= (apart + sqrt(2 (a + b) - apart^2)) / 2, and no entry qualifies where
// 2 (a + b) < apart^2. The square root is correctly rounded and every value
// exact in doubles (below 2^53), so adding 1 covers the roundings. Entries
// farther than this reach from either target are never accepted.
QV_BOUND_INLINE int32_t reach_of(int64_t sum, int32_t apart) {
    const double d = apart;
    const double room = std::max(2.0 * static_cast<double>(sum) - d * d, 0.0);
    return static_cast<int32_t>((d + std::sqrt(room)) * 0.5) + 1;
}

// The distance between the two targets.
QV_BOUND_INLINE int32_t apart_of(const SelectionTargets& t) {
    int32_t d = 0;
    for (int c = 0; c < 4; ++c)
        d = std::max(d, std::abs(t.weighted_adjusted[c] - t.weighted_plain[c]));
    return d;
}

// The entries whose distances to both targets are at most `reach`: for each
// of red, green and blue the byte range |256 byte - q| <= reach / weight
// around both targets q, taken from the sets of entries below each byte
// value. Luma is left out: for palette entries it follows from the other
// three channels, and leaving a channel out only lets more entries through to
// the exact test. The reach per channel is formed in single precision and one
// more is allowed for its rounding, so the box may only grow. (The ranges are
// formed for all four lanes and the set operations word by word, so that the
// compiler can do either with a few vector instructions.)
QV_BOUND_INLINE EntrySet entries_within(const EntrySet* const below[3], const SelectionTargets& t,
                                        int32_t reach) {
    constexpr float inverse_weight[4] = {1.0f / distance_weight[0], 1.0f / distance_weight[1],
                                         1.0f / distance_weight[2], 1.0f / distance_weight[3]};
    Lanes low, end;
    for (int c = 0; c < 4; ++c) {
        const int32_t r = static_cast<int32_t>(static_cast<float>(reach) * inverse_weight[c]) + 1;
        // Lowest byte with 256 byte >= max(q) - r (the arithmetic shift rounds
        // toward minus infinity), and one past the highest with
        // 256 byte <= min(q) + r.
        low[c] = std::clamp((std::max(t.adjusted[c], t.plain[c]) - r + 255) >> 8, 0, 256);
        end[c] = std::clamp(((std::min(t.adjusted[c], t.plain[c]) + r) >> 8) + 1, 0, 256);
    }
    EntrySet set{{~0ull, ~0ull, ~0ull, ~0ull}};
    QV_BOUND_UNROLLED
    for (int c = 0; c < 3; ++c) {
        const EntrySet& upto_end = below[c][end[c]];
        const EntrySet& upto_low = below[c][low[c]];
        for (int w = 0; w < 4; ++w)
            set.word[w] &= upto_end.word[w] & ~upto_low.word[w];
    }
    return set;
}
