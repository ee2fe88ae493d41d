#include "quantize/palette_search.h"

#include <bit>
#include <cmath>
#include <cstdlib>

namespace {

inline int32_t distance(const int32_t* entry, const int32_t q[4]) {
    int32_t d = std::abs(entry[0] - q[0]);
    for (int c = 1; c < 4; ++c) {
        const int32_t dc = std::abs(entry[c] - q[c]);
        if (dc > d)
            d = dc;
    }
    return d;
}

// The state of the scan: the best entry so far with its squared distances
// to the adjusted (a) and the plain (b) target. Distances are integers of at
// most 13 * 65280, so the squares and their sums are exact in int64 and
// compare exactly as the 64-bit floats of a literal scan would.
struct ScanState {
    int32_t best;
    int64_t a, b;

    // The test of the literal scan: a_j <= 2a and a_j + b_j <= a + b.
    bool offer(int32_t j, int32_t dist_adjusted, int32_t dist_plain) {
        const int64_t aj = int64_t{dist_adjusted} * dist_adjusted;
        const int64_t bj = int64_t{dist_plain} * dist_plain;
        if (aj <= 2 * a && aj + bj <= a + b) {
            best = j;
            a = aj;
            b = bj;
            return true;
        }
        return false;
    }
};

inline ScanState start_scan(const SearchPalette& p, const int32_t adjusted[4],
                            const int32_t plain[4]) {
    const int64_t da = distance(&p.weighted[0], adjusted);
    const int64_t dp = distance(&p.weighted[0], plain);
    return {0, da * da, dp * dp};
}

inline int32_t clamp_index(int32_t v) {
    return v < 0 ? 0 : (v > 256 ? 256 : v);
}

// Working-scale targets (unweighted) and the pixel's box.
struct Targets {
    const int32_t* adjusted;      // weighted
    const int32_t* plain;         // weighted
    int32_t low_q[4], high_q[4];  // unweighted: the larger and the smaller of the two
};

template <int c>
inline int32_t unweighted(int32_t v) {
    // Division by a constant: the compiler makes it a multiplication.
    return v / distance_weight[c];
}

template <int c>
inline void set_bounds(Targets& t) {
    const int32_t qa = unweighted<c>(t.adjusted[c]);
    const int32_t qp = unweighted<c>(t.plain[c]);
    t.low_q[c] = qa > qp ? qa : qp;
    t.high_q[c] = qa < qp ? qa : qp;
}

inline Targets make_targets(const int32_t adjusted[4], const int32_t plain[4]) {
    Targets t{adjusted, plain, {}, {}};
    set_bounds<0>(t);
    set_bounds<1>(t);
    set_bounds<2>(t);
    set_bounds<3>(t);
    return t;
}

// The byte range [low, end) of channel c in which an entry's weighted
// distance to both targets is at most `limit`: |256 * byte - q| <= limit /
// weight for both unweighted target values q.
struct Box {
    int32_t low[4], end[4];
};

template <int c>
inline void channel_range(const Targets& t, int32_t limit, Box& box) {
    const int32_t reach = unweighted<c>(limit);
    // Lowest byte b with 256 b >= low_q - reach (an arithmetic shift rounds
    // toward minus infinity), and one past the highest with
    // 256 b <= high_q + reach.
    box.low[c] = clamp_index((t.low_q[c] - reach + 255) >> 8);
    box.end[c] = clamp_index(((t.high_q[c] + reach) >> 8) + 1);
}

// Luma is left out of the box: for palette entries it follows from the
// other three channels, so it narrows the box little. Leaving a channel out
// only lets more entries through to the exact test.
inline Box box_within(const Targets& t, int64_t limit) {
    Box box;
    const int32_t l = static_cast<int32_t>(limit);
    channel_range<0>(t, l, box);
    channel_range<1>(t, l, box);
    channel_range<2>(t, l, box);
    return box;
}

inline EntrySet entries_within(const SearchPalette& p, const Targets& t, int64_t limit) {
    const Box box = box_within(t, limit);
    EntrySet set{{~0ull, ~0ull, ~0ull, ~0ull}};
    for (int c = 0; c < 3; ++c) {
        const EntrySet& upto_end = p.below[c][box.end[c]];
        const EntrySet& upto_low = p.below[c][box.low[c]];
        for (int w = 0; w < 4; ++w)
            set.word[w] &= upto_end.word[w] & ~upto_low.word[w];
    }
    return set;
}

}  // namespace

