// How the threads of the remapping's wavefront hand rows over: each thread
// publishes how far the bottom row of its current band has come, and the
// thread below waits for it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

// y * (width + 1) + the number of slots of the next row's error sums that
// row y (the bottom row of a band) has completed. The number only grows, so
// a reader can tell a row that has not started from one that is done. One
// cache line each, so that threads do not disturb each other's.
struct alignas(64) RowProgress {
    std::atomic<int64_t> position{-1};

    // Row y has completed `done` slots; the release makes them visible to
    // the thread that sees the number.
    void publish(int32_t y, int32_t width, int32_t done) {
        position.store(static_cast<int64_t>(y) * (width + 1) + done, std::memory_order_release);
    }

    // Waits until row y has completed `need` slots and returns how many it
    // has completed by then. Spins briefly, then yields: another thread of
    // the same run may need this core.
    int32_t wait_for(int32_t y, int32_t width, int32_t need) const {
        const int64_t base = static_cast<int64_t>(y) * (width + 1);
        int64_t seen = position.load(std::memory_order_acquire);
        for (int spins = 0; seen < base + need; ++spins) {
            if (spins < 64) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
                __builtin_ia32_pause();
#endif
            } else {
                std::this_thread::yield();
            }
            seen = position.load(std::memory_order_acquire);
        }
        return static_cast<int32_t>(std::min<int64_t>(seen - base, INT32_MAX));
    }
};
