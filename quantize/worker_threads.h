// The quantizer's threads: one launcher for every phase that divides its work
// among threads.
#pragma once

#include <cstdint>
#include <functional>

// Runs work(t, n) for t = 0 .. n - 1, each on a thread of its own (t = 0 on
// the calling thread), and returns when all are done. n is `count` (at least
// 1), or fewer where the system refuses to start a thread: the work is then
// divided among the threads that started, so the caller must not depend on
// n. Every thread starts its work only when n is known.
void run_on_threads(int32_t count, const std::function<void(int32_t t, int32_t n)>& work);