SearchPalette make_search_palette(const std::vector<LinearPaletteEntry>& linear) {
    SearchPalette p;
    p.count = static_cast<int32_t>(linear.size());
    p.weighted.resize(4 * linear.size());
    p.bytes.resize(4 * linear.size());
    for (size_t j = 0; j < linear.size(); ++j) {
        const LinearPaletteEntry& e = linear[j];
        const uint8_t v[4] = {e.red, e.green, e.blue, e.luma};
        for (int c = 0; c < 4; ++c) {
            p.bytes[4 * j + c] = v[c];
            p.weighted[4 * j + c] = v[c] * 256 * distance_weight[c];
        }
    }
    p.all = EntrySet{{0, 0, 0, 0}};
    for (size_t j = 0; j < linear.size() && j < 256; ++j)
        p.all.word[j >> 6] |= 1ull << (j & 63);
    for (int c = 0; c < 4; ++c) {
        p.below[c].assign(257, EntrySet{{0, 0, 0, 0}});
        for (int k = 1; k <= 256; ++k) {
            EntrySet& set = p.below[c][k];
            set = p.below[c][k - 1];
            for (size_t j = 0; j < linear.size() && j < 256; ++j) {
                if (p.bytes[4 * j + c] == k - 1)
                    set.word[j >> 6] |= 1ull << (j & 63);
            }
        }
    }
    return p;
}

int32_t select_entry_scan(const SearchPalette& p, const int32_t adjusted[4],
                          const int32_t plain[4]) {
    ScanState s = start_scan(p, adjusted, plain);
    for (int32_t j = 1; j < p.count; ++j) {
        const int32_t* e = &p.weighted[4 * static_cast<size_t>(j)];
        s.offer(j, distance(e, adjusted), distance(e, plain));
    }
    return s.best;
}

// The largest distance to either target that an entry j with
// dA_j^2 + dP_j^2 <= s can have, when the targets are `apart` from each
// other. The weighted maximum distance is a norm, so dA_j >= dP_j - apart
// (and the other way round): with x = the larger of the two distances,
// x^2 + max(0, x - apart)^2 <= s. One is added for rounding.
inline int64_t reach_limit(int64_t s, int64_t apart) {
    const double root = std::sqrt(static_cast<double>(s));
    if (root <= static_cast<double>(apart))
        return static_cast<int64_t>(root) + 1;
    const double d = static_cast<double>(apart);
    return static_cast<int64_t>((d + std::sqrt(2.0 * static_cast<double>(s) - d * d)) * 0.5) + 1;
}

// a + b never grows during the scan, so an entry can only be accepted while
// its distances lie within reach_limit(a + b) of the current state: the
// entries outside that box are never looked at. Any larger limit keeps the
// result, so the box is narrowed again only when the limit has shrunk enough
// to make that pay.
int32_t select_entry_boxed(const SearchPalette& p, const int32_t adjusted[4],
                           const int32_t plain[4]) {
    ScanState s = start_scan(p, adjusted, plain);
    const Targets targets = make_targets(adjusted, plain);
    const int64_t apart = distance(adjusted, plain);
    int64_t box_limit = reach_limit(s.a + s.b, apart);
    EntrySet candidates = entries_within(p, targets, box_limit);
    candidates.word[0] &= ~1ull;  // entry 0 is the starting state
    for (int w = 0; w < 4; ++w) {
        while (candidates.word[w] != 0) {
            const int32_t j = 64 * w + std::countr_zero(candidates.word[w]);
            candidates.word[w] &= candidates.word[w] - 1;
            const int32_t* e = &p.weighted[4 * static_cast<size_t>(j)];
            if (!s.offer(j, distance(e, adjusted), distance(e, plain)))
                continue;
            const int64_t limit = reach_limit(s.a + s.b, apart);
            if (limit * 2 < box_limit) {
                box_limit = limit;
                const EntrySet box = entries_within(p, targets, limit);
                for (int v = w; v < 4; ++v)
                    candidates.word[v] &= box.word[v];
            }
        }
    }
    return s.best;
}
