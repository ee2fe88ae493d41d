#include "tests/quantize/reference_quantizer.h"

#include <cmath>

#include "platform/win32.h"
#include "quantize/color_convert.h"

namespace reference {

void fill_table(const dib24& image, State& state, FILE* report) {
    const int32_t width = image.bits ? image.width : 0;
    const int32_t height = image.bits ? image.height : 0;
    const int32_t slots = width * height;
    state.slots = slots;
    state.table.assign(slots, Entry{{0, 0, 0}, -1, 0.0});
    state.index.clear();
    int32_t next = 0;
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* row = image.bits + static_cast<int64_t>(height - 1 - r) * image.stride;
        for (int32_t x = 0; x < width; ++x) {
            const ColorTriple rgb{{row[3 * x + 2], row[3 * x + 1], row[3 * x]}};
            ColorTriple ycc;
            rgb_to_ycc(rgb, ycc);
            const int32_t key = (ycc.c[0] << 16) | (ycc.c[1] << 8) | ycc.c[2];
            auto found = state.index.find(key);
            if (found != state.index.end()) {
                state.table[found->second].weight += 1.0;
            } else {
                Entry& e = state.table[next];
                e.channels[0] = static_cast<uint8_t>(ycc.c[0]);
                e.channels[1] = static_cast<uint8_t>(ycc.c[1]);
                e.channels[2] = static_cast<uint8_t>(ycc.c[2]);
                e.cluster = 0;
                e.weight = 1.0;
                state.index[key] = next;
                ++next;
                if (next > slots)
                    std::fprintf(report, "Internal error in process()\n");
            }
        }
    }
    std::fprintf(report, "color count: %d\n", static_cast<int>(state.index.size()));
}

namespace {

struct Candidate {
    int32_t cluster;
    int32_t level;
    double score;
};

// Number of slots a walk visits: up to the first empty slot or the end.
int32_t walk_end(const std::vector<Entry>& table, int32_t slots) {
    int32_t i = 0;
    while (i < slots && table[i].cluster >= 0)
        ++i;
    return i;
}

void split_cluster(std::vector<Candidate>& list, std::vector<Entry>& table, int32_t slots,
                   int32_t limit, int32_t& count, int32_t k, int32_t g) {
    if (count >= limit || slots <= 0)
        return;
    const int32_t end = walk_end(table, slots);
    double sum_s = 0, sum_c[3] = {0, 0, 0};
    for (int32_t i = 0; i < end; ++i) {
        if (table[i].cluster != k)
            continue;
        const double s = std::sqrt(table[i].weight);
        sum_s += s;
        for (int c = 0; c < 3; ++c)
            sum_c[c] += s * table[i].channels[c];
    }
    if (sum_s == 0)
        return;
    const double inv = 1 / sum_s;
    double centre[3];
    for (int c = 0; c < 3; ++c)
        centre[c] = sum_c[c] * inv;
    double spread[3] = {0, 0, 0};
    for (int32_t i = 0; i < end; ++i) {
        if (table[i].cluster != k)
            continue;
        for (int c = 0; c < 3; ++c) {
            const double d = table[i].channels[c] - centre[c];
            spread[c] += d * d;
        }
    }
    spread[0] *= 1.3;
    int axis = 0;
    if (spread[1] > spread[axis])
        axis = 1;
    if (spread[2] > spread[axis])
        axis = 2;
    if (!(spread[axis] > 0))
        return;
    int64_t a = 0, n = 0;
    for (int32_t i = 0; i < end; ++i) {
        if (table[i].cluster != k)
            continue;
        a += static_cast<int64_t>(table[i].channels[axis] * table[i].weight);
        n += static_cast<int64_t>(table[i].weight);
    }
    const int64_t t = a / n;
    int32_t below = 0, above = 0;
    for (int32_t i = 0; i < end; ++i) {
        if (table[i].cluster != k)
            continue;
        if (table[i].channels[axis] < t) {
            ++below;
        } else {
            ++above;
        }
    }
    if (below == 0 || above == 0)
        return;
    for (int32_t i = 0; i < end; ++i) {
        if (table[i].cluster == k && table[i].channels[axis] <= t)
            table[i].cluster = count;
    }
    const int32_t made = count;
    ++count;
    list.push_back({k, g + 1, static_cast<double>(above)});
    list.push_back({made, g + 1, static_cast<double>(below)});
}

}  // namespace

