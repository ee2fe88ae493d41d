// The public bitmap test suite: every file the loader should read loads and
// matches its reference rendering pixel for pixel; every other file is
// refused and leaves the image as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/dib24.h"
#include "tests/image/png_reader.h"

namespace {

const std::string suite = "../shared/testdata/bmpsuite/";

struct Row {
    std::string path, expected, reference, check;
    int width = 0, height = 0;
};

std::vector<Row> read_manifest() {
    std::vector<Row> rows;
    std::ifstream in(suite + "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, '\t'))
            cells.push_back(cell);
        cells.resize(15);
        Row r;
        r.path = cells[0];
        r.width = std::atoi(cells[1].c_str());
        r.height = std::atoi(cells[2].c_str());
        r.expected = cells[10];
        r.reference = cells[12];
        r.check = cells[13];
        rows.push_back(r);
    }
    return rows;
}

bool load_path(dib24& image, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    bool ok = image.load(f);
    std::fclose(f);
    return ok;
}

// Compares the store with the rendering; `swap_red_green` for the one file
// whose pixels only an embedded colour profile puts right.
void expect_matches(const dib24& image, const RgbImage& ref, bool swap_red_green) {
    ASSERT_EQ(image.width, ref.width);
    ASSERT_EQ(image.height, ref.height);
    int mismatches = 0;
    for (int r = 0; r < ref.height; ++r) {
        const uint8_t* row = image.bits + size_t(image.height - 1 - r) * image.stride;
        for (int x = 0; x < ref.width; ++x) {
            const uint8_t* want = ref.at(x, r);
            uint8_t red = row[3 * x + 2], green = row[3 * x + 1], blue = row[3 * x];
            if (swap_red_green)
                std::swap(red, green);
            if (red != want[0] || green != want[1] || blue != want[2]) {
                if (mismatches++ < 3)
                    ADD_FAILURE() << "pixel (" << x << ", " << r << ") is " << int(red) << ","
                                  << int(green) << "," << int(blue) << ", reference "
                                  << int(want[0]) << "," << int(want[1]) << "," << int(want[2]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(BmpSuite, AcceptedFilesMatchTheirRenderingsAndTheRestAreRefused) {
    // A source tree unpacked on its own (a release tarball) has no test data
    // beside it.
    if (!std::ifstream(suite + "MANIFEST.tsv"))
        GTEST_SKIP() << "the bitmap test suite is not there: " << suite << " (beside the project)";
    const std::vector<Row> rows = read_manifest();
    ASSERT_EQ(rows.size(), 90u) << "test data missing: " << suite;
    int accepted = 0, refused = 0, compared = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        dib24 image;
        image.create(1, 1, 0);
        image.bits[0] = 0x5A;
        const bool loaded = load_path(image, suite + row.path);
        if (row.expected == "REJECT") {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(image.width, 1);
            EXPECT_EQ(image.height, 1);
            ASSERT_NE(image.bits, nullptr);
            EXPECT_EQ(image.bits[0], 0x5A);
            refused += !loaded;
            continue;
        }
        ASSERT_EQ(row.expected, "ACCEPT");
        EXPECT_TRUE(loaded);
        if (!loaded)
            continue;
        ++accepted;
        EXPECT_EQ(image.width, row.width);
        EXPECT_EQ(image.height, row.height < 0 ? -row.height : row.height);
        RgbImage ref;
        std::string error;
        ASSERT_TRUE(read_png(suite + row.reference, ref, error)) << row.reference << ": " << error;
        const bool exact = row.check.rfind("exact", 0) == 0;
        const bool swapped = row.check.rfind("differs", 0) == 0;
        ASSERT_TRUE(exact || swapped) << row.check;
        expect_matches(image, ref, swapped);
        ++compared;
    }
    EXPECT_EQ(accepted, 33);
    EXPECT_EQ(refused, 57);
    EXPECT_EQ(compared, 33);
}

}  // namespace
