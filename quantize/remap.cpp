#include "quantize/remap.h"

#include <algorithm>

#include "platform/win32.h"
#include "quantize/color_convert.h"
#include "quantize/remap_wide.h"

namespace {

constexpr int32_t full_scale = 65280;  // 255 * 256: full intensity

// Error sums of one slot: red, green, blue, luma.
struct ErrorSlot {
    double c[4];
};

// One share of a pixel's error, the same operations for every channel.
inline void spread_error(ErrorSlot& slot, const double e[4], int weight) {
    for (int c = 0; c < 4; ++c)
        slot.c[c] += e[c] * weight;
}

inline int32_t luma_of(int32_t red, int32_t green, int32_t blue) {
    return (2989 * red + 5866 * green + 1145 * blue) / 10000;
}

}  // namespace

std::vector<LinearPaletteEntry> make_linear_palette(const Palette& palette) {
    const double* lin = linear_of_byte();
    std::vector<LinearPaletteEntry> linear(palette.size() / 3);
    for (size_t i = 0; i < linear.size(); ++i) {
        int32_t v[3];
        for (int c = 0; c < 3; ++c) {
            const int32_t t = static_cast<int32_t>(lin[palette[3 * i + c]] * 255 + 0.5);
            v[c] = t < 0 ? 0 : (t > 255 ? 255 : t);
        }
        linear[i] = {static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]),
                     static_cast<uint8_t>(v[2]), static_cast<uint8_t>(luma_of(v[0], v[1], v[2]))};
    }
    return linear;
}

void remap_pixels(dib24& image, const Palette& palette, SelectEntry select) {
    const int32_t width = image.bits != nullptr ? image.width : 0;
    const int32_t height = image.bits != nullptr ? image.height : 0;
    const std::vector<LinearPaletteEntry> linear = make_linear_palette(palette);
    const SearchPalette search = make_search_palette(linear);

    // Working values of every byte: to_linear(v / 255) * 65280, rounded.
    const double* lin = linear_of_byte();
    int32_t working[256];
    for (int v = 0; v < 256; ++v)
        working[v] = static_cast<int32_t>(lin[v] * full_scale + 0.5);

    // Two slots beyond the right edge take what is pushed past it, so the
    // diffusion needs no bounds checks on that side.
    const size_t slots = static_cast<size_t>(width > 0 ? width : 0) + 2;
    std::vector<ErrorSlot> error_row(slots, ErrorSlot{}), next_error_row(slots, ErrorSlot{});

    for (int32_t y = 0; y < height && !linear.empty(); ++y) {
        uint8_t* row = image.bits + static_cast<int64_t>(height - 1 - y) * image.stride;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* px = row + 3 * x;
            int32_t plain[4];
            plain[0] = working[px[2]];
            plain[1] = working[px[1]];
            plain[2] = working[px[0]];
            plain[3] = luma_of(plain[0], plain[1], plain[2]);
            int32_t adjusted_weighted[4], plain_weighted[4];
            for (int c = 0; c < 4; ++c) {
                double t = plain[c] + 0.01 * error_row[x].c[c];
                t = t < 0 ? 0 : (t > full_scale ? full_scale : t);
                adjusted_weighted[c] = static_cast<int32_t>(t) * distance_weight[c];
                plain_weighted[c] = plain[c] * distance_weight[c];
            }
            const int32_t best = select(search, adjusted_weighted, plain_weighted);

            // The error is taken from the plain value, so diffused error is
            // not passed on further. Weights add up to 100 and are scaled back
            // by the 0.01 above; in column 0 the share to the left is dropped.
            const LinearPaletteEntry& l = linear[best];
            const int32_t chosen[4] = {l.red * 256, l.green * 256, l.blue * 256, l.luma * 256};
            double e[4];
            for (int c = 0; c < 4; ++c)
                e[c] = (plain[c] - chosen[c]) * 2.5 + 0.5;
            spread_error(error_row[x + 1], e, 30);
            spread_error(error_row[x + 2], e, 10);
            if (x > 0)
                spread_error(next_error_row[x - 1], e, 20);
            spread_error(next_error_row[x], e, 25);
            spread_error(next_error_row[x + 1], e, 10);
            spread_error(next_error_row[x + 2], e, 5);
            px[0] = palette[3 * best + 2];
            px[1] = palette[3 * best + 1];
            px[2] = palette[3 * best];
        }
        error_row.swap(next_error_row);
        std::fill(next_error_row.begin(), next_error_row.end(), ErrorSlot{});
    }
}

void remap_pixels(dib24& image, const Palette& palette) {
    remap_pixels(image, palette, best_select_entry());
}

namespace {

void remap_pixels_boxed(dib24& image, const Palette& palette) {
    remap_pixels(image, palette, select_entry_boxed);
}

}  // namespace

std::vector<RemapVersion> remap_versions() {
    std::vector<RemapVersion> versions{{"plain", remap_pixels_boxed}};
    if (best_select_entry() != select_entry_boxed)
        versions.push_back({"256-bit search", remap_pixels});
    if (wide_remap_supported())
        versions.push_back({"512-bit loop", remap_pixels_wide});
    return versions;
}

void remap_image(dib24& image, const Palette& palette, FILE* report) {
    remap_image(image, palette, report, remap_versions().back().run);
}

void remap_image(dib24& image, const Palette& palette, FILE* report, RemapPixels run) {
    const DWORD start = GetTickCount();
    std::fprintf(report, "start\n");
    run(image, palette);
    const DWORD end = GetTickCount();
    std::fprintf(report, "cache hit: %d%% [%dmsec]\n", 0, static_cast<int>(end - start));
}
