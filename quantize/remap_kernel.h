// The pixel loops that every version of the remapping shares: the working
// values, the adjusted target, the error and its diffusion, the write-back,
// and the division of the rows among threads. The versions differ only in the
// selection routine they pass in.
//
// Each version includes this header into its own file and defines
// QV_REMAP_TARGET first to build the loops for its instruction set
// (a function attribute), so everything here has internal linkage: the copies
// must never be merged by the linker.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "image/dib24.h"
#include "quantize/remap_task.h"
#include "quantize/worker_threads.h"

#ifndef QV_REMAP_TARGET
#define QV_REMAP_TARGET
#endif

#if defined(__GNUC__)
// The helpers below take and give vectors by value; they are internal and
// always inlined, so the calling convention of 256-bit vectors without AVX
// never applies.
#pragma GCC diagnostic ignored "-Wpsabi"
#define QV_KERNEL_INLINE QV_REMAP_TARGET __attribute__((always_inline)) inline
#else
#define QV_KERNEL_INLINE inline
#endif

namespace {

// The error arithmetic is exact. An error e = (P - L) 2.5 + 0.5 is a
// multiple of 0.5 below 2^18 in magnitude, each share e w (w <= 30) and each
// sum of the shares of a slot (their weights add up to 100) a multiple of 0.5
// below 2^25: doubles hold all of them exactly, whatever the order of the
// additions. So the loop keeps twice the error, 5 (P - L) + 1, and twice the
// sums as integers, and forms the adjusted value from them exactly as in
// doubles: P + 0.01 S = P + 0.005 (2 S), 0.005 being 0.01 / 2 exactly.

// Twice the sums of a slot in a row of error sums (4 integers a slot, any
// alignment).
QV_KERNEL_INLINE Lanes load_slot(const int32_t* row, int32_t slot) {
    Lanes v;
    std::memcpy(&v, row + 4 * static_cast<size_t>(slot), sizeof v);
    return v;
}
QV_KERNEL_INLINE void store_slot(int32_t* row, int32_t slot, const Lanes& v) {
    std::memcpy(row + 4 * static_cast<size_t>(slot), &v, sizeof v);
}

#if defined(__GNUC__)
QV_KERNEL_INLINE Sums to_sums(Lanes v) {
    return __builtin_convertvector(v, Sums);
}
// Clamped to 0..65280 as doubles, then truncated: the same as truncating
// and clamping the integer, without an overflowing conversion.
QV_KERNEL_INLINE Lanes clamp_and_truncate(Sums v) {
    const Sums low = {0, 0, 0, 0}, high = {full_scale, full_scale, full_scale, full_scale};
    v = v < low ? low : v;
    v = v > high ? high : v;
    return __builtin_convertvector(v, Lanes);
}
#else
inline Sums to_sums(const Lanes& v) {
    return {{double(v[0]), double(v[1]), double(v[2]), double(v[3])}};
}
inline Lanes clamp_and_truncate(const Sums& v) {
    Lanes out;
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<int32_t>(v[i] < 0 ? 0 : (v[i] > full_scale ? full_scale : v[i]));
    return out;
}
#endif

// What every pixel reads, in locals of the loop: the pixel stores may alias
// anything, and would make the compiler fetch these again from the task.
struct PixelTables {
    const int32_t* working;
    const Lanes* chosen;  // per entry 5 L - 1, L its working values
    const uint8_t* colours;
};

// The plain working values of the pixel at `px` (blue, green, red).
QV_KERNEL_INLINE Lanes plain_of(const PixelTables& tables, const uint8_t* px) {
    Lanes plain;
    plain[0] = tables.working[px[2]];
    plain[1] = tables.working[px[1]];
    plain[2] = tables.working[px[0]];
    plain[3] = luma_of(plain[0], plain[1], plain[2]);
    return plain;
}

// The pixel at `px` takes palette entry `best`.
QV_KERNEL_INLINE void write_pixel(const PixelTables& tables, uint8_t* px, uint8_t* index,
                                  int32_t best) {
    const uint8_t* colour = tables.colours + 3 * best;
    px[0] = colour[2];
    px[1] = colour[1];
    px[2] = colour[0];
    if (index != nullptr)
        *index = static_cast<uint8_t>(best);
}

// One row as the pixel loop walks it: where its pixels are, the error sums
// it reads (`cur`, left by the row above) and leaves (`next`), and its own
// open shares. A row's shares to its right neighbours are kept here (`here`,
// `ahead`) and added to the row above's total; the three open slots of the
// row below likewise, each stored once complete (slot x - 1 at column x), so
// that no slot is written twice and the row below needs no clearing.
struct RowWalk {
    uint8_t* pixels;
    uint8_t* indices;  // or null
    const int32_t* cur;
    int32_t* next;
    Lanes here, ahead, below_left, below, below_right;  // twice the sums
};

QV_KERNEL_INLINE RowWalk start_row(const RemapTask& task, int32_t y, const int32_t* cur,
                                   int32_t* next) {
    const Lanes zero = {0, 0, 0, 0};
    return RowWalk{
        task.image->bits + static_cast<int64_t>(task.height - 1 - y) * task.image->stride,
        task.indices != nullptr ? task.indices + static_cast<size_t>(y) * task.width : nullptr,
        cur,
        next,
        zero,
        zero,
        zero,
        zero,
        zero};
}

// Before the first column: the row above's sums of slots 0 and 1 complete.
QV_KERNEL_INLINE void begin_row(RowWalk& row) {
    row.here = load_slot(row.cur, 0);
    row.ahead = load_slot(row.cur, 1);
}

// The targets of the pixel of column x: its plain working values and those
// adjusted by the error diffused to it.
QV_KERNEL_INLINE SelectionTargets targets_of(const PixelTables& tables, const RowWalk& row,
                                             int32_t x) {
    const Lanes plain = plain_of(tables, row.pixels + 3 * x);
    const Lanes adjusted = clamp_and_truncate(to_sums(plain) + to_sums(row.here) * 0.005);
    return selection_targets(adjusted, plain);
}

// Column x takes palette entry `best`: its error is diffused and the pixel
// written. Needs slot x + 2 of `cur` complete.
QV_KERNEL_INLINE void finish_pixel(const PixelTables& tables, RowWalk& row, int32_t x,
                                   const Lanes& plain, int32_t best) {
    // The error is taken from the plain value, so diffused error is not
    // passed on further. Weights add up to 100 and are scaled back by the
    // 0.01 of the adjusted value; in column 0 the share to the left is
    // dropped.
    const Lanes e = plain * 5 - tables.chosen[best];  // twice the error
    row.here = row.ahead + e * 30;
    row.ahead = load_slot(row.cur, x + 2) + e * 10;
    if (x > 0)
        store_slot(row.next, x - 1, row.below_left + e * 20);
    row.below_left = row.below + e * 25;
    row.below = row.below_right + e * 10;
    row.below_right = e * 5;
    write_pixel(tables, row.pixels + 3 * x, row.indices != nullptr ? row.indices + x : nullptr,
                best);
}

// After the last column: the last slot of the row below is complete. The
// two slots past the edge are never written and stay 0.
QV_KERNEL_INLINE void end_row(const RemapTask& task, RowWalk& row) {
    store_slot(row.next, task.width - 1, row.below_left);
}

// A selection may choose for several pixels at once (`group`), so that the
// processor works on their independent chains of dependent steps together;
// otherwise it chooses for one after the other.
template <int N, class Select>
QV_KERNEL_INLINE void select_many(const Select& select, const SelectionTargets* t, int32_t* best) {
    if constexpr (requires { select.template group<N>(t, best); }) {
        select.template group<N>(t, best);
    } else {
        for (int i = 0; i < N; ++i)
            best[i] = select(t[i]);
    }
}

// How far each row of a band trails the row above it. A row's column x
// needs slot x + 2 of the sums the row above leaves, stored when that row
// finishes column x + 3; the targets of a band's pixels are all formed before
// their selection, so the row above must have finished column x + 3 in an
// earlier step.
inline constexpr int32_t row_lag = 4;

// The rows of `thread` of a run on `threads` threads (T): the bands of
// band_rows picture rows (B) starting at rows B b for b = thread,
// thread + T, thread + 2T ... (with one thread, every band). One loop walks
// all rows of a band, each row_lag columns behind the one above, so that B
// independent chains of dependent steps (each pixel's choice depends on the
// error of the pixel before) are in flight at once.
//
// Row y reads the error sums that row y - 1 left in ring row y mod R and
// leaves its own for row y + 1 in the next ring row, R >= B T + 1. So the top
// row of a band reads what the bottom row of the previous band, on another
// thread, leaves: its column x needs slot x + 2 complete, the other row having
// passed column x + 3 (or finished, near the right edge). A ring row is free
// again when row y writes it: its previous reader, row y + 1 - R (at most
// y - B T), belongs to a band of this thread that is done, and its previous
// writer, row y - R, had finished before that reader could end.
template <class Select>
QV_REMAP_TARGET void remap_rows(RemapTask& task, const Select& select, int32_t thread,
                                int32_t threads) {
    constexpr int32_t B = band_rows;
    const int32_t width = task.width, height = task.height;
    const size_t slots = static_cast<size_t>(width) + 2;
    const auto ring_row = [&](int32_t y) {
        return task.ring.data() + 4 * static_cast<size_t>(y % task.ring_rows) * slots;
    };
    RowProgress* own = threads > 1 ? &task.progress[thread] : nullptr;
    const PixelTables tables{task.working, task.chosen.data(), task.palette->data()};
    for (int32_t top = B * thread; top < height; top += B * threads) {
        const int32_t rows = std::min(B, height - top);
        const RowProgress* above =
            threads > 1 && top > 0 ? &task.progress[(top / B - 1) % threads] : nullptr;
        // Columns of the row above known to be done; all of them when there
        // is no other thread.
        int32_t ready = above != nullptr ? 0 : width;
        RowWalk walk[B];
        for (int32_t i = 0; i < rows; ++i)
            walk[i] = start_row(task, top + i, ring_row(top + i), ring_row(top + i + 1));
        // One step: row i works on column step - i row_lag, rows first..last
        // having a column in it. A step in which every row of a whole band
        // has one (`full`) chooses for all of them at once.
        const auto step_at = [&](int32_t step, auto full_step) QV_REMAP_TARGET {
            constexpr bool full = decltype(full_step)::value;
            const int32_t first = full ? 0 : (step < width ? 0 : (step - width) / row_lag + 1);
            const int32_t last = full ? B - 1 : std::min(rows - 1, step / row_lag);
            if (first == 0 && ready < std::min(width, step + 3))
                // Wait a little further than needed, so that the row above
                // is not asked again at every pixel.
                ready = above->wait_for(top - 1, width,
                                        std::min(width, std::max(step + 3, ready + 32)));
            SelectionTargets t[B];
            int32_t best[B];
            for (int32_t i = first; i <= last; ++i) {
                const int32_t x = step - i * row_lag;
                if (x == 0)
                    begin_row(walk[i]);
                t[i] = targets_of(tables, walk[i], x);
            }
            if constexpr (full) {
                select_many<B>(select, t, best);
            } else {
                for (int32_t i = first; i <= last; ++i)
                    best[i] = select(t[i]);
            }
            for (int32_t i = first; i <= last; ++i) {
                const int32_t x = step - i * row_lag;
                finish_pixel(tables, walk[i], x, t[i].plain, best[i]);
                if (x == width - 1)
                    end_row(task, walk[i]);
            }
            if (own != nullptr && last == rows - 1) {
                const int32_t x = step - last * row_lag;
                own->publish(top + last, width, x == width - 1 ? width : x);
            }
        };
        const int32_t steps = width + (rows - 1) * row_lag;
        for (int32_t step = 0; step < steps; ++step) {
            if (rows == B && step >= (B - 1) * row_lag && step < width)
                step_at(step, std::true_type{});
            else
                step_at(step, std::false_type{});
        }
        // The bands end in picture order: a band's top row ends after the
        // band above's bottom row, its last one, and its other rows later.
        task.rows_final(top + rows);
    }
}

// Without diffused error each pixel's choice depends on its own colour only:
// the rows are divided among the threads in bands, one each. The choices of
// recent colours are kept in a small cache (a line holds the colour + 1, 0
// when empty, and the entry above bit 32); the colours it lacks are chosen
// band_rows at a time, so that their selections overlap.
template <class Select>
QV_REMAP_TARGET void remap_rows_without_error(RemapTask& task, const Select& select, int32_t thread,
                                              int32_t threads) {
    constexpr int32_t N = band_rows;
    constexpr int cache_bits = 12;
    uint64_t cache[1 << cache_bits] = {};
    const auto line_of = [&](uint32_t rgb) -> uint64_t& {
        return cache[(rgb * 0x9E3779B1u) >> (32 - cache_bits)];
    };
    const PixelTables tables{task.working, task.chosen.data(), task.palette->data()};
    const int32_t first = static_cast<int32_t>(int64_t{task.height} * thread / threads);
    const int32_t end = static_cast<int32_t>(int64_t{task.height} * (thread + 1) / threads);
    for (int32_t y = first; y < end; ++y) {
        uint8_t* pixels =
            task.image->bits + static_cast<int64_t>(task.height - 1 - y) * task.image->stride;
        uint8_t* indices =
            task.indices != nullptr ? task.indices + static_cast<size_t>(y) * task.width : nullptr;
        SelectionTargets waiting[N];
        int32_t waiting_x[N], count = 0;
        uint32_t waiting_rgb[N];
        // Chooses for the waiting pixels (the last one's targets standing in
        // for the missing ones) and writes them.
        const auto choose_waiting = [&]() QV_REMAP_TARGET {
            for (int32_t i = count; i < N; ++i)
                waiting[i] = waiting[count - 1];
            int32_t best[N];
            select_many<N>(select, waiting, best);
            for (int32_t i = 0; i < count; ++i) {
                line_of(waiting_rgb[i]) = (waiting_rgb[i] + uint64_t{1}) | uint64_t(best[i]) << 32;
                write_pixel(tables, pixels + 3 * waiting_x[i],
                            indices != nullptr ? indices + waiting_x[i] : nullptr, best[i]);
            }
            count = 0;
        };
        for (int32_t x = 0; x < task.width; ++x) {
            uint8_t* px = pixels + 3 * x;
            const uint32_t rgb = rgb_at(px);
            const uint64_t line = line_of(rgb);
            if (static_cast<uint32_t>(line) == rgb + 1) {
                write_pixel(tables, px, indices != nullptr ? indices + x : nullptr,
                            static_cast<int32_t>(line >> 32));
                continue;
            }
            const Lanes plain = plain_of(tables, px);
            waiting[count] = selection_targets(plain, plain);
            waiting_x[count] = x;
            waiting_rgb[count] = rgb;
            if (++count == N)
                choose_waiting();
        }
        if (count > 0)
            choose_waiting();
        // The first thread's rows are the top ones.
        if (thread == 0)
            task.rows_final(y + 1);
    }
}

// The remapping of the task with `select`.
template <class Select>
QV_REMAP_TARGET void remap_task_with(RemapTask& task, const Select& select) {
    run_on_threads(task.threads, [&](int32_t thread, int32_t threads) {
        if (task.dither)
            remap_rows(task, select, thread, threads);
        else
            remap_rows_without_error(task, select, thread, threads);
    });
    task.rows_final(task.height);
}

}  // namespace
