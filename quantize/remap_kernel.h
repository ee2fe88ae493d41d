// The pixel loop that every version of the remapping shares: the working
// values, the adjusted target, the error and its diffusion, the write-back,
// and the hand-over between threads. The versions differ only in the
// selection routine they pass in.
//
// Each version includes this header into its own file and defines
// QV_REMAP_TARGET first to build the loop for its instruction set
// (a function attribute), so everything here has internal linkage: the copies
// must never be merged by the linker.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "image/dib24.h"
#include "quantize/remap_task.h"

#ifndef QV_REMAP_TARGET
#define QV_REMAP_TARGET
#endif

#if defined(__GNUC__)
// The helpers below take and give vectors by value; they are internal and
// always inlined, so the calling convention of 256-bit vectors without AVX
// never applies.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

// The sums of a slot in a row of error sums (4 doubles a slot, any
// alignment).
QV_REMAP_TARGET inline Sums load_slot(const double* row, int32_t slot) {
    Sums v;
    std::memcpy(&v, row + 4 * static_cast<size_t>(slot), sizeof v);
    return v;
}
QV_REMAP_TARGET inline void store_slot(double* row, int32_t slot, const Sums& v) {
    std::memcpy(row + 4 * static_cast<size_t>(slot), &v, sizeof v);
}

#if defined(__GNUC__)
QV_REMAP_TARGET inline Sums to_sums(Lanes v) {
    return __builtin_convertvector(v, Sums);
}
// Clamped to 0..65280 as doubles, then truncated: the same as truncating
// and clamping the integer, without an overflowing conversion.
QV_REMAP_TARGET inline Lanes clamp_and_truncate(Sums v) {
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
inline Lanes operator-(Lanes a, const Lanes& b) {
    for (int i = 0; i < 4; ++i)
        a[i] -= b[i];
    return a;
}
inline Lanes operator*(Lanes a, const Lanes& b) {
    for (int i = 0; i < 4; ++i)
        a[i] *= b[i];
    return a;
}
#endif

// Waits until the row above has stored `need` slots of this row's error sums
// (its progress counter reaches `above_base + need`) and returns how many it
// has stored by then. Spins briefly, then yields: another thread of the same
// run may need this core.
inline int32_t wait_for_row_above(const RowProgress& above, int64_t above_base, int32_t need) {
    int64_t seen = above.position.load(std::memory_order_acquire);
    for (int spins = 0; seen < above_base + need; ++spins) {
        if (spins < 64) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
            __builtin_ia32_pause();
#endif
        } else {
            std::this_thread::yield();
        }
        seen = above.position.load(std::memory_order_acquire);
    }
    return static_cast<int32_t>(std::min<int64_t>(seen - above_base, INT32_MAX));
}

// One row of a pair as the pixel loop walks it: where its pixels are, the
// error sums it reads (`cur`, left by the row above) and leaves (`next`),
// and its own open shares. A row's shares to its right neighbours are kept
// here (`here`, `ahead`) and added after the row above's total; the three
// open slots of the row below likewise, each stored once complete (slot
// x - 1 at column x). So every slot receives its shares in the order of a
// single pass: the slot x that a row reads gets the row above's shares from
// columns x - 2 .. x + 1, then the row's own from x - 2 and x - 1.
struct RowWalk {
    uint8_t* pixels;
    uint8_t* indices;  // or null
    const double* cur;
    double* next;
    Sums here, ahead, below_left, below, below_right;
};

QV_REMAP_TARGET inline RowWalk start_row(const RemapTask& task, int32_t y, const double* cur,
                                         double* next) {
    const Sums zero = {0, 0, 0, 0};
    RowWalk row{
        task.image->bits + static_cast<int64_t>(task.height - 1 - y) * task.image->stride,
        task.indices != nullptr ? task.indices + static_cast<size_t>(y) * task.width : nullptr,
        cur,
        next,
        zero,
        zero,
        zero,
        zero,
        zero};
    return row;
}