int32_t build_clusters(std::vector<Entry>& table, int32_t slots, int32_t limit) {
    const int32_t end = walk_end(table, slots);
    double sum = 0;
    for (int32_t i = 0; i < end; ++i)
        sum += table[i].weight;
    std::vector<Candidate> list{{0, 0, sum}};
    int32_t count = 1;
    int32_t generation = 0;
    while (!list.empty()) {
        double best_score = -1.0;
        int32_t best = -1;
        for (int32_t i = 0; i < static_cast<int32_t>(list.size()); ++i) {
            if (list[i].level == generation && list[i].score > best_score) {
                best_score = list[i].score;
                best = i;
            }
        }
        if (best < 0) {
            ++generation;
            continue;
        }
        const Candidate chosen = list[best];
        list.erase(list.begin() + best);
        split_cluster(list, table, slots, limit, count, chosen.cluster, chosen.level);
    }
    return count;
}

void cluster_phase(State& state, FILE* report, int32_t limit) {
    state.palette_count = build_clusters(state.table, state.slots, limit);
    std::fprintf(report, "palette count:%d\n", state.palette_count);
}

void average_palette(State& state, FILE* report) {
    const int32_t end = walk_end(state.table, state.slots);
    state.palette.assign(3 * static_cast<size_t>(state.palette_count), 0);
    for (int32_t j = 0; j < state.palette_count; ++j) {
        double sr = 0, sg = 0, sb = 0, w = 0;
        for (int32_t i = 0; i < end; ++i) {
            const Entry& e = state.table[i];
            if (e.cluster != j)
                continue;
            const double m = e.weight;
            ColorTriple rgb;
            ycc_to_rgb(ColorTriple{{e.channels[0], e.channels[1], e.channels[2]}}, rgb);
            sr = sr + m * to_linear(rgb.c[0] * byte_to_unit);
            sg = sg + m * to_linear(rgb.c[1] * byte_to_unit);
            sb = sb + m * to_linear(rgb.c[2] * byte_to_unit);
            w = w + m;
        }
        double vr = 0, vg = 0, vb = 0;
        if (w > 0) {
            const double k = 1.0 / w;
            vr = to_gamma(k * sr) * 255.0;
            vg = to_gamma(k * sg) * 255.0;
            vb = to_gamma(k * sb) * 255.0;
        }
        uint8_t* p = &state.palette[3 * j];
        p[0] = static_cast<uint8_t>(static_cast<int32_t>(vr + 0.5));
        p[1] = static_cast<uint8_t>(static_cast<int32_t>(vg + 0.5));
        p[2] = static_cast<uint8_t>(static_cast<int32_t>(vb + 0.5));
        std::fprintf(report, "pal[%d] (count:%g) : %d, %d, %d\n", j, w, p[0], p[1], p[2]);
    }
}

namespace {

double lin(int32_t v) {
    return to_linear(v * byte_to_unit);
}

int32_t clamp_working(int32_t v) {
    return v < 0 ? 0 : (v > 65280 ? 65280 : v);
}

struct Linear {
    uint8_t red, green, blue, luma;
};

int32_t distance(const Linear& l, const int32_t q[4]) {
    const int32_t d0 = 10 * std::abs(l.red * 256 - q[0]);
    const int32_t d1 = 13 * std::abs(l.green * 256 - q[1]);
    const int32_t d2 = 6 * std::abs(l.blue * 256 - q[2]);
    const int32_t d3 = 10 * std::abs(l.luma * 256 - q[3]);
    int32_t d = d0;
    if (d1 > d)
        d = d1;
    if (d2 > d)
        d = d2;
    if (d3 > d)
        d = d3;
    return d;
}

}  // namespace

