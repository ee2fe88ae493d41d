#include "app/batch_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The line on standard error (a terminal) that shows how far a batch is,
// redrawn in place and cleared before other lines are printed.
class ProgressLine {
  public:
    explicit ProgressLine(bool on) : on_(on), start_(Clock::now()) {}

    void draw(size_t done, size_t all, double megapixels) {
        if (!on_)
            return;
        char text[160];
        int n = std::snprintf(text, sizeof text, "%zu of %zu pictures", done, all);
        if (done > 0 && done < all) {
            const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
            const long left = std::lround(seconds * double(all - done) / double(done));
            n += std::snprintf(text + n, sizeof text - n, ", %.1f megapixels a second",
                               seconds > 0 ? megapixels / seconds : 0.0);
            if (left >= 3600)
                std::snprintf(text + n, sizeof text - n, ", %ld:%02ld:%02ld left", left / 3600,
                              left / 60 % 60, left % 60);
            else
                std::snprintf(text + n, sizeof text - n, ", %ld:%02ld left", left / 60, left % 60);
        }
        const int length = static_cast<int>(std::strlen(text));
        // Spaces over what a longer line before left.
        std::fprintf(stderr, "\r%s%*s", text, std::max(0, shown_ - length), "");
        std::fflush(stderr);
        shown_ = std::max(shown_, length);
    }

    void clear() {
        if (shown_ == 0)
            return;
        std::fprintf(stderr, "\r%*s\r", shown_, "");
        std::fflush(stderr);
        shown_ = 0;
    }

  private:
    bool on_;
    Clock::time_point start_;
    int shown_ = 0;
};

}  // namespace

bool run_batch(const std::vector<ReduceJob>& jobs, const BatchSettings& settings) {
    const size_t n = jobs.size();
    const int32_t workers =
        static_cast<int32_t>(std::clamp<size_t>(size_t(std::max(settings.pictures, 1)), 1, n));
    std::vector<JobOutcome> outcomes(n);
    std::vector<char> done(n, 0);
    size_t finished = 0;
    double megapixels = 0;
    std::mutex lock;
    std::condition_variable changed;
    std::atomic<size_t> next{0};
    const auto work = [&](int32_t threads) {
        JobSettings own = settings.job;
        own.quantize.threads = threads;
        JobBuffers buffers;
        for (size_t i; (i = next++) < n;) {
            JobOutcome outcome = run_job(jobs[i], own, buffers);
            std::lock_guard held(lock);
            megapixels += double(outcome.width) * double(outcome.height) / 1e6;
            outcomes[i] = std::move(outcome);
            done[i] = 1;
            ++finished;
            changed.notify_one();
        }
    };

    // The hardware threads shared out: each worker at least one, the first
    // ones one more where they do not divide evenly.
    const int32_t budget = std::max(settings.threads, workers);
    std::vector<std::thread> threads;
    for (int32_t w = 0; w < workers; ++w) {
        try {
            threads.emplace_back(work, budget / workers + (w < budget % workers ? 1 : 0));
        } catch (const std::system_error&) {
            break;  // fewer workers then
        }
    }
    if (threads.empty())
        work(budget);

    ProgressLine progress(settings.progress);
    bool all_well = true;
    for (size_t printed = 0; printed < n;) {
        std::unique_lock held(lock);
        changed.wait_for(held, std::chrono::milliseconds(250), [&] { return done[printed] != 0; });
        size_t ready = printed;
        while (ready < n && done[ready] != 0)
            ++ready;
        const size_t finished_now = finished;
        const double megapixels_now = megapixels;
        held.unlock();
        if (ready > printed)
            progress.clear();
        for (; printed < ready; ++printed) {
            all_well =
                print_outcome(jobs, printed, outcomes[printed], settings.printing) && all_well;
            outcomes[printed].report = {};
        }
        std::fflush(stdout);
        progress.draw(finished_now, n, megapixels_now);
    }
    progress.clear();
    for (std::thread& thread : threads)
        thread.join();
    return all_well;
}
