// The loaders' memory follows the data: a short file or block that claims a
// huge picture is refused before much memory is asked for. This program
// replaces the global operator new to track the peak of live heap bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "image/dib24.h"
#include "tests/image/byte_stream.h"
#include "tests/image/packed_dib_bytes.h"

namespace {

size_t live_bytes = 0;
size_t peak_bytes = 0;
constexpr size_t prefix = 16;  // keeps the block's alignment

void* counted_alloc(size_t n) {
    auto* p = static_cast<unsigned char*>(std::malloc(n + prefix));
    if (p == nullptr)
        return nullptr;
    *reinterpret_cast<size_t*>(p) = n;
    live_bytes += n;
    if (live_bytes > peak_bytes)
        peak_bytes = live_bytes;
    return p + prefix;
}

void counted_free(void* q) {
    if (q == nullptr)
        return;
    auto* p = static_cast<unsigned char*>(q) - prefix;
    live_bytes -= *reinterpret_cast<size_t*>(p);
    std::free(p);
}

// Peak heap growth, in bytes, while `f` runs.
template <class F>
size_t peak_during(F f) {
    const size_t base = live_bytes;
    peak_bytes = live_bytes;
    f();
    return peak_bytes - base;
}

TEST(LoadMemory, ShortFilesClaimingHugePicturesCostLittle) {
    struct Case {
        const char* what;
        Bytes file;
    };
    std::vector<Case> cases;
    {
        // 26000 x 26000 at 8 bits: a store of about 2 GB, 676 MB of rows claimed.
        Bytes f = bitmap_file_header(26000, 26000, 8, 54 + 8, 0, 2);
        f.resize(62 + 8, 0);
        cases.push_back({"rows claimed", f});
    }
    {
        Bytes f = bitmap_file_header(50000, 50000, 24, 54);
        f.resize(60, 0);
        cases.push_back({"50000 x 50000", f});
    }
    {
        Bytes f = bitmap_file_header(1, 1, 24, 0xFFFFFFF0u);
        f.resize(60, 0);
        cases.push_back({"header block of 4 GB claimed", f});
    }
    for (const Case& c : cases) {
        dib24 image;
        image.create(1, 1, 0);
        bool loaded = true;
        const size_t peak = peak_during([&] { loaded = load_bytes(image, c.file); });
        EXPECT_FALSE(loaded) << c.what;
        EXPECT_LT(peak, size_t{1} << 20) << c.what;
    }
}

TEST(LoadMemory, ShortBlocksClaimingHugePicturesCostLittle) {
    Bytes dib = packed_header(26000, 26000, 8, BI_RGB, 2);
    dib.resize(dib.size() + 16, 0);
    dib24 image;
    image.create(1, 1, 0);
    bool loaded = true;
    const size_t peak = peak_during([&] { loaded = load_block(image, dib); });
    EXPECT_FALSE(loaded);
    EXPECT_LT(peak, size_t{1} << 20);
}

}  // namespace

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