void remap(dib24& image, const State& state, FILE* report, bool dither) {
    const int32_t width = image.bits ? image.width : 0;
    const int32_t height = image.bits ? image.height : 0;
    const int32_t n = state.palette_count;
    struct Slot {
        double c[4];
    };
    std::vector<Slot> error_row(width + 2, Slot{{0, 0, 0, 0}});
    std::vector<Slot> next_error_row(width + 2, Slot{{0, 0, 0, 0}});
    std::vector<Linear> linear(n);
    for (int32_t i = 0; i < n; ++i) {
        uint8_t v[3];
        for (int c = 0; c < 3; ++c) {
            int32_t t = static_cast<int32_t>(lin(state.palette[3 * i + c]) * 255 + 0.5);
            v[c] = static_cast<uint8_t>(t < 0 ? 0 : (t > 255 ? 255 : t));
        }
        linear[i] = {v[0], v[1], v[2],
                     static_cast<uint8_t>((2989 * v[0] + 5866 * v[1] + 1145 * v[2]) / 10000)};
    }
    const DWORD start = GetTickCount();
    std::fprintf(report, "start\n");
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.bits + static_cast<int64_t>(height - 1 - y) * image.stride;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* px = row + 3 * x;
            int32_t p[4], a[4];
            p[0] = static_cast<int32_t>(lin(px[2]) * 65280 + 0.5);
            p[1] = static_cast<int32_t>(lin(px[1]) * 65280 + 0.5);
            p[2] = static_cast<int32_t>(lin(px[0]) * 65280 + 0.5);
            p[3] = (2989 * p[0] + 5866 * p[1] + 1145 * p[2]) / 10000;
            for (int c = 0; c < 4; ++c) {
                a[c] = dither ? clamp_working(static_cast<int32_t>(p[c] + 0.01 * error_row[x].c[c]))
                              : p[c];
            }
            int32_t best = 0;
            double da = distance(linear[0], a), db = distance(linear[0], p);
            double best_a = da * da, best_b = db * db;
            for (int32_t j = 0; j < n; ++j) {
                const double dja = distance(linear[j], a), djb = distance(linear[j], p);
                const double aj = dja * dja, bj = djb * djb;
                if (aj <= 2 * best_a && aj + bj <= best_a + best_b) {
                    best = j;
                    best_a = aj;
                    best_b = bj;
                }
            }
            const Linear& l = linear[best];
            const int32_t lv[4] = {l.red * 256, l.green * 256, l.blue * 256, l.luma * 256};
            for (int c = 0; c < 4; ++c) {
                const double e = (p[c] - lv[c]) * 2.5 + 0.5;
                error_row[x + 1].c[c] += e * 30;
                error_row[x + 2].c[c] += e * 10;
                if (x > 0)
                    next_error_row[x - 1].c[c] += e * 20;
                next_error_row[x].c[c] += e * 25;
                next_error_row[x + 1].c[c] += e * 10;
                next_error_row[x + 2].c[c] += e * 5;
            }
            px[0] = state.palette[3 * best + 2];
            px[1] = state.palette[3 * best + 1];
            px[2] = state.palette[3 * best];
        }
        error_row = next_error_row;
        next_error_row.assign(width + 2, Slot{{0, 0, 0, 0}});
    }
    const DWORD end = GetTickCount();
    std::fprintf(report, "cache hit: %d%% [%dmsec]\n", 0, static_cast<int>(end - start));
}

void process(dib24& image, FILE* report, int32_t colors, bool dither) {
    State state;
    fill_table(image, state, report);
    cluster_phase(state, report, colors);
    average_palette(state, report);
    remap(image, state, report, dither);
    std::fflush(report);
}

}  // namespace reference
