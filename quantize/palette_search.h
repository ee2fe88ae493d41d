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

// The palette on the working scale (byte * 256), each channel already
// multiplied by its distance weight, one array per channel, padded to whole
// groups of 8 with entries too far away to ever be accepted.
struct SearchPalette {
    int32_t count = 0;
    std::vector<int32_t> channel[4];
};

SearchPalette make_search_palette(const std::vector<LinearPaletteEntry>& linear);

// `adjusted` and `plain` are working-scale targets (0..65280) already
// multiplied by distance_weight. Returns the index of the chosen entry.
using SelectEntry = int32_t (*)(const SearchPalette& palette, const int32_t adjusted[4],
                                const int32_t plain[4]);

// The full scan, one entry after the other.
int32_t select_entry_scan(const SearchPalette& palette, const int32_t adjusted[4],
                          const int32_t plain[4]);
// Groups of 8 entries tested at once against bounds, in plain C++.
int32_t select_entry_grouped(const SearchPalette& palette, const int32_t adjusted[4],
                             const int32_t plain[4]);
// The fastest version the running processor supports.
SelectEntry best_select_entry();
