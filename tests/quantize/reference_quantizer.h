// A plain, literal implementation of the quantizer, written step by step for
// clarity rather than speed: an ordered map of colours, one conversion per
// pixel, one table walk per cluster and palette entry, the full palette scan
// per pixel. The production code must reproduce its bytes and its report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "image/dib24.h"

namespace reference {

struct Entry {
    uint8_t channels[3];
    int32_t cluster;
    double weight;
};

struct State {
    int32_t slots = 0;
    std::vector<Entry> table;
    std::map<int32_t, int32_t> index;
    int32_t palette_count = 0;
    std::vector<uint8_t> palette;  // red, green, blue per entry
};

void fill_table(const dib24& image, State& state, FILE* report);
int32_t build_clusters(std::vector<Entry>& table, int32_t slots, int32_t limit);
void cluster_phase(State& state, FILE* report, int32_t limit = 255);
void average_palette(State& state, FILE* report);
// With `dither` false the same loop without diffused error: every adjusted
// value equals the plain value.
void remap(dib24& image, const State& state, FILE* report, bool dither = true);

// All four phases in order, at most `colors` clusters.
void process(dib24& image, FILE* report, int32_t colors = 255, bool dither = true);

}  // namespace reference
