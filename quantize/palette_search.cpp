#include "quantize/palette_search.h"

#include <cmath>
#include <bit>
#include <cstdlib>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QV_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

namespace {

constexpr int32_t group = 8;
// Far beyond any weighted distance (at most 13 * 65280).
constexpr int32_t unreachable = 1 << 28;

inline int32_t distance(const SearchPalette& p, int32_t j, const int32_t q[4]) {
    int32_t d = std::abs(p.channel[0][j] - q[0]);
    for (int c = 1; c < 4; ++c) {
        const int32_t dc = std::abs(p.channel[c][j] - q[c]);
        if (dc > d)
            d = dc;
    }
    return d;
}

// floor(sqrt(x)) exactly, for 0 <= x < 2^52.
inline int64_t isqrt(int64_t x) {
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(x)));
    while (r * r > x)
        --r;
    while ((r + 1) * (r + 1) <= x)
        ++r;
    return r;
}

// The state of the scan: the best entry so far with its squared distances
// to the adjusted (a) and the plain (b) target. Distances are integers of at
// most 13 * 65280, so the squares and their sums are exact in int64 and
// compare exactly as the 64-bit floats of a literal scan would.
//
// Entry j is accepted when a_j <= 2a and a_j + b_j <= a + b. Since a + b
// never grows, both conditions bound the distances themselves:
// dA_j <= isqrt(2a), dA_j <= isqrt(a + b) and dP_j <= isqrt(a + b); entries
// outside these limits are skipped without the exact test.
struct ScanState {
    int32_t best;
    int64_t a, b;
    int32_t limit_adjusted, limit_plain;

    void accept(int32_t j, int64_t aj, int64_t bj) {
        best = j;
        a = aj;
        b = bj;
        const int64_t sum_limit = isqrt(a + b);
        const int64_t a_limit = isqrt(2 * a);
        limit_plain = static_cast<int32_t>(sum_limit);
        limit_adjusted = static_cast<int32_t>(a_limit < sum_limit ? a_limit : sum_limit);
    }
    // The exact test of the literal scan.
    bool offer(int32_t j, int32_t dist_adjusted, int32_t dist_plain) {
        const int64_t aj = int64_t{dist_adjusted} * dist_adjusted;
        const int64_t bj = int64_t{dist_plain} * dist_plain;
        if (aj <= 2 * a && aj + bj <= a + b) {
            accept(j, aj, bj);
            return true;
        }
        return false;
    }
    bool may_pass(int32_t dist_adjusted, int32_t dist_plain) const {
        return dist_adjusted <= limit_adjusted && dist_plain <= limit_plain;
    }
};

inline ScanState start_scan(const SearchPalette& p, const int32_t adjusted[4],
                            const int32_t plain[4]) {
    ScanState s{};
    const int64_t da = distance(p, 0, adjusted), dp = distance(p, 0, plain);
    s.accept(0, da * da, dp * dp);
    return s;
}

// The lanes of one group that passed the bounds, tested exactly in order.
// An accepted entry changes the limits, so the lanes after it are tested
// again against the new ones.
inline void offer_group(ScanState& s, int32_t base, uint32_t mask, const int32_t* dist_adjusted,
                        const int32_t* dist_plain) {
    while (mask != 0) {
        const int lane = std::countr_zero(mask);
        mask &= mask - 1;
        if (s.offer(base + lane, dist_adjusted[lane], dist_plain[lane])) {
            mask = 0;
            for (int l = lane + 1; l < group; ++l) {
                if (s.may_pass(dist_adjusted[l], dist_plain[l]))
                    mask |= 1u << l;
            }
        }
    }
}

}  // namespace

SearchPalette make_search_palette(const std::vector<LinearPaletteEntry>& linear) {
    SearchPalette p;
    p.count = static_cast<int32_t>(linear.size());
    const size_t padded = (linear.size() + group - 1) / group * group;
    for (int c = 0; c < 4; ++c)
        p.channel[c].assign(padded, unreachable);
    for (size_t j = 0; j < linear.size(); ++j) {
        const LinearPaletteEntry& e = linear[j];
        const int32_t v[4] = {e.red, e.green, e.blue, e.luma};
        for (int c = 0; c < 4; ++c)
            p.channel[c][j] = v[c] * 256 * distance_weight[c];
    }
    return p;
}

int32_t select_entry_scan(const SearchPalette& p, const int32_t adjusted[4],
                          const int32_t plain[4]) {
    ScanState s = start_scan(p, adjusted, plain);
    for (int32_t j = 1; j < p.count; ++j)
        s.offer(j, distance(p, j, adjusted), distance(p, j, plain));
    return s.best;
}

int32_t select_entry_grouped(const SearchPalette& p, const int32_t adjusted[4],
                             const int32_t plain[4]) {
    ScanState s = start_scan(p, adjusted, plain);
    const int32_t padded = static_cast<int32_t>(p.channel[0].size());
    int32_t da[group], dp[group];
    for (int32_t base = 0; base < padded; base += group) {
        uint32_t mask = 0;
        for (int l = 0; l < group; ++l) {
            da[l] = distance(p, base + l, adjusted);
            dp[l] = distance(p, base + l, plain);
            if (s.may_pass(da[l], dp[l]))
                mask |= 1u << l;
        }
        // Entry 0 is the starting state; offering it again changes nothing.
        if (base == 0)
            mask &= ~1u;
        offer_group(s, base, mask, da, dp);
    }
    return s.best;
}

#ifdef QV_HAVE_AVX2_PATH

namespace {

__attribute__((target("avx2"))) int32_t select_entry_avx2(const SearchPalette& p,
                                                          const int32_t adjusted[4],
                                                          const int32_t plain[4]) {
    ScanState s = start_scan(p, adjusted, plain);
    const int32_t padded = static_cast<int32_t>(p.channel[0].size());
    __m256i qa[4], qp[4];
    for (int c = 0; c < 4; ++c) {
        qa[c] = _mm256_set1_epi32(adjusted[c]);
        qp[c] = _mm256_set1_epi32(plain[c]);
    }
    alignas(32) int32_t da[group], dp[group];
    for (int32_t base = 0; base < padded; base += group) {
        __m256i dist_a = _mm256_setzero_si256(), dist_p = _mm256_setzero_si256();
        for (int c = 0; c < 4; ++c) {
            const __m256i v =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.channel[c].data() + base));
            dist_a = _mm256_max_epi32(dist_a, _mm256_abs_epi32(_mm256_sub_epi32(v, qa[c])));
            dist_p = _mm256_max_epi32(dist_p, _mm256_abs_epi32(_mm256_sub_epi32(v, qp[c])));
        }
        const __m256i fail =
            _mm256_or_si256(_mm256_cmpgt_epi32(dist_a, _mm256_set1_epi32(s.limit_adjusted)),
                            _mm256_cmpgt_epi32(dist_p, _mm256_set1_epi32(s.limit_plain)));
        uint32_t mask =
            ~static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(fail))) & 0xff;
        if (base == 0)
            mask &= ~1u;
        if (mask == 0)
            continue;
        _mm256_store_si256(reinterpret_cast<__m256i*>(da), dist_a);
        _mm256_store_si256(reinterpret_cast<__m256i*>(dp), dist_p);
        offer_group(s, base, mask, da, dp);
    }
    return s.best;
}

}  // namespace

SelectEntry best_select_entry() {
    if (__builtin_cpu_supports("avx2"))
        return select_entry_avx2;
    return select_entry_grouped;
}

#else

SelectEntry best_select_entry() {
    return select_entry_grouped;
}

#endif