// Before the first column: the row above's sums of slots 0 and 1 complete.
QV_REMAP_TARGET inline void begin_row(RowWalk& row) {
    row.here = load_slot(row.cur, 0);
    row.ahead = load_slot(row.cur, 1);
}

// What every pixel reads, in locals of the loop: the pixel stores may alias
// anything, and would make the compiler fetch these again from the task.
struct PixelTables {
    const int32_t* working;
    const Lanes* chosen;
    const uint8_t* colours;
};

// The pixel of column x: its plain working values, and the two targets of
// the selection (times the distance weights), the plain value and the value
// adjusted by the diffused error.
struct PixelTargets {
    Lanes plain, weighted_adjusted, weighted_plain;
};

QV_REMAP_TARGET inline PixelTargets targets_of(const PixelTables& tables, const RowWalk& row,
                                               int32_t x) {
    const Lanes weights = {distance_weight[0], distance_weight[1], distance_weight[2],
                           distance_weight[3]};
    const uint8_t* px = row.pixels + 3 * x;
    PixelTargets t;
    t.plain[0] = tables.working[px[2]];
    t.plain[1] = tables.working[px[1]];
    t.plain[2] = tables.working[px[0]];
    t.plain[3] = luma_of(t.plain[0], t.plain[1], t.plain[2]);
    t.weighted_adjusted = clamp_and_truncate(to_sums(t.plain) + row.here * 0.01) * weights;
    t.weighted_plain = t.plain * weights;
    return t;
}

// Column x takes palette entry `best`: its error is diffused and the pixel
// written. Needs slot x + 2 of `cur` complete.
QV_REMAP_TARGET inline void finish_pixel(const PixelTables& tables, RowWalk& row, int32_t x,
                                         const Lanes& plain, int32_t best) {
    // The error is taken from the plain value, so diffused error is not
    // passed on further. Weights add up to 100 and are scaled back by the
    // 0.01 of the adjusted value; in column 0 the share to the left is
    // dropped.
    const Sums zero = {0, 0, 0, 0};
    const Sums e = to_sums(plain - tables.chosen[best]) * 2.5 + 0.5;
    row.here = row.ahead + e * 30;
    row.ahead = load_slot(row.cur, x + 2) + e * 10;
    if (x > 0)
        store_slot(row.next, x - 1, row.below_left + e * 20);
    row.below_left = row.below + e * 25;
    row.below = row.below_right + e * 10;
    row.below_right = zero + e * 5;
    const uint8_t* colour = tables.colours + 3 * best;
    uint8_t* px = row.pixels + 3 * x;
    px[0] = colour[2];
    px[1] = colour[1];
    px[2] = colour[0];
    if (row.indices != nullptr)
        row.indices[x] = static_cast<uint8_t>(best);
}

// After the last column: the last slot of the row below is complete. The
// two slots past the edge are never written and stay 0.
QV_REMAP_TARGET inline void end_row(const RemapTask& task, RowWalk& row) {
    store_slot(row.next, task.width - 1, row.below_left);
}

// A selection may choose for several pixels at once (`group`), so that the
// processor works on their independent chains of dependent steps together;
// otherwise it chooses for one after the other.
template <class Select>
QV_REMAP_TARGET inline int32_t select_one(const Select& select, const PixelTargets& t) {
    return select(t.weighted_adjusted, t.weighted_plain);
}
template <int N, class Select>
QV_REMAP_TARGET inline void select_many(const Select& select, const PixelTargets* t,
                                        int32_t* best) {
    if constexpr (requires(const Lanes* q) { select.template group<N>(q, q, best); }) {
        Lanes adjusted[N], plain[N];
        for (int i = 0; i < N; ++i) {
            adjusted[i] = t[i].weighted_adjusted;
            plain[i] = t[i].weighted_plain;
        }
        select.template group<N>(adjusted, plain, best);
    } else {
        for (int i = 0; i < N; ++i)
            best[i] = select_one(select, t[i]);
    }
}

