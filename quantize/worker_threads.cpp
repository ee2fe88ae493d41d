#include "quantize/worker_threads.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

void run_on_threads(int32_t count, const std::function<void(int32_t, int32_t)>& work) {
    if (count <= 1) {
        work(0, 1);
        return;
    }
    // The helpers wait for the final count before they start, so that the
    // work is dealt out only among threads that exist.
    std::atomic<int32_t> go{0};
    std::vector<std::thread> helpers;
    try {
        for (int32_t t = 1; t < count; ++t) {
            helpers.emplace_back([&go, &work, t] {
                int32_t n;
                while ((n = go.load(std::memory_order_acquire)) == 0)
                    std::this_thread::yield();
                work(t, n);
            });
        }
    } catch (const std::system_error&) {
    }
    const int32_t n = static_cast<int32_t>(helpers.size()) + 1;
    go.store(n, std::memory_order_release);
    work(0, n);
    for (std::thread& helper : helpers)
        helper.join();
}
