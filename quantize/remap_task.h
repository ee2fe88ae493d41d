// One run of the remapping, as the threads that work on it share it, and the
// versions of the remapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "image/dib24.h"
#include "quantize/large_array.h"
#include "quantize/palette_average.h"
#include "quantize/palette_search.h"
#include "quantize/remap_watch.h"
#include "quantize/row_progress.h"
#include "quantize/working_values.h"

// The rows that one thread walks together, each a few columns behind the one
// above (remap_kernel.h).
inline constexpr int32_t band_rows = 8;

struct RemapTask {
    dib24* image = nullptr;
    const Palette* palette = nullptr;
    uint8_t* indices = nullptr;  // one per pixel, picture rows top first; or null
    int32_t width = 0, height = 0;
    int32_t threads = 1;  // at most; the run may start fewer
    bool dither = true;
    std::vector<LinearPaletteEntry> linear;
    std::vector<Lanes> chosen;  // per entry 5 L - 1, L its working values (remap_kernel.h)
    int32_t working[256];       // to_linear(v / 255) * 65280, rounded
    int32_t ring_rows = 0;      // band_rows * threads + 1
    LargeArray<int32_t> ring;   // ring_rows rows of width + 2 slots of twice 4 sums
    std::unique_ptr<RowProgress[]> progress;  // one per thread

    RemapWatch* watch = nullptr;  // or null
    std::mutex telling;           // one call to the watch at a time
    int32_t told = 0;             // rows the watch has been told of

    // Rows 0 to `count` - 1 are final (a thread may learn it after another
    // thread has told more).
    void rows_final(int32_t count) {
        if (watch == nullptr)
            return;
        std::lock_guard<std::mutex> hold(telling);
        if (count > told) {
            told = count;
            watch->rows_final(count);
        }
    }
};

// Sets the task up for the image and the palette: false when there is
// nothing to remap (no pixels, no palette entry). With dithering the rows are
// dealt out in bands of band_rows, so at most one thread per band is used;
// without, at most one per row.
bool prepare_task(RemapTask& task, dib24& image, const Palette& palette, uint8_t* indices,
                  int32_t threads, bool dither, RemapWatch* watch);

// The versions. Those for vector units run only where the processor has
// them (avx2_remap_supported(), avx512_remap_supported()); each is a file of
// its own, built for its instruction set. The palette has at most 255
// entries.
void remap_pixels_plain(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                        bool dither, RemapWatch* watch);
void select_entries_plain(const std::vector<LinearPaletteEntry>& linear,
                          const SelectionTargets* targets, size_t count, int32_t* chosen);
void remap_pixels_boxed(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                        bool dither, RemapWatch* watch);
void select_entries_boxed(const std::vector<LinearPaletteEntry>& linear,
                          const SelectionTargets* targets, size_t count, int32_t* chosen);
bool avx2_remap_supported();
void remap_pixels_avx2(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                       bool dither, RemapWatch* watch);
void select_entries_avx2(const std::vector<LinearPaletteEntry>& linear,
                         const SelectionTargets* targets, size_t count, int32_t* chosen);
bool avx512_remap_supported();
void remap_pixels_avx512(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                         bool dither, RemapWatch* watch);
void select_entries_avx512(const std::vector<LinearPaletteEntry>& linear,
                           const SelectionTargets* targets, size_t count, int32_t* chosen);
