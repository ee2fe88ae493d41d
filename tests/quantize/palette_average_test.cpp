#include "quantize/palette_average.h"

#include <gtest/gtest.h>

#include "tests/quantize/quantize_test_support.h"

namespace {

struct Member {
    uint8_t y, cr, cb;
    double weight;
    int32_t cluster;
};

struct Example {
    const char* name;
    std::vector<Member> members;
    int32_t count;
    const char* report;
};

TEST(PaletteAverage, WorkedExamples) {
    const Example examples[] = {
        {"white alone", {{254, 127, 127, 1, 0}}, 1, "pal[0] (count:1) : 254, 254, 254\n"},
        {"mid grey, any weight",
         {{66, 127, 127, 12345, 0}},
         1,
         "pal[0] (count:12345) : 127, 127, 126\n"},
        {"black and white in linear light",
         {{0, 127, 127, 1, 0}, {254, 127, 127, 1, 0}},
         1,
         "pal[0] (count:2) : 179, 179, 179\n"},
        {"black thrice, white once",
         {{0, 127, 127, 3, 0}, {254, 127, 127, 1, 0}},
         1,
         "pal[0] (count:4) : 124, 124, 124\n"},
        {"two entries",
         {{254, 127, 127, 1, 0}, {0, 127, 127, 1, 1}},
         2,
         "pal[0] (count:1) : 254, 254, 254\npal[1] (count:1) : 0, 0, 0\n"},
        {"an entry without members",
         {{66, 127, 127, 2, 1}},
         2,
         "pal[0] (count:0) : 0, 0, 0\npal[1] (count:2) : 127, 127, 126\n"},
        {"counts from a million on in exponent form",
         {{66, 127, 127, 1234567, 0}},
         1,
         "pal[0] (count:1.23457e+06) : 127, 127, 126\n"},
    };
    for (const Example& e : examples) {
        ColorTable table;
        for (const Member& m : e.members)
            table.push_back({{m.y, m.cr, m.cb}, m.cluster, m.weight});
        Palette palette;
        const std::string report =
            capture([&](FILE* out) { palette = average_palette(table, e.count, out); });
        EXPECT_EQ(report, e.report) << e.name;
        EXPECT_EQ(palette.size(), 3u * e.count) << e.name;
    }
}

}  // namespace
