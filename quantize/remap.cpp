#include "quantize/remap.h"

#include <algorithm>

#include "platform/win32.h"
#include "quantize/color_convert.h"
#include "quantize/remap_kernel.h"
#include "quantize/thread_count.h"

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

bool prepare_task(RemapTask& task, dib24& image, const Palette& palette, uint8_t* indices,
                  int32_t threads, bool dither, RemapWatch* watch) {
    if (image.bits == nullptr || image.width <= 0 || image.height <= 0 || palette.size() < 3)
        return false;
    task.image = &image;
    task.palette = &palette;
    task.indices = indices;
    task.watch = watch;
    task.width = image.width;
    task.height = image.height;
    task.dither = dither;
    task.threads =
        std::clamp(threads, 1, dither ? (image.height + band_rows - 1) / band_rows : image.height);
    task.linear = make_linear_palette(palette);
    for (const LinearPaletteEntry& l : task.linear)
        task.chosen.push_back(Lanes{l.red * 256, l.green * 256, l.blue * 256, l.luma * 256} * 5 -
                              Lanes{1, 1, 1, 1});
    const double* lin = linear_of_byte();
    for (int v = 0; v < 256; ++v)
        task.working[v] = static_cast<int32_t>(lin[v] * full_scale + 0.5);
    if (dither) {
        task.ring_rows = band_rows * task.threads + 1;
        task.ring =
            LargeArray<int32_t>(4 * static_cast<size_t>(task.ring_rows) * (task.width + size_t{2}));
        if (task.threads > 1)
            task.progress = std::make_unique<RowProgress[]>(task.threads);
    }
    return true;
}

namespace {

struct ScanSelect {
    const SearchPalette& palette;
    int32_t operator()(const SelectionTargets& t) const { return select_entry_scan(palette, t); }
};

struct BoxedSelect {
    const SearchPalette& palette;
    int32_t operator()(const SelectionTargets& t) const { return select_entry_boxed(palette, t); }
};

template <class Select>
void remap_with(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                bool dither, RemapWatch* watch) {
    RemapTask task;
    if (!prepare_task(task, image, palette, indices, threads, dither, watch))
        return;
    const SearchPalette search = make_search_palette(task.linear);
    remap_task_with(task, Select{search});
}

template <class Select>
void select_with(const std::vector<LinearPaletteEntry>& linear, const SelectionTargets* targets,
                 size_t count, int32_t* chosen) {
    const SearchPalette search = make_search_palette(linear);
    const Select select{search};
    for (size_t i = 0; i < count; ++i)
        chosen[i] = select(targets[i]);
}

}  // namespace

void remap_pixels_plain(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                        bool dither, RemapWatch* watch) {
    remap_with<ScanSelect>(image, palette, indices, threads, dither, watch);
}

void select_entries_plain(const std::vector<LinearPaletteEntry>& linear,
                          const SelectionTargets* targets, size_t count, int32_t* chosen) {
    select_with<ScanSelect>(linear, targets, count, chosen);
}

void remap_pixels_boxed(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                        bool dither, RemapWatch* watch) {
    remap_with<BoxedSelect>(image, palette, indices, threads, dither, watch);
}

void select_entries_boxed(const std::vector<LinearPaletteEntry>& linear,
                          const SelectionTargets* targets, size_t count, int32_t* chosen) {
    select_with<BoxedSelect>(linear, targets, count, chosen);
}

std::vector<RemapVersion> remap_versions() {
    return {{"plain", "", true, remap_pixels_plain, select_entries_plain},
            {"boxed", "", true, remap_pixels_boxed, select_entries_boxed},
            {"256-bit", "AVX2, BMI1 and POPCNT", avx2_remap_supported(), remap_pixels_avx2,
             select_entries_avx2},
            {"512-bit", "AVX-512 F, BW, DQ, VL and VBMI2, BMI2 and POPCNT",
             avx512_remap_supported(), remap_pixels_avx512, select_entries_avx512}};
}

RemapPixels fastest_remap() {
    RemapPixels fastest = nullptr;
    for (const RemapVersion& version : remap_versions()) {
        if (version.supported)
            fastest = version.run;
    }
    return fastest;
}

void remap_image(dib24& image, const Palette& palette, FILE* report) {
    remap_image(image, palette, report, fastest_remap(), quantizer_threads(), true, nullptr);
}

void remap_image(dib24& image, const Palette& palette, FILE* report, RemapPixels run,
                 int32_t threads, bool dither, uint8_t* indices, RemapWatch* watch) {
    const DWORD start = GetTickCount();
    std::fprintf(report, "start\n");
    run(image, palette, indices, threads, dither, watch);
    const DWORD end = GetTickCount();
    std::fprintf(report, "cache hit: %d%% [%dmsec]\n", 0, static_cast<int>(end - start));
}
