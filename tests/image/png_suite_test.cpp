// The public PNG test suite: every file that decodes equals its expected
// pixels (16-bit samples cut to their high byte, alpha over white) and tells
// its rows as they are decoded, and every corrupted file ("x" names) is
// refused and leaves the image as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "image/pixel_rows.h"
#include "image/picture_file.h"
#include "tests/image/checking_watch.h"

namespace {

namespace fs = std::filesystem;
const fs::path suite = "../shared/testdata/pngsuite";

std::vector<uint8_t> file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The numbers of a flat JSON array.
std::vector<unsigned> json_numbers(const fs::path& path) {
    std::vector<unsigned> numbers;
    const std::vector<uint8_t> text = file_bytes(path);
    unsigned value = 0;
    bool in_number = false;
    for (uint8_t c : text) {
        if (std::isdigit(c)) {
            value = 10 * value + (c - '0');
            in_number = true;
        } else if (in_number) {
            numbers.push_back(value);
            value = 0;
            in_number = false;
        }
    }
    return numbers;
}

bool load_path(dib24& image, const fs::path& path, RowWatch& watch) {
    FILE* f = std::fopen(path.string().c_str(), "rb");
    if (f == nullptr)
        return false;
    const bool ok = load_picture(image, f, nullptr, &watch);
    std::fclose(f);
    return ok;
}

TEST(PngSuite, DecodedFilesEqualTheirExpectedPixelsAndDamagedOnesAreRefused) {
    // A source tree unpacked on its own (a release tarball) has no test data
    // beside it.
    if (!fs::is_directory(suite / "png"))
        GTEST_SKIP() << "the PNG test suite is not there: " << suite << " (beside the project)";
    int decoded = 0, refused = 0;
    for (const auto& entry : fs::directory_iterator(suite / "png")) {
        const std::string name = entry.path().stem().string();
        SCOPED_TRACE(name);
        dib24 image;
        image.create(1, 1, 0);
        image.bits[0] = 0x5A;
        CheckingWatch watch;
        const bool loaded = load_path(image, entry.path(), watch);
        watch.expect_told_right(image, loaded);
        if (name[0] == 'x') {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(image.width, 1);
            EXPECT_EQ(image.bits[0], 0x5A);
            refused += !loaded;
            continue;
        }
        ASSERT_TRUE(loaded);
        ++decoded;
        // IHDR: width and height at 16 and 20, bit depth at 24.
        const std::vector<uint8_t> png = file_bytes(entry.path());
        const int shift = png[24] == 16 ? 8 : 0;
        const std::vector<unsigned> rgba = json_numbers(suite / "json" / (name + ".json"));
        ASSERT_EQ(rgba.size(), size_t{4} * image.width * image.height);
        int mismatches = 0;
        for (int y = 0; y < image.height; ++y) {
            const uint8_t* row = image.bits + size_t(image.height - 1 - y) * image.stride;
            for (int x = 0; x < image.width; ++x) {
                const unsigned* want = &rgba[4 * (size_t(y) * image.width + x)];
                const unsigned a = want[3] >> shift;
                for (int c = 0; c < 3; ++c) {
                    const uint8_t expected = over_white(want[c] >> shift, a);
                    if (row[3 * x + 2 - c] != expected && mismatches++ < 3)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << " is "
                                      << int(row[3 * x + 2 - c]) << ", expected " << int(expected);
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    EXPECT_EQ(decoded, 161);
    EXPECT_EQ(refused, 14);
}

}  // namespace
