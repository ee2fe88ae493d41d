#include "quantize/remap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "app/load_input.h"
#include "quantize/color_table.h"
#include "quantize/palette_build.h"
#include "tests/quantize/quantize_test_support.h"
#include "tests/quantize/reference_quantizer.h"

namespace {

const Rgb black{0, 0, 0}, white{255, 255, 255};

// The bytes the literal remapping gives for the picture `image` holds.
std::vector<uint8_t> literally_remapped(const dib24& image, const Palette& palette,
                                        bool dither = true) {
    reference::State state;
    state.palette_count = static_cast<int32_t>(palette.size() / 3);
    state.palette = palette;
    dib24 literal;
    literal.create(image.width, image.height, 0);
    std::memcpy(literal.bits, image.bits, static_cast<size_t>(image.stride) * image.height);
    static FILE* const quiet = std::tmpfile();  // the report, not looked at here
    if (quiet == nullptr)
        return {};
    std::rewind(quiet);
    reference::remap(literal, state, quiet, dither);
    return image_bytes(literal);
}

// Copies each row's indices as the remapping tells that the row is final.
struct TellingWatch final : RemapWatch {
    TellingWatch(const std::vector<uint8_t>& indices, int32_t width)
        : indices(indices), width(width) {}
    void remapping(const Palette&) override {}
    void rows_final(int32_t count) override {
        const size_t end = static_cast<size_t>(count) * width;
        growing = growing && end > copied.size() && end <= indices.size();
        if (growing)
            copied.insert(copied.end(), indices.begin() + copied.size(), indices.begin() + end);
    }
    const std::vector<uint8_t>& indices;
    const int32_t width;
    std::vector<uint8_t> copied;
    bool growing = true;
};

std::string remap_row_pattern(const dib24& image, int32_t y) {
    std::string s;
    for (int32_t x = 0; x < image.width; ++x) {
        const Rgb p = pixel_at(image, x, y);
        s += p.r == 0 ? 'B' : (p.r == 255 ? 'W' : '?');
    }
    return s;
}

struct GreyCase {
    uint8_t grey;
    int32_t width, height;
    std::vector<std::string> rows;
};

TEST(Remap, GreysOnBlackAndWhite) {
    const GreyCase cases[] = {
        {128, 16, 1, {"BBBBBBBBBBBBBBBB"}},
        {128, 8, 2, {"BBBBBBBB", "BWBBWBBW"}},
        {188, 16, 1, {"WBWBWBWBWBWBWBWB"}},
    };
    const Palette palette = {0, 0, 0, 255, 255, 255};
    for (const GreyCase& c : cases) {
        dib24 image;
        fill_image(image, c.width, c.height, [&](int32_t, int32_t) {
            return Rgb{c.grey, c.grey, c.grey};
        });
        const std::string report = capture([&](FILE* out) { remap_image(image, palette, out); });
        EXPECT_EQ(without_time(report), "start\ncache hit: 0% [Tmsec]\n");
        for (int32_t y = 0; y < c.height; ++y) {
            EXPECT_EQ(remap_row_pattern(image, y), c.rows[y]) << int(c.grey) << " row " << y;
        }
    }
}

TEST(Remap, OneEntryPaletteTakesEveryPixel) {
    dib24 image;
    fill_image(image, 5, 3, [](int32_t x, int32_t y) {
        return Rgb{static_cast<uint8_t>(40 * x), static_cast<uint8_t>(90 * y), 200};
    });
    capture([&](FILE* out) { remap_image(image, {10, 20, 30}, out); });
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            const Rgb p = pixel_at(image, x, y);
            EXPECT_EQ(p.r, 10);
            EXPECT_EQ(p.g, 20);
            EXPECT_EQ(p.b, 30);
        }
    }
}

