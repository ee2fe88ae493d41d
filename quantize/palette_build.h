// Palette construction: divides the colours of the table into clusters by
// repeated two-way splits, generation by generation.
#pragma once

#include <cstdint>
#include <vector>

#include "quantize/color_table.h"

// A cluster waiting for its split test.
struct SplitCandidate {
    int32_t cluster;
    int32_t level;  // the number of splits that led to this cluster
    double score;   // priority within its generation
};

// Rewrites the `cluster` of every entry of the table to a number 0..n-1 and
// returns n (1 <= n <= limit, for limit >= 1). Clusters are numbered in the
// order they come into being.
int32_t build_clusters(ColorTable& table, int32_t limit);
