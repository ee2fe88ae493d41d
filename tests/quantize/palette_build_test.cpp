#include "quantize/palette_build.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/quantize/reference_quantizer.h"

namespace {

struct Colour {
    uint8_t y, cr, cb;
    double weight;
};

ColorTable make_table(const std::vector<Colour>& colours) {
    ColorTable table;
    for (const Colour& c : colours)
        table.push_back({{c.y, c.cr, c.cb}, 0, c.weight});
    return table;
}

// The literal version on a full table of `slots` slots, the unused ones empty.
std::vector<int32_t> reference_clusters(const std::vector<Colour>& colours, int32_t slots,
                                        int32_t limit, int32_t& count) {
    std::vector<reference::Entry> table(slots, reference::Entry{{0, 0, 0}, -1, 0.0});
    for (size_t i = 0; i < colours.size(); ++i) {
        table[i] = {{colours[i].y, colours[i].cr, colours[i].cb}, 0, colours[i].weight};
    }
    count = reference::build_clusters(table, slots, limit);
    std::vector<int32_t> clusters;
    for (size_t i = 0; i < colours.size(); ++i)
        clusters.push_back(table[i].cluster);
    return clusters;
}

struct Example {
    const char* name;
    std::vector<Colour> colours;
    int32_t count;
    std::vector<int32_t> clusters;
};

TEST(PaletteBuild, WorkedExamples) {
    const Example examples[] = {
        {"one colour", {{50, 127, 127, 9}}, 1, {0}},
        {"no colour", {}, 1, {}},
        {"two on Y", {{10, 127, 127, 1}, {20, 127, 127, 1}}, 2, {1, 0}},
        {"three on Y", {{10, 127, 127, 1}, {20, 127, 127, 1}, {30, 127, 127, 1}}, 3, {2, 1, 0}},
        {"mean truncated onto the lower value",
         {{10, 127, 127, 100}, {11, 127, 127, 1}},
         1,
         {0, 0}},
        {"black and white", {{0, 127, 127, 1}, {254, 127, 127, 1}}, 2, {1, 0}},
    };
    for (const Example& e : examples) {
        ColorTable table = make_table(e.colours);
        EXPECT_EQ(build_clusters(table, 255), e.count) << e.name;
        for (size_t i = 0; i < e.colours.size(); ++i) {
            EXPECT_EQ(table[i].cluster, e.clusters[i]) << e.name << " entry " << i;
        }
        int32_t reference_count;
        const auto literal = reference_clusters(
            e.colours, static_cast<int32_t>(e.colours.size()) + 2, 255, reference_count);
        EXPECT_EQ(reference_count, e.count) << e.name;
        EXPECT_EQ(literal, e.clusters) << e.name;
    }
}

TEST(PaletteBuild, EqualSpreadsGoToTheLowerChannel) {
    // Each pair of channels below spreads equally (Y after its factor 1.3)
    // but would be cut differently; one split (limit 2) shows the axis.
    struct Tie {
        const char* name;
        std::vector<Colour> colours;
        std::vector<int32_t> clusters;
    };
    const Tie ties[] = {
        // Y spread 100 * 1.3 = 130 = Cr spread; cut on Y at 5.
        {"Y before Cr", {{0, 0, 9, 1}, {0, 11, 9, 1}, {10, 3, 9, 1}, {10, 14, 9, 1}}, {1, 1, 0, 0}},
        // Cr and Cb both spread 100, Y not at all; cut on Cr at 5.
        {"Cr before Cb",
         {{7, 0, 0, 1}, {7, 0, 10, 1}, {7, 10, 0, 1}, {7, 10, 10, 1}},
         {1, 1, 0, 0}},
    };
    for (const Tie& t : ties) {
        ColorTable table = make_table(t.colours);
        ASSERT_EQ(build_clusters(table, 2), 2) << t.name;
        int32_t reference_count;
        EXPECT_EQ(reference_clusters(t.colours, 4, 2, reference_count), t.clusters) << t.name;
        for (size_t i = 0; i < t.colours.size(); ++i) {
            EXPECT_EQ(table[i].cluster, t.clusters[i]) << t.name << " entry " << i;
        }
    }
}

TEST(PaletteBuild, LimitIsReachedNotExceeded) {
    std::vector<Colour> colours;
    for (int i = 0; i < 600; ++i) {
        colours.push_back({static_cast<uint8_t>(i % 250), static_cast<uint8_t>((i * 7) % 256),
                           static_cast<uint8_t>((i * 13) % 256), 1.0 + i % 5});
    }
    for (int32_t limit : {1, 2, 17, 255}) {
        ColorTable table = make_table(colours);
        EXPECT_EQ(build_clusters(table, limit), limit);
        std::vector<int> used(limit, 0);
        for (const ColorEntry& e : table) {
            ASSERT_GE(e.cluster, 0);
            ASSERT_LT(e.cluster, limit);
            used[e.cluster] = 1;
        }
        for (int32_t k = 0; k < limit; ++k)
            EXPECT_EQ(used[k], 1) << "cluster " << k;
    }
}

TEST(PaletteBuild, MatchesTheLiteralWalkOnRandomTables) {
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + static_cast<int>(random() % 700);
        const int spread = 1 + static_cast<int>(random() % 256);
        std::vector<Colour> colours;
        for (int i = 0; i < n; ++i) {
            colours.push_back({static_cast<uint8_t>(random() % spread % 255),
                               static_cast<uint8_t>(random() % spread),
                               static_cast<uint8_t>(random() % spread),
                               static_cast<double>(1 + random() % (round % 3 == 0 ? 1 : 50))});
        }
        const int32_t limit = round % 4 == 0 ? 255 : 1 + static_cast<int32_t>(random() % 255);
        int32_t reference_count;
        const auto literal = reference_clusters(colours, n + round % 3, limit, reference_count);
        ColorTable table = make_table(colours);
        ASSERT_EQ(build_clusters(table, limit), reference_count) << "round " << round;
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(table[i].cluster, literal[i]) << "round " << round;
    }
}

}  // namespace
