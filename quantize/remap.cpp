#include "quantize/remap.h"

#include <algorithm>
#include <system_error>
#include <thread>

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
                  int32_t threads) {
    if (image.bits == nullptr || image.width <= 0 || image.height <= 0 || palette.size() < 3)
        return false;
    task.image = &image;
    task.palette = &palette;
    task.indices = indices;
    task.width = image.width;
    task.height = image.height;
    task.threads = std::clamp(threads, 1, (image.height + band_rows - 1) / band_rows);
    task.linear = make_linear_palette(palette);
    for (const LinearPaletteEntry& l : task.linear)
        task.chosen.push_back(Lanes{l.red * 256, l.green * 256, l.blue * 256, l.luma * 256});
    const double* lin = linear_of_byte();
    for (int v = 0; v < 256; ++v)
        task.working[v] = static_cast<int32_t>(lin[v] * full_scale + 0.5);
    task.ring_rows = band_rows * task.threads + 1;
    task.ring.assign(4 * static_cast<size_t>(task.ring_rows) * (task.width + size_t{2}), 0.0);
    if (task.threads > 1)
        task.progress = std::make_unique<RowProgress[]>(task.threads);
    return true;
}

void run_threads(RemapTask& task, const std::function<void(int32_t)>& rows) {
    if (task.threads <= 1) {
        rows(0);
        return;
    }
    // The helpers wait for the final thread count before they start, so
    // that rows are dealt out only among threads that exist.
    std::atomic<int32_t> go{0};
    std::vector<std::thread> helpers;
    try {
        for (int32_t t = 1; t < task.threads; ++t) {
            helpers.emplace_back([&go, &rows, t] {
                int32_t count;
                while ((count = go.load(std::memory_order_acquire)) == 0)
                    std::this_thread::yield();
                if (t < count)
                    rows(t);
            });
        }
    } catch (const std::system_error&) {
    }
    task.threads = static_cast<int32_t>(helpers.size()) + 1;
    go.store(task.threads, std::memory_order_release);
    rows(0);
    for (std::thread& helper : helpers)
        helper.join();
}

namespace {

struct ScanSelect {
    const SearchPalette& palette;
    int32_t operator()(const Lanes& adjusted, const Lanes& plain) const {
        return select_entry_scan(palette, &adjusted[0], &plain[0]);
    }
};

struct BoxedSelect {
    const SearchPalette& palette;
    int32_t operator()(const Lanes& adjusted, const Lanes& plain) const {
        return select_entry_boxed(palette, &adjusted[0], &plain[0]);
    }
};

Lanes lanes_at(const int32_t* v) {
    return Lanes{v[0], v[1], v[2], v[3]};
}

template <class Select>
void remap_with(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    RemapTask task;
    if (!prepare_task(task, image, palette, indices, threads))
        return;
    const SearchPalette search = make_search_palette(task.linear);
    const Select select{search};
    run_threads(task, [&](int32_t thread) { remap_rows(task, select, thread); });
}

template <class Select>
void select_with(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                 size_t count, int32_t* chosen) {
    const SearchPalette search = make_search_palette(linear);
    const Select select{search};
    for (size_t i = 0; i < count; ++i)
        chosen[i] = select(lanes_at(queries + 8 * i), lanes_at(queries + 8 * i + 4));
}

}  // namespace

void remap_pixels_plain(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    remap_with<ScanSelect>(image, palette, indices, threads);
}

void select_entries_plain(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                          size_t count, int32_t* chosen) {
    select_with<ScanSelect>(linear, queries, count, chosen);
}

void remap_pixels_boxed(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    remap_with<BoxedSelect>(image, palette, indices, threads);
}

void select_entries_boxed(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                          size_t count, int32_t* chosen) {
    select_with<BoxedSelect>(linear, queries, count, chosen);
}

std::vector<RemapVersion> remap_versions() {
    std::vector<RemapVersion> versions{{"plain", remap_pixels_plain, select_entries_plain},
                                       {"boxed", remap_pixels_boxed, select_entries_boxed}};
    if (avx2_remap_supported())
        versions.push_back({"256-bit", remap_pixels_avx2, select_entries_avx2});
    if (avx512_remap_supported())
        versions.push_back({"512-bit", remap_pixels_avx512, select_entries_avx512});
    return versions;
}

void remap_image(dib24& image, const Palette& palette, FILE* report) {
    remap_image(image, palette, report, remap_versions().back().run, quantizer_threads(), nullptr);
}

void remap_image(dib24& image, const Palette& palette, FILE* report, RemapPixels run,
                 int32_t threads, uint8_t* indices) {
    const DWORD start = GetTickCount();
    std::fprintf(report, "start\n");
    run(image, palette, indices, threads);
    const DWORD end = GetTickCount();
    std::fprintf(report, "cache hit: %d%% [%dmsec]\n", 0, static_cast<int>(end - start));
}
