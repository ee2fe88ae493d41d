// One run of the remapping, as the threads that work on it share it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/dib24.h"
#include "quantize/palette_average.h"
#include "quantize/palette_search.h"

inline constexpr int32_t full_scale = 65280;  // 255 * 256: full intensity

inline constexpr int32_t luma_of(int32_t red, int32_t green, int32_t blue) {
    return (2989 * red + 5866 * green + 1145 * blue) / 10000;
}

// Four lanes, one per channel (red, green, blue, luma): the error sums of
// a slot as doubles, and the working values of a pixel as integers. Every
// operation works lane by lane and rounds each lane as written; with GCC and
// Clang a value fits one vector register where the processor has one.
#if defined(__GNUC__)
typedef double Sums __attribute__((vector_size(32)));
typedef int32_t Lanes __attribute__((vector_size(16)));
#else
struct Sums {
    double c[4];
    double& operator[](int i) { return c[i]; }
    double operator[](int i) const { return c[i]; }
};
inline Sums operator+(Sums a, const Sums& b) {
    for (int i = 0; i < 4; ++i)
        a.c[i] += b.c[i];
    return a;
}
inline Sums operator*(Sums a, double k) {
    for (int i = 0; i < 4; ++i)
        a.c[i] *= k;
    return a;
}
inline Sums operator+(Sums a, double k) {
    for (int i = 0; i < 4; ++i)
        a.c[i] += k;
    return a;
}
struct Lanes {
    int32_t c[4];
    int32_t& operator[](int i) { return c[i]; }
    int32_t operator[](int i) const { return c[i]; }
};
#endif

// The rows that one thread walks together, each a few columns behind the one
// above (remap_kernel.h).
inline constexpr int32_t band_rows = 4;

// How far one thread has come: y * (width + 1) + the number of slots of the
// next row's error sums that its row y (the bottom row of its band) has
// completed. The number only grows,
// so a reader can tell a row that has not started from one that is done.
// One cache line each, so that threads do not disturb each other's.
struct alignas(64) RowProgress {
    std::atomic<int64_t> position{-1};
};

struct RemapTask {
    dib24* image = nullptr;
    const Palette* palette = nullptr;
    uint8_t* indices = nullptr;  // one per pixel, picture rows top first; or null
    int32_t width = 0, height = 0;
    int32_t threads = 1;
    std::vector<LinearPaletteEntry> linear;
    std::vector<Lanes> chosen;                // working values of each entry
    int32_t working[256];                     // to_linear(v / 255) * 65280, rounded
    int32_t ring_rows = 0;                    // band_rows * threads + 1
    std::vector<double> ring;                 // ring_rows rows of width + 2 slots of 4 sums
    std::unique_ptr<RowProgress[]> progress;  // one per thread
};

// Sets the task up for the image and the palette: false when there is
// nothing to remap (no pixels, no palette entry). The rows are dealt out in
// bands of band_rows, so at most one thread per band is used.
bool prepare_task(RemapTask& task, dib24& image, const Palette& palette, uint8_t* indices,
                  int32_t threads);
// Calls rows(t) for every thread t of the task, thread 0 on the calling
// thread, and returns when all are done. Should the system refuse a thread,
// the run goes on with the threads that started.
void run_threads(RemapTask& task, const std::function<void(int32_t)>& rows);

// The versions. Those for vector units run only where the processor has
// them (avx2_remap_supported(), avx512_remap_supported()); each is a file of
// its own, built for its instruction set.
void remap_pixels_plain(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads);
void select_entries_plain(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                          size_t count, int32_t* chosen);
void remap_pixels_boxed(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads);
void select_entries_boxed(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                          size_t count, int32_t* chosen);
bool avx2_remap_supported();
void remap_pixels_avx2(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads);
void select_entries_avx2(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                         size_t count, int32_t* chosen);
bool avx512_remap_supported();
void remap_pixels_avx512(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads);
void select_entries_avx512(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                           size_t count, int32_t* chosen);
