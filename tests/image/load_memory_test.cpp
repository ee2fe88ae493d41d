// The loaders' memory follows the data: a short file or block that claims a
// huge picture is refused before much memory is asked for. This program
// counts its heap (tests/heap_counter.h).
#include <gtest/gtest.h>

#include "image/dib24.h"
#include "tests/heap_counter.h"
#include "tests/image/byte_stream.h"
#include "tests/image/packed_dib_bytes.h"

namespace {

using heap_counter::peak_during;

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