TEST(Remap, EqualLinearEntriesGoToTheLaterOne) {
    // Encoded 0, 1 and 2 are all linear 0: black pixels take the last of
    // them and get its own encoded bytes.
    const Palette palette = {0, 0, 0, 1, 1, 1, 2, 2, 2, 255, 255, 255};
    const std::vector<LinearPaletteEntry> linear = make_linear_palette(palette);
    ASSERT_EQ(linear.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(linear[i].red, 0);
        EXPECT_EQ(linear[i].luma, 0);
    }
    EXPECT_EQ(linear[3].red, 255);
    EXPECT_EQ(linear[3].luma, 255);
    dib24 image;
    fill_image(image, 4, 1, [](int32_t, int32_t) { return black; });
    capture([&](FILE* out) { remap_image(image, palette, out); });
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(pixel_at(image, x, 0).r, 2) << x;
}

TEST(Remap, WhitePixelsKeepWhite) {
    dib24 image;
    fill_image(image, 3, 3, [](int32_t, int32_t) { return white; });
    capture([&](FILE* out) { remap_image(image, {0, 0, 0, 255, 255, 255, 128, 128, 128}, out); });
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(pixel_at(image, x, y).g, 255);
    }
}

TEST(Remap, ImageWithoutPixelsOnlyReports) {
    dib24 image;
    const std::string report = capture([&](FILE* out) { remap_image(image, {0, 0, 0}, out); });
    EXPECT_EQ(without_time(report), "start\ncache hit: 0% [Tmsec]\n");
}

// The tests below run once for every version of the remapping; a version
// that the processor lacks is skipped, saying which instruction sets it needs.
class RemapVersionTest : public testing::TestWithParam<size_t> {
  protected:
    void SetUp() override {
        if (!version.supported)
            GTEST_SKIP() << "the " << version.name << " version needs " << version.needs
                         << ", which this processor lacks";
    }
    const RemapVersion version = remap_versions()[GetParam()];
};

