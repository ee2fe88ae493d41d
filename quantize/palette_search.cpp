#include "quantize/palette_search.h"

#include <bit>
#include <cmath>
#include <cstdlib>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QV_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

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

#ifdef QV_HAVE_AVX2_PATH

namespace {

#define QV_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Distances of the entry at `entry` to the adjusted target (low half of
// `targets`) and to the plain one (high half), both in one register.
QV_AVX2 void distances_avx2(const int32_t* entry, __m256i targets, int32_t& to_adjusted,
                            int32_t& to_plain) {
    const __m256i e =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entry)));
    __m256i d = _mm256_abs_epi32(_mm256_sub_epi32(e, targets));
    d = _mm256_max_epi32(d, _mm256_shuffle_epi32(d, 0x4e));
    d = _mm256_max_epi32(d, _mm256_shuffle_epi32(d, 0xb1));
    to_adjusted = _mm256_cvtsi256_si32(d);
    to_plain = _mm_cvtsi128_si32(_mm256_extracti128_si256(d, 1));
}

// low_q and high_q of Targets in vectors, for the box ranges below.
struct TargetsAvx2 {
    __m128i low_q, high_q;
};

// box_within and the set intersection with vectors. The reach is formed in
// single precision (exact for limits below 2^24) and one more is allowed for
// its rounding, so the box may only grow.
QV_AVX2 EntrySet within_avx2(const SearchPalette& p, const TargetsAvx2& t, int64_t limit) {
    const __m128 inverse_weight = _mm_setr_ps(1.0f / 10, 1.0f / 13, 1.0f / 6, 1.0f / 10);
    const __m128i reach = _mm_add_epi32(
        _mm_cvttps_epi32(_mm_mul_ps(_mm_set1_ps(static_cast<float>(limit)), inverse_weight)),
        _mm_set1_epi32(1));
    const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi32(256);
    const __m128i low = _mm_min_epi32(
        _mm_max_epi32(
            _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(t.low_q, reach), _mm_set1_epi32(255)), 8),
            zero),
        top);
    const __m128i end = _mm_min_epi32(
        _mm_max_epi32(
            _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(t.high_q, reach), 8), _mm_set1_epi32(1)),
            zero),
        top);
    alignas(16) int32_t lows[4], ends[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), low);
    _mm_store_si128(reinterpret_cast<__m128i*>(ends), end);
    __m256i set = _mm256_set1_epi32(-1);
    for (int c = 0; c < 3; ++c) {
        const __m256i upto_end =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.below[c][ends[c]]));
        const __m256i upto_low =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.below[c][lows[c]]));
        set = _mm256_and_si256(set, _mm256_andnot_si256(upto_low, upto_end));
    }
    EntrySet out;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.word), set);
    return out;
}

// One step of the scan without a branch: the acceptance test decides by
// masks, so the only chain from one entry to the next is a compare and a few
// selects, and no mispredicted jump. The distances do not depend on the state
// and are computed ahead by the processor.
// The scan state kept as 2a and a + b, the two bounds an entry is tested
// against, so that a step's chain is two compares and three selects.
struct StepState {
    int64_t twice_a, sum;
    int64_t best;
};

QV_AVX2 void step_avx2(StepState& s, const int32_t* weighted, __m256i targets, int32_t j) {
    int32_t da, dp;
    distances_avx2(weighted + 4 * j, targets, da, dp);
    const int64_t aj = int64_t{da} * da, bj = int64_t{dp} * dp;
    const int64_t twice_aj = 2 * aj, sum_j = aj + bj;
    const int64_t take = -static_cast<int64_t>((aj <= s.twice_a) & (sum_j <= s.sum));
    s.twice_a = (twice_aj & take) | (s.twice_a & ~take);
    s.sum = (sum_j & take) | (s.sum & ~take);
    s.best = (j & take) | (s.best & ~take);
}

}  // namespace

// The search with 256-bit vectors. The first entries are scanned in full
// (entry 0 is usually far from the target, so a box around it would hold
// most of the palette); then only the entries inside the box of the current
// state are scanned, and the box is narrowed after every chunk of them.
__attribute__((target("avx2"))) int32_t select_entry_avx2(const SearchPalette& p,
                                                          const int32_t adjusted[4],
                                                          const int32_t plain[4]) {
    constexpr int32_t head = 16;
    constexpr int chunk = 8;
    const __m256i targets_v = _mm256_setr_epi32(adjusted[0], adjusted[1], adjusted[2], adjusted[3],
                                                plain[0], plain[1], plain[2], plain[3]);
    const int32_t* weighted = p.weighted.data();
    int32_t da, dp;
    distances_avx2(weighted, targets_v, da, dp);
    StepState s{2 * int64_t{da} * da, int64_t{da} * da + int64_t{dp} * dp, 0};
    const int32_t head_end = p.count < head ? p.count : head;
    for (int32_t j = 1; j < head_end; ++j)
        step_avx2(s, weighted, targets_v, j);
    if (p.count <= head)
        return s.best;

    const Targets targets = make_targets(adjusted, plain);
    const TargetsAvx2 targets_box{
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(targets.low_q)),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(targets.high_q))};
    const int64_t apart = distance(adjusted, plain);
    EntrySet candidates = within_avx2(p, targets_box, reach_limit(s.sum, apart));
    for (int w = 0; w < 4; ++w)
        candidates.word[w] &= p.all.word[w];
    candidates.word[0] &= ~((1ull << head) - 1);
    int w = 0;
    while (true) {
        // The next chunk of candidates, in index order.
        int taken = 0;
        for (; w < 4 && taken < chunk; ++w) {
            while (candidates.word[w] != 0 && taken < chunk) {
                const int32_t j = 64 * w + std::countr_zero(candidates.word[w]);
                candidates.word[w] &= candidates.word[w] - 1;
                step_avx2(s, weighted, targets_v, j);
                ++taken;
            }
            if (candidates.word[w] != 0)
                break;
        }
        if (w >= 4)
            break;
        const EntrySet box = within_avx2(p, targets_box, reach_limit(s.sum, apart));
        for (int v = w; v < 4; ++v)
            candidates.word[v] &= box.word[v];
    }
    return s.best;
}

bool avx2_search_supported() {
    return __builtin_cpu_supports("avx2");
}

#else

bool avx2_search_supported() {
    return false;
}

int32_t select_entry_avx2(const SearchPalette& p, const int32_t adjusted[4],
                          const int32_t plain[4]) {
    return select_entry_boxed(p, adjusted, plain);
}

#endif
