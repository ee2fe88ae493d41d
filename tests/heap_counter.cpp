// The global operator new and delete of a program that measures its heap: each
// block carries its size in front, added to a running total on the way in and
// taken off on the way out.
#include "tests/heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> live_bytes{0};
std::atomic<size_t> peak_bytes{0};
constexpr size_t prefix = 16;  // keeps the block's alignment

void* counted_alloc(size_t n) {
    auto* p = static_cast<unsigned char*>(std::malloc(n + prefix));
    if (p == nullptr)
        return nullptr;
    *reinterpret_cast<size_t*>(p) = n;
    heap_counter::add(n);
    return p + prefix;
}

void counted_free(void* q) {
    if (q == nullptr)
        return;
    auto* p = static_cast<unsigned char*>(q) - prefix;
    heap_counter::remove(*reinterpret_cast<size_t*>(p));
    std::free(p);
}

}  // namespace

namespace heap_counter {

void add(size_t n) {
    const size_t live = live_bytes.fetch_add(n, std::memory_order_relaxed) + n;
    size_t peak = peak_bytes.load(std::memory_order_relaxed);
    while (live > peak &&
           !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
}

void remove(size_t n) {
    live_bytes.fetch_sub(n, std::memory_order_relaxed);
}

size_t live() {
    return live_bytes.load(std::memory_order_relaxed);
}

size_t peak() {
    return peak_bytes.load(std::memory_order_relaxed);
}

void reset_peak() {
    peak_bytes.store(live_bytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace heap_counter

void* operator new(size_t n) {
    if (void* p = counted_alloc(n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    return operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return counted_alloc(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return counted_alloc(n);
}
void operator delete(void* p) noexcept {
    counted_free(p);
}
void operator delete[](void* p) noexcept {
    counted_free(p);
}
void operator delete(void* p, size_t) noexcept {
    counted_free(p);
}
void operator delete[](void* p, size_t) noexcept {
    counted_free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    counted_free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    counted_free(p);
}