INSTANTIATE_TEST_SUITE_P(Versions, RemapVersionTest,
                         testing::Range(size_t{0}, remap_versions().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             std::string name = remap_versions()[info.param].name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Random working-scale targets: the plain one, and the adjusted one up to
// `jitter` away in each channel.
SelectionTargets random_targets(std::mt19937& random, const int32_t plain_rgb[3], int32_t jitter) {
    Lanes plain, adjusted;
    for (int c = 0; c < 3; ++c) {
        plain[c] = plain_rgb[c];
        adjusted[c] = std::clamp(
            plain[c] + static_cast<int32_t>(random() % (2 * jitter + 1)) - jitter, 0, 65280);
    }
    plain[3] = (2989 * plain[0] + 5866 * plain[1] + 1145 * plain[2]) / 10000;
    adjusted[3] = std::clamp(plain[3] + static_cast<int32_t>(random() % 2001) - 1000, 0, 65280);
    return selection_targets(adjusted, plain);
}

// The selection routine against the one-by-one scan, on targets near and
// far from random palettes of up to 255 entries (duplicates among them),
// including the clamped extremes.
TEST_P(RemapVersionTest, ChoosesAsTheScanOfEveryEntry) {
    std::mt19937 random(5);
    for (int round = 0; round < 60; ++round) {
        const int n = 1 + static_cast<int>(random() % 254);
        std::vector<LinearPaletteEntry> linear(n);
        const int range = round % 2 ? 256 : 1 + static_cast<int>(random() % 40);
        for (LinearPaletteEntry& e : linear) {
            e = {static_cast<uint8_t>(random() % range), static_cast<uint8_t>(random() % range),
                 static_cast<uint8_t>(random() % range), 0};
            e.luma = static_cast<uint8_t>((2989 * e.red + 5866 * e.green + 1145 * e.blue) / 10000);
        }
        if (round % 5 == 0)
            linear.push_back(linear[random() % n]);  // duplicates
        const SearchPalette search = make_search_palette(linear);
        std::vector<SelectionTargets> targets;
        std::vector<int32_t> expected;
        for (int t = 0; t < 300; ++t) {
            int32_t plain[3];
            for (int c = 0; c < 3; ++c) {
                plain[c] = static_cast<int32_t>(random() % (range * 256));
                if (t % 3 == 0) {  // close to an entry, where long chains of acceptances occur
                    const LinearPaletteEntry& close = linear[random() % linear.size()];
                    const int32_t v[3] = {close.red, close.green, close.blue};
                    plain[c] = std::clamp(v[c] * 256 + static_cast<int32_t>(random() % 1025) - 512,
                                          0, 65280);
                }
            }
            targets.push_back(random_targets(random, plain, 4000 * (t % 4)));
            expected.push_back(select_entry_scan(search, targets.back()));
        }
        std::vector<int32_t> chosen(expected.size());
        version.select(linear, targets.data(), targets.size(), chosen.data());
        ASSERT_EQ(chosen, expected) << "round " << round;
    }
}

// Entries that just miss the anchor rule (an entry k with
// b_k >= sqrt(2) dA_k D + D^2 is accepted whenever the scan reaches it with a
// larger sum). Along the red channel alone, with the plain target D to the
// right of the adjusted one: entry 0 lies left of both, so its plain distance
// is D more; entry 1 lies far to the right, more than sqrt(2) times as far
// from the adjusted target, with a smaller sum than entry 0's, and misses the
// rule by less than (sqrt(2) - 1.41) dA_1 D. So entry 1 is not accepted, and a
// later copy of entry 0 (a larger sum than entry 1's) is, the later of equals.
// A selection that took entry 1 for an anchor would skip the copy, whether it
// stands among the first 32 entries or after them.
TEST_P(RemapVersionTest, EntriesThatJustMissTheAnchorRuleStillCount) {
    int cases = 0;
    for (int64_t d = 3000; d < 6500 && cases < 24; d += 13) {
        const int64_t gap = 10 * d;  // D, weighted
        for (int64_t right_byte = 60; right_byte < 256 && cases < 24; right_byte += 7) {
            const int64_t right_at = 2560 * right_byte;
            // dA_1 = right_at - 10 A must lie in [3.41 D, (2 + sqrt(2)) D).
            for (int64_t a = (right_at - 34143 * gap / 10000) / 10;
                 10 * a <= right_at - 341 * gap / 100; ++a) {
                const int64_t da1 = right_at - 10 * a, db1 = da1 - gap;
                const int64_t left_byte =
                    (10 * a - static_cast<int64_t>(da1 / std::sqrt(2.0))) / 2560 + 1;
                const int64_t da0 = 10 * a - 2560 * left_byte, db0 = da0 + gap;
                const bool anchor = static_cast<double>(db1 * db1 - gap * gap) >=
                                    std::sqrt(2.0) * static_cast<double>(da1 * gap);
                const bool claimed_by_141 = static_cast<double>(db1 * db1 - gap * gap) >=
                                            1.41 * static_cast<double>(da1 * gap);
                if (a < 0 || a + d > 65280 || left_byte < 0 || da0 <= 0 || anchor ||
                    !claimed_by_141 || da1 * da1 <= 2 * da0 * da0 ||
                    da1 * da1 + db1 * db1 >= da0 * da0 + db0 * db0)
                    continue;
                const LinearPaletteEntry entry0{static_cast<uint8_t>(left_byte), 0, 0, 0};
                const LinearPaletteEntry entry1{static_cast<uint8_t>(right_byte), 0, 0, 0};
                const LinearPaletteEntry elsewhere{0, 255, 0, 0};
                const SelectionTargets targets =
                    selection_targets(Lanes{static_cast<int32_t>(a), 0, 0, 0},
                                      Lanes{static_cast<int32_t>(a + d), 0, 0, 0});
                for (const size_t copy_at : {size_t{2}, size_t{40}}) {
                    std::vector<LinearPaletteEntry> linear(copy_at + 1, elsewhere);
                    linear[0] = linear[copy_at] = entry0;
                    linear[1] = entry1;
                    ASSERT_EQ(select_entry_scan(make_search_palette(linear), targets),
                              static_cast<int32_t>(copy_at));
                    int32_t chosen = -1;
                    version.select(linear, &targets, 1, &chosen);
                    EXPECT_EQ(chosen, static_cast<int32_t>(copy_at))
                        << "D " << gap << ", entries " << left_byte << " and " << right_byte
                        << ", adjusted red " << a << ", copy at " << copy_at;
                }
                ++cases;
            }
        }
    }
    EXPECT_GE(cases, 12);
}

// Entries after the first 32 that lie exactly on the edge of what can still
// be accepted. Along one channel, the adjusted target at A and the plain one
// D further: the best head entry lies u before A, a later entry u after A + D,
// so both have the sum u^2 + (u + D)^2, and the later one (the later of
// equals, being within sqrt(2) of the adjusted target) is accepted; its larger
// distance, D + u, is the largest the bound on the later entries allows. One
// step (the smallest the targets can move) to either side decides the other
// way or keeps it. A selection whose box of later entries is too narrow
// loses the later entry.
TEST_P(RemapVersionTest, LaterEntriesOnTheEdgeOfTheBoundCount) {
    int cases = 0, later_chosen = 0;
    for (int c = 0; c < 3; ++c) {
        // The entries differ in channel c only; entry 0 and the fillers lie
        // far away in another channel.
        const auto entry = [&](int32_t byte, bool distant) {
            uint8_t v[3] = {0, 0, 0};
            v[c] = static_cast<uint8_t>(byte);
            if (distant)
                v[(c + 1) % 3] = 255;
            return LinearPaletteEntry{v[0], v[1], v[2], 0};
        };
        for (int32_t before = 3; before < 200; before += 17) {
            for (int32_t after = before + 4; after < 256; after += 23) {
                for (const int32_t d : {0, 2, 14, 60, 200}) {
                    const int32_t twice_a = 256 * (before + after) - d;
                    for (const int32_t step : {-1, 0, 1}) {
                        const int32_t a = twice_a / 2 + step;
                        std::vector<LinearPaletteEntry> linear(41, entry(0, true));
                        linear[1] = entry(before, false);
                        linear[40] = entry(after, false);
                        Lanes adjusted = {0, 0, 0, 0}, plain = {0, 0, 0, 0};
                        adjusted[c] = a;
                        plain[c] = a + d;
                        const SelectionTargets targets = selection_targets(adjusted, plain);
                        const int32_t expected =
                            select_entry_scan(make_search_palette(linear), targets);
                        later_chosen += expected == 40;
                        int32_t chosen = -1;
                        version.select(linear, &targets, 1, &chosen);
                        EXPECT_EQ(chosen, expected)
                            << "channel " << c << ", entries " << before << " and " << after
                            << ", D " << d << ", step " << step;
                        ++cases;
                    }
                }
            }
        }
    }
    EXPECT_GE(cases, 300);
    EXPECT_GE(later_chosen, cases / 4);
}

// The literal remapping's bytes for a case, worked out once for all
// versions.
const std::vector<uint8_t>& literal_bytes(const std::string& key, const dib24& image,
                                          const Palette& palette, bool dither) {
    static std::map<std::string, std::vector<uint8_t>> known;
    const std::string full = key + (dither ? ", dithered" : ", without dithering");
    auto found = known.find(full);
    if (found == known.end())
        found = known.emplace(full, literally_remapped(image, palette, dither)).first;
    return found->second;
}

// The pixel loop against the literal remapping, with and without dithering:
// random and clustered palettes of the sizes where the vector loops change
// their handling (one entry, one or several groups of sixteen, the full
// 255), duplicates among them, on smooth, noisy and narrow pictures.
TEST_P(RemapVersionTest, MatchesTheLiteralRemapping) {
    std::mt19937 random(11);
    const int counts[] = {1, 2, 15, 16, 17, 33, 100, 254, 255};
    for (const int count : counts) {
        for (int kind = 0; kind < 3; ++kind) {
            Palette palette(3 * static_cast<size_t>(count));
            const uint32_t centre = random();
            for (size_t i = 0; i < palette.size(); ++i) {
                // kind 0: anywhere; 1: crowded around one colour; 2: many
                // duplicates and near-black entries with equal linear values.
                const uint32_t v = random();
                palette[i] = kind == 0 ? static_cast<uint8_t>(v)
                             : kind == 1
                                 ? static_cast<uint8_t>((centre >> (8 * (i % 3))) + v % 24)
                                 : static_cast<uint8_t>(v % 4 == 0 ? v % 3 : (v >> 8) % 8 * 32);
            }
            const int32_t width = 1 + static_cast<int32_t>(random() % 70);
            const int32_t height = 1 + static_cast<int32_t>(random() % 40);
            dib24 image;
            fill_image(image, width, height, [&](int32_t x, int32_t y) {
                if (kind == 0) {
                    const uint32_t v = random();
                    return Rgb{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                               static_cast<uint8_t>(v >> 16)};
                }
                return Rgb{static_cast<uint8_t>(x * 255 / width), static_cast<uint8_t>(y * 6),
                           static_cast<uint8_t>((x * y) % 256)};
            });
            const std::vector<uint8_t> original = image_bytes(image);
            const std::string key = std::to_string(count) + " entries, kind " +
                                    std::to_string(kind) + ", " + std::to_string(width) + " x " +
                                    std::to_string(height);
            for (const bool dither : {true, false}) {
                const std::vector<uint8_t>& expected = literal_bytes(key, image, palette, dither);
                std::copy(original.begin(), original.end(), image.bits);
                version.run(image, palette, nullptr, 1 + count % 3, dither, nullptr);
                ASSERT_TRUE(image_bytes(image) == expected) << key << (dither ? "" : ", no dither");
                std::copy(original.begin(), original.end(), image.bits);
            }
        }
    }
}

// Many tiny pictures on small palettes of close colours: the targets and the
// entries lie near each other, where the vector loop's bounds on the scan are
// tightest, and one wrongly skipped entry changes a pixel. Every fifth
// without dithering.
TEST_P(RemapVersionTest, MatchesTheLiteralRemappingOnTinyPictures) {
    std::mt19937 random(1);
    for (int trial = 0; trial < 6000; ++trial) {
        const int count = 2 + static_cast<int>(random() % 40);
        Palette palette(3 * static_cast<size_t>(count));
        const int range = 1 + static_cast<int>(random() % 256);
        const int base = static_cast<int>(random() % (257 - range));
        const auto close_byte = [&] { return static_cast<uint8_t>(base + random() % range); };
        for (uint8_t& b : palette)
            b = close_byte();
        const int32_t width = 2 + static_cast<int32_t>(random() % 12);
        const int32_t height = 1 + static_cast<int32_t>(random() % 3);
        dib24 image;
        fill_image(image, width, height, [&](int32_t, int32_t) {
            return Rgb{close_byte(), close_byte(), close_byte()};
        });
        const bool dither = trial % 5 != 0;
        const std::vector<uint8_t> expected = literally_remapped(image, palette, dither);
        version.run(image, palette, nullptr, 1 + trial % 4, dither, nullptr);
        ASSERT_TRUE(image_bytes(image) == expected) << "trial " << trial;
    }
}

// On 1, 2, 3, 4 and 7 threads, with and without dithering, against the
// literal remapping, with the palette the quantizer makes for the picture at
// several colour counts: narrow and short pictures (threads waiting on the
// row above right at its edge, more threads than rows), long strips, odd
// widths and photographs. The palette index handed back for each pixel must
// give exactly the pixel written.
TEST_P(RemapVersionTest, MatchesTheLiteralRemappingOnEveryThreadCount) {
    struct Picture {
        std::string name;
        int32_t width, height;
        std::function<Rgb(int32_t, int32_t)> color;
    };
    std::vector<Picture> pictures;
    for (int32_t width = 1; width <= 6; ++width) {
        for (const int32_t height : {1, 2, 7}) {
            pictures.push_back(
                {std::to_string(width) + " x " + std::to_string(height), width, height,
                 [=](int32_t x, int32_t y) { return photo_like(x * 9, y * 9, width); }});
        }
    }
    const auto photo = [](uint32_t seed, int32_t zoom) {
        return [=](int32_t x, int32_t y) { return photo_like(x * zoom, y * zoom, seed); };
    };
    pictures.push_back({"tall strip", 3, 4000, photo(1, 1)});
    pictures.push_back({"wide strip", 4000, 3, photo(2, 1)});
    pictures.push_back({"odd width", 33, 21, photo(3, 4)});
    pictures.push_back({"photo-like", 101, 67, photo(4, 3)});
    dib24 sample;
    sample.create(1, 1, 0);
    ASSERT_TRUE(load_input(sample, "samples/astronaut.bmp"));
#ifdef QV_SMALL_TEST_IMAGES
    const int32_t side = 96;  // a corner, to keep the sanitizer runs short
#else
    const int32_t side = 512;
#endif
    pictures.push_back(
        {"astronaut", side, side, [&](int32_t x, int32_t y) { return pixel_at(sample, x, y); }});

    FILE* quiet = std::tmpfile();
    ASSERT_NE(quiet, nullptr);
    const int32_t colour_counts[] = {255, 2, 16, 17, 64};
    for (size_t n = 0; n < pictures.size(); ++n) {
        const Picture& picture = pictures[n];
        dib24 image;
        fill_image(image, picture.width, picture.height, picture.color);
        const int32_t colours = colour_counts[(n + 3) % 5];  // the photograph: 255
        Palette palette;
        {
            ColorTable table;
            fill_color_table(image, table);
            palette = average_palette(table, build_clusters(table, colours), quiet);
        }
        const std::vector<uint8_t> original = image_bytes(image);
        const std::string key = picture.name + ", " + std::to_string(colours) + " colours";
        for (const bool dither : {true, false}) {
            const std::vector<uint8_t>& expected = literal_bytes(key, image, palette, dither);
            for (const int32_t threads : {1, 2, 3, 4, 7}) {
                const std::string what = key + (dither ? "" : ", no dither") + ", " +
                                         std::to_string(threads) + " threads";
                std::copy(original.begin(), original.end(), image.bits);
                std::vector<uint8_t> indices(static_cast<size_t>(image.width) * image.height, 255);
                // Rows told final are copied as they are told: they must not
                // change afterwards, and every row must be told.
                TellingWatch watch(indices, image.width);
                version.run(image, palette, indices.data(), threads, dither, &watch);
                ASSERT_TRUE(image_bytes(image) == expected) << what;
                ASSERT_TRUE(watch.growing) << what;
                ASSERT_EQ(watch.copied.size(), indices.size()) << what;
                ASSERT_TRUE(watch.copied == indices) << what;
                for (int32_t y = 0; y < image.height; ++y) {
                    for (int32_t x = 0; x < image.width; ++x) {
                        const size_t i = indices[static_cast<size_t>(y) * image.width + x];
                        const Rgb px = pixel_at(image, x, y);
                        ASSERT_TRUE(3 * i < palette.size() && palette[3 * i] == px.r &&
                                    palette[3 * i + 1] == px.g && palette[3 * i + 2] == px.b)
                            << what << ", pixel " << x << ", " << y;
                    }
                }
            }
            std::copy(original.begin(), original.end(), image.bits);
        }
    }
    std::fclose(quiet);
}

}  // namespace
