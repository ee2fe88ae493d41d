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

// The rows of `thread`: picture rows thread, thread + T, thread + 2T ... of a
// run on T threads (with one thread, every row).
//
// Row y reads the error sums that row y - 1 left in ring row y mod (T + 1)
// and leaves its own for row y + 1 in the next ring row. Each slot of a row
// receives its shares in the order of a single pass: the slot x that row y
// reads gets row y - 1's shares from columns x - 2 .. x + 1, then row y's
// own from x - 2 and x - 1. The shares of the row itself are kept in
// registers (`here`, `ahead`) and added after the row above's total, and the
// three open slots of the row below likewise, each stored once when complete
// (slot x - 1 at column x). So column x of row y needs slot x + 2 of its own
// row complete: row y - 1 must have passed column x + 3, or finished, near
// the right edge. The two slots past the edge are never written and stay 0.
//
// A ring row is free again when row y writes it: its previous reader, row
// y - T, ran earlier on this very thread, and its previous writer, row
// y - T - 1, had finished before row y - T could end. T + 1 rows suffice.
template <class Select>
QV_REMAP_TARGET void remap_rows(RemapTask& task, const Select& select, int32_t thread) {
    const int32_t width = task.width, height = task.height, threads = task.threads;
    const size_t slots = static_cast<size_t>(width) + 2;
    double* ring = task.ring.data();
    const int32_t* working = task.working;
    const uint8_t* colours = task.palette->data();
    RowProgress* own = threads > 1 ? &task.progress[thread] : nullptr;
    const Lanes* chosen = task.chosen.data();
    const Lanes weights = {distance_weight[0], distance_weight[1], distance_weight[2],
                           distance_weight[3]};
    const Sums zero = {0, 0, 0, 0};
    for (int32_t y = thread; y < height; y += threads) {
        const double* cur = ring + 4 * static_cast<size_t>(y % (threads + 1)) * slots;
        double* next = ring + 4 * static_cast<size_t>((y + 1) % (threads + 1)) * slots;
        const RowProgress* above =
            threads > 1 && y > 0 ? &task.progress[(y - 1) % threads] : nullptr;
        const int64_t above_base = static_cast<int64_t>(y - 1) * (width + 1);
        const int64_t own_base = static_cast<int64_t>(y) * (width + 1);
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
        need(std::min(width, 2));

        uint8_t* row = task.image->bits + static_cast<int64_t>(height - 1 - y) * task.image->stride;
        uint8_t* index_row =
            task.indices != nullptr ? task.indices + static_cast<size_t>(y) * width : nullptr;
        Sums here = load_slot(cur, 0), ahead = load_slot(cur, 1);
        Sums below_left = zero, below = zero, below_right = zero;
        for (int32_t x = 0; x < width; ++x) {
            need(std::min(width, x + 3));
            uint8_t* px = row + 3 * x;
            Lanes plain;
            plain[0] = working[px[2]];
            plain[1] = working[px[1]];
            plain[2] = working[px[0]];
            plain[3] = luma_of(plain[0], plain[1], plain[2]);
            const Lanes adjusted = clamp_and_truncate(to_sums(plain) + here * 0.01);
            const int32_t best = select(adjusted * weights, plain * weights);

            // The error is taken from the plain value, so diffused error is
            // not passed on further. Weights add up to 100 and are scaled back
            // by the 0.01 above; in column 0 the share to the left is dropped.
            const Sums e = to_sums(plain - chosen[best]) * 2.5 + 0.5;
            here = ahead + e * 30;
            ahead = load_slot(cur, x + 2) + e * 10;
            if (x > 0)
                store_slot(next, x - 1, below_left + e * 20);
            below_left = below + e * 25;
            below = below_right + e * 10;
            below_right = zero + e * 5;
            px[0] = colours[3 * best + 2];
            px[1] = colours[3 * best + 1];
            px[2] = colours[3 * best];
            if (index_row != nullptr)
                index_row[x] = static_cast<uint8_t>(best);
            if (own != nullptr)
                own->position.store(own_base + x, std::memory_order_release);
        }
        if (width > 0)
            store_slot(next, width - 1, below_left);
        if (own != nullptr)
            own->position.store(own_base + width, std::memory_order_release);
    }
}

}  // namespace