// How far each row of a band trails the row above it. A row's column x
// needs slot x + 2 of the sums the row above leaves, stored when that row
// finishes column x + 3; the targets of a band's pixels are all formed before
// their selection, so the row above must have finished column x + 3 in an
// earlier step.
inline constexpr int32_t row_lag = 4;

// The rows of `thread`: the bands of band_rows picture rows starting at
// rows B b for b = thread, thread + T, thread + 2T ... of a run on T threads
// (with one thread, every band), B = band_rows. One loop walks all rows of a
// band, each row_lag columns behind the one above, so that B independent
// chains of dependent steps (each pixel's choice depends on the error of the
// pixel before) are in flight at once.
//
// Row y reads the error sums that row y - 1 left in ring row y mod R and
// leaves its own for row y + 1 in the next ring row, R = B T + 1. So the top
// row of a band reads what the bottom row of the previous band, on another
// thread, leaves: its column x needs slot x + 2 complete, the other row having
// passed column x + 3 (or finished, near the right edge). A ring row is free
// again when row y writes it: its previous reader, row y + 1 - R = y - B T,
// belongs to this thread's previous band, which is done, and its previous
// writer, row y - B T - 1, had finished before row y - B T could end.
template <class Select>
QV_REMAP_TARGET void remap_rows(RemapTask& task, const Select& select, int32_t thread) {
    constexpr int32_t B = band_rows;
    const int32_t width = task.width, height = task.height, threads = task.threads;
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
        const int64_t above_base = static_cast<int64_t>(top - 1) * (width + 1);
        const int64_t own_base = static_cast<int64_t>(top + rows - 1) * (width + 1);
        // Columns of the row above known to be done; all of them when there
        // is no other thread.
        int32_t ready = above != nullptr ? 0 : width;
        const auto need = [&](int32_t slot_count) {
            if (ready < slot_count)
                // Wait a little further than needed, so that the row above
                // is not asked again at every pixel.
                ready = wait_for_row_above(*above, above_base,
                                           std::min(width, std::max(slot_count, ready + 32)));
        };
        const auto publish = [&](int64_t done) {
            if (own != nullptr)
                own->position.store(own_base + done, std::memory_order_release);
        };
        RowWalk walk[B];
        for (int32_t i = 0; i < rows; ++i)
            walk[i] = start_row(task, top + i, ring_row(top + i), ring_row(top + i + 1));
        // Row i works on column step - i row_lag. A step in which every row
        // of a whole band has a column chooses for all of them at once;
        // the steps where the band starts and ends, one row after another.
        const int32_t steps = width + (rows - 1) * row_lag;
        const auto one_step = [&](int32_t step) {
            for (int32_t i = 0; i < rows; ++i) {
                const int32_t x = step - i * row_lag;
                if (x < 0 || x >= width)
                    continue;
                if (i == 0)
                    need(std::min(width, x + 3));
                if (x == 0)
                    begin_row(walk[i]);
                const PixelTargets t = targets_of(tables, walk[i], x);
                finish_pixel(tables, walk[i], x, t.plain, select_one(select, t));
                if (x == width - 1)
                    end_row(task, walk[i]);
                if (i == rows - 1)
                    publish(x == width - 1 ? width : x);
            }
        };
        int32_t step = 0;
        if (rows == B) {
            // Until the bottom row has begun.
            for (; step <= (B - 1) * row_lag && step < steps; ++step)
                one_step(step);
            // Every row has a column from here until the top row's last.
            for (; step < width; ++step) {
                need(std::min(width, step + 3));
                PixelTargets t[B];
                for (int32_t i = 0; i < B; ++i)
                    t[i] = targets_of(tables, walk[i], step - i * row_lag);
                int32_t best[B];
                select_many<B>(select, t, best);
                for (int32_t i = 0; i < B; ++i)
                    finish_pixel(tables, walk[i], step - i * row_lag, t[i].plain, best[i]);
                if (step == width - 1)
                    end_row(task, walk[0]);
                publish(step - (B - 1) * row_lag);
            }
        }
        for (; step < steps; ++step)
            one_step(step);
    }
}

}  // namespace
