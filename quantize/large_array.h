// The quantizer's large working arrays: whole pages from the system, zero
// when they come (so untouched parts cost nothing), on huge pages where the
// system offers them (one page fault per 2 MiB instead of one per 4 KiB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/win32.h"

// Whole pages for a vector: an allocator whose elements are left as the
// pages come (zero) instead of being written when the vector grows, so that
// its room is touched only where it is filled.
template <class T>
struct PageAllocator {
    static_assert(std::is_trivially_copyable_v<T>);
    using value_type = T;

    PageAllocator() = default;
    template <class U>
    PageAllocator(const PageAllocator<U>&) noexcept {}

    T* allocate(size_t count) {
        if (count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        void* p =
            VirtualAlloc(nullptr, count * sizeof(T), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (p == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { VirtualFree(p, 0, MEM_RELEASE); }
    // A new element without a value is not written at all.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U>
    bool operator==(const PageAllocator<U>&) const noexcept {
        return true;
    }
};

// `count` elements of a type whose all-zero bytes are its zero value.
template <class T>
class LargeArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    LargeArray() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    explicit LargeArray(size_t count)
        : data_(count != 0 ? PageAllocator<T>().allocate(count) : nullptr), count_(count) {}
    LargeArray(LargeArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)) {}
    LargeArray& operator=(LargeArray&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(count_, other.count_);
        return *this;
    }
    ~LargeArray() {
        if (data_ != nullptr)
            PageAllocator<T>().deallocate(data_, count_);
    }

    T* data() { return data_; }
    const T* data() const { return data_; }
    size_t size() const { return count_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }

  private:
    T* data_ = nullptr;
    size_t count_ = 0;
};
