#include "quantize/palette_build.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "quantize/large_array.h"

namespace {

// The table's colours in an order where every cluster is one contiguous run
// of members, each run in table order. A split then visits only its own
// cluster's members, and in table order, so its floating-point sums are
// formed exactly as a walk over the whole table would form them.
struct Member {
    int32_t slot;
    uint32_t weight;
    uint8_t channels[3];
};

struct Range {
    size_t first, last;
};

struct Clusters {
    LargeArray<Member> members;  // one per colour of the table
    LargeArray<Member> scratch;  // room for the members a split moves
    std::vector<Range> ranges;   // per cluster number
    std::vector<SplitCandidate> candidates;
    int32_t limit;
};

// The split test of cluster k of generation g, and the split when it passes.
void split_cluster(Clusters& state, int32_t k, int32_t g) {
    const int32_t count = static_cast<int32_t>(state.ranges.size());
    if (count >= state.limit)
        return;
    Member* const first = state.members.data() + state.ranges[k].first;
    Member* const last = state.members.data() + state.ranges[k].last;

    // Centre: channels weighted by the square root of the pixel count.
    // The integer sums for the threshold are gathered in the same pass.
    double sum_s = 0, sum_c[3] = {0, 0, 0};
    int64_t sum_weighted[3] = {0, 0, 0}, sum_weight = 0;
    for (const Member* m = first; m != last; ++m) {
        const double s = std::sqrt(static_cast<double>(m->weight));
        sum_s += s;
        for (int c = 0; c < 3; ++c) {
            sum_c[c] += s * m->channels[c];
            sum_weighted[c] += int64_t{m->channels[c]} * m->weight;
        }
        sum_weight += m->weight;
    }
    if (sum_s == 0)
        return;
    const double inv = 1 / sum_s;
    double centre[3];
    for (int c = 0; c < 3; ++c)
        centre[c] = sum_c[c] * inv;

    // Spread: every distinct colour counts once, whatever its weight.
    double spread[3] = {0, 0, 0};
    for (const Member* m = first; m != last; ++m) {
        for (int c = 0; c < 3; ++c) {
            const double d = m->channels[c] - centre[c];
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

    // The cut lies at the pixel-weighted mean of the axis, truncated.
    const int64_t t = sum_weighted[axis] / sum_weight;
    int32_t below = 0;
    for (const Member* m = first; m != last; ++m)
        below += m->channels[axis] < t;
    const int32_t above = static_cast<int32_t>(last - first) - below;
    if (below == 0 || above == 0)
        return;

    // Members at or below the cut (note: at, not only below) form the new
    // cluster; both runs keep table order.
    Member* low = first;
    Member* high = state.scratch.data();
    for (Member* m = first; m != last; ++m) {
        if (m->channels[axis] <= t) {
            *low++ = *m;
        } else {
            *high++ = *m;
        }
    }
    std::copy(state.scratch.data(), high, low);
    const size_t split = static_cast<size_t>(low - state.members.data());
    state.ranges.push_back({state.ranges[k].first, split});
    state.ranges[k].first = split;
    state.candidates.push_back({k, g + 1, static_cast<double>(above)});
    state.candidates.push_back({count, g + 1, static_cast<double>(below)});
}

}  // namespace

int32_t build_clusters(ColorTable& table, int32_t limit) {
    Clusters state{
        LargeArray<Member>(table.size()), LargeArray<Member>(table.size()), {}, {}, limit};
    double sum = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        const ColorEntry& e = table[i];
        sum += e.weight;
        state.members[i] = {static_cast<int32_t>(i),
                            static_cast<uint32_t>(e.weight),
                            {e.channels[0], e.channels[1], e.channels[2]}};
    }
    state.ranges.push_back({0, table.size()});
    state.candidates.push_back({0, 0, sum});
    int32_t generation = 0;
    while (!state.candidates.empty()) {
        // Highest score of the current generation; the earliest among equals.
        double best_score = -1.0;
        size_t best = state.candidates.size();
        for (size_t i = 0; i < state.candidates.size(); ++i) {
            const SplitCandidate& c = state.candidates[i];
            if (c.level == generation && c.score > best_score) {
                best_score = c.score;
                best = i;
            }
        }
        if (best == state.candidates.size()) {
            ++generation;
            continue;
        }
        const SplitCandidate chosen = state.candidates[best];
        state.candidates.erase(state.candidates.begin() + static_cast<ptrdiff_t>(best));
        split_cluster(state, chosen.cluster, chosen.level);
    }
    for (size_t k = 0; k < state.ranges.size(); ++k) {
        for (size_t i = state.ranges[k].first; i < state.ranges[k].last; ++i) {
            table[state.members[i].slot].cluster = static_cast<int32_t>(k);
        }
    }
    return static_cast<int32_t>(state.ranges.size());
}
