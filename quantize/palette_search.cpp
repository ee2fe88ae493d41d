#include "quantize/palette_search.h"

#include <bit>

namespace {

inline int32_t distance(const int32_t* entry, const Lanes& q) {
    int32_t d = std::abs(entry[0] - q[0]);
    for (int c = 1; c < 4; ++c)
        d = std::max(d, std::abs(entry[c] - q[c]));
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

inline ScanState start_scan(const SearchPalette& p, const SelectionTargets& t) {
    const int64_t da = distance(&p.weighted[0], t.weighted_adjusted);
    const int64_t dp = distance(&p.weighted[0], t.weighted_plain);
    return {0, da * da, dp * dp};
}

inline bool offer_entry(const SearchPalette& p, const SelectionTargets& t, ScanState& s,
                        int32_t j) {
    const int32_t* e = &p.weighted[4 * static_cast<size_t>(j)];
    return s.offer(j, distance(e, t.weighted_adjusted), distance(e, t.weighted_plain));
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

int32_t select_entry_scan(const SearchPalette& p, const SelectionTargets& t) {
    ScanState s = start_scan(p, t);
    for (int32_t j = 1; j < p.count; ++j)
        offer_entry(p, t, s, j);
    return s.best;
}

// The box of the entries within reach of the current state (reach_of) is
// narrowed again whenever the reach has halved since it was formed: any
// larger box keeps the result, and a narrower one costs set operations.
int32_t select_entry_boxed(const SearchPalette& p, const SelectionTargets& t) {
    ScanState s = start_scan(p, t);
    const int32_t apart = apart_of(t);
    const EntrySet* const below[3] = {p.below[0].data(), p.below[1].data(), p.below[2].data()};
    int32_t box_reach = reach_of(s.a + s.b, apart);
    EntrySet candidates = entries_within(below, t, box_reach);
    candidates.word[0] &= ~1ull;  // entry 0 is the starting state
    for (int w = 0; w < 4; ++w) {
        while (candidates.word[w] != 0) {
            const int32_t j = 64 * w + std::countr_zero(candidates.word[w]);
            candidates.word[w] &= candidates.word[w] - 1;
            if (!offer_entry(p, t, s, j))
                continue;
            const int32_t reach = reach_of(s.a + s.b, apart);
            if (reach * 2 < box_reach) {
                box_reach = reach;
                const EntrySet box = entries_within(below, t, reach);
                for (int v = w; v < 4; ++v)
                    candidates.word[v] &= box.word[v];
            }
        }
    }
    return s.best;
}
