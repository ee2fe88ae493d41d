// The selection of the remapping: for a target colour and its adjusted
// version, the palette entry that a sequential scan of the whole palette
// accepts last. Fast versions skip entries that provably cannot be accepted.
#pragma once

#include <cstdint>
#include <vector>

// One palette entry in linear light, 0..255 per channel.
struct LinearPaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t luma;
};

// Channel weights of the distance: red, green, blue, luma.
inline constexpr int32_t distance_weight[4] = {10, 13, 6, 10};

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

SearchPalette make_search_palette(const std::vector<LinearPaletteEntry>& linear);

// `adjusted` and `plain` are working-scale targets (0..65280) already
// multiplied by distance_weight. Each routine returns the index of the
// chosen entry.

// The full scan, one entry after the other.
int32_t select_entry_scan(const SearchPalette& palette, const int32_t adjusted[4],
                          const int32_t plain[4]);
// Only the entries that can still be accepted, found through the byte-range
// sets, in plain C++.
int32_t select_entry_boxed(const SearchPalette& palette, const int32_t adjusted[4],
                           const int32_t plain[4]);
