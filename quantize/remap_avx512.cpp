// The remapping for processors with 512-bit vectors (AVX-512 F, BW, DQ, VL
// and VBMI2): the shared pixel loop built for them, with a selection that
// reaches only the few palette entries that can still be accepted, and
// that chooses for the two pixels of a row pair at once.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "quantize/palette_search.h"
#include "quantize/remap_task.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define QV_HAVE_WIDE_PATH 1
#include <immintrin.h>
// GCC's own intrinsics start some results from a deliberately undefined
// vector, which it then reports as possibly uninitialised where they inline.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#ifdef QV_HAVE_WIDE_PATH

#define QV_WIDE \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi2,avx2,bmi,bmi2,popcnt")))
#define QV_WIDE_INLINE QV_WIDE __attribute__((always_inline)) inline
#define QV_REMAP_TARGET QV_WIDE
#include "quantize/remap_kernel.h"

namespace {

// The weighted channel value of the slots past the last entry: so far from
// every target that such a slot is never accepted, and near enough that its
// squared distances and their sum still fit in 63 bits.
constexpr int32_t far_away = 0x3fffffff;

// The entries whose distances every pixel computes. After them the scan's
// sum is small enough that only a handful of the later entries can still be
// accepted.
constexpr int32_t head_count = 32;

// Index of a slot that is never a palette entry (a palette has at most 255):
// it pads lists of candidates to whole groups.
constexpr int32_t no_entry = 255;

// The palette laid out for the selection: the weighted working values
// channel by channel (sixteen entries fill a vector) and entry by entry (one
// entry in 128 bits), and for the red, green and blue bytes the
// sets of entries below each byte value, from which the entries inside a box
// come out with a few set operations.
struct WidePalette {
    int32_t count;
    alignas(64) int32_t weighted[4][256];
    alignas(64) int32_t record[256][4];
    EntrySet below[3][257];
    EntrySet tail;  // the entries after the head
};

std::unique_ptr<WidePalette> make_wide_palette(const std::vector<LinearPaletteEntry>& linear) {
    auto p = std::make_unique<WidePalette>();
    p->count = static_cast<int32_t>(linear.size());
    const SearchPalette search = make_search_palette(linear);
    for (int32_t j = 0; j < 256; ++j) {
        for (int c = 0; c < 4; ++c) {
            const int32_t v = j < p->count ? search.weighted[4 * j + c] : far_away;
            p->weighted[c][j] = v;
            p->record[j][c] = v;
        }
    }
    for (int c = 0; c < 3; ++c)
        std::copy(search.below[c].begin(), search.below[c].end(), p->below[c]);
    p->tail = search.all;
    p->tail.word[0] &= ~0ull << head_count;
    return p;
}

// Both targets, every channel in all lanes. (Written out channel by channel:
// with arrays of vectors the compiler keeps them in memory.)
struct Targets {
    __m512i a0, a1, a2, a3, p0, p1, p2, p3;
};

QV_WIDE_INLINE Targets broadcast_targets(__m128i adjusted, __m128i plain) {
    alignas(16) int32_t q[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(q), adjusted);
    _mm_store_si128(reinterpret_cast<__m128i*>(q + 4), plain);
    return {_mm512_set1_epi32(q[0]), _mm512_set1_epi32(q[1]), _mm512_set1_epi32(q[2]),
            _mm512_set1_epi32(q[3]), _mm512_set1_epi32(q[4]), _mm512_set1_epi32(q[5]),
            _mm512_set1_epi32(q[6]), _mm512_set1_epi32(q[7])};
}

QV_WIDE_INLINE __m512i gap(__m512i w, __m512i q) {
    return _mm512_abs_epi32(_mm512_sub_epi32(w, q));
}

// The distances of sixteen entries to both targets.
QV_WIDE_INLINE void block_distances(const WidePalette& p, int32_t block, const Targets& t,
                                    __m512i& to_adjusted, __m512i& to_plain) {
    const __m512i w0 = _mm512_load_si512(&p.weighted[0][16 * block]);
    const __m512i w1 = _mm512_load_si512(&p.weighted[1][16 * block]);
    const __m512i w2 = _mm512_load_si512(&p.weighted[2][16 * block]);
    const __m512i w3 = _mm512_load_si512(&p.weighted[3][16 * block]);
    to_adjusted = _mm512_max_epi32(_mm512_max_epi32(gap(w0, t.a0), gap(w1, t.a1)),
                                   _mm512_max_epi32(gap(w2, t.a2), gap(w3, t.a3)));
    to_plain = _mm512_max_epi32(_mm512_max_epi32(gap(w0, t.p0), gap(w1, t.p1)),
                                _mm512_max_epi32(gap(w2, t.p2), gap(w3, t.p3)));
}

// The scan's state: the best entry so far, twice its squared distance to
// the adjusted target and its sum of both squared distances, the two bounds
// that an entry is tested against. The test and the update are two
// subtractions, an or and three conditional moves, with no jump to
// mispredict.
struct ScanState {
    int64_t twice_a, sum, best;
};

inline void offer(ScanState& s, int64_t j, int64_t aj, int64_t sj) {
    int64_t room_a = s.twice_a, room_s = s.sum;
    const int64_t twice_aj = 2 * aj;
    // Both differences are non-negative exactly when aj <= 2a and
    // aj + bj <= a + b; the sign of their or tells.
    asm("sub %[aj], %[ra]\n\t"
        "sub %[sj], %[rs]\n\t"
        "or %[rs], %[ra]\n\t"
        "cmovns %[taj], %[ta]\n\t"
        "cmovns %[sj], %[su]\n\t"
        "cmovns %[j], %[be]"
        : [ra] "+&r"(room_a), [rs] "+&r"(room_s), [ta] "+r"(s.twice_a), [su] "+r"(s.sum),
          [be] "+r"(s.best)
        : [aj] "r"(aj), [sj] "r"(sj), [taj] "r"(twice_aj), [j] "r"(j)
        : "cc");
}

// A little above sqrt(2): sqrt(2) (1 + 1.6e-6).
constexpr float sqrt2_above = 1.4142159f;
// A little above 1: 1 + 2^-20.
constexpr float one_above = 1.00000095f;

// Sixteen head entries: which of them can still be accepted.
//
// Anchors: an entry j with b_j >= sqrt(2) dA_j D + D^2, where D is the
// distance between the two targets, is accepted whenever the scan reaches it
// with a sum a + b > a_j + b_j. For the best entry so far lies within D of
// the plain target's distance (the distance is a norm): b <= (dA + D)^2, so
// 2a + 2 dA D + D^2 >= a + b > a_j + b_j >= a_j + sqrt(2) dA_j D + D^2;
// were a_j > 2a, that is dA_j > sqrt(2) dA, the right side would exceed the
// left. So a_j <= 2a, and j is accepted. After an anchor, then, the sum is at
// most the anchor's, and no later entry with a larger sum can be accepted.
// `bound` carries the smallest anchor sum so far (starting with entry 0's,
// the scan's first state); an entry is a candidate when its sum is within
// the bound and the sums of the anchors before it.
//
// In single precision, every rounding (at most u = 2^-24 each) is covered:
// the distances themselves (below 2^20) are exact, their squares, sums and
// the products with K = D sqrt2_above and Q = D^2 one_above are rounded. An
// anchor is claimed only when b_f >= dA K + Q (rounded), which implies the
// exact test: the margins of sqrt2_above and one_above (more than 16u) exceed
// the six roundings on the two sides. An entry is let through when its sum is
// at most the bound times one_above, which covers the roundings by which the
// entry's sum (two, up) and an anchor's (two, down, and the product) can
// misorder.
QV_WIDE_INLINE __mmask16 head_candidates(__m512i to_adjusted, __m512i to_plain, __m512 k, __m512 q,
                                         __m512& bound) {
    const __m512 da = _mm512_cvtepi32_ps(to_adjusted), dp = _mm512_cvtepi32_ps(to_plain);
    const __m512 a = _mm512_mul_ps(da, da), b = _mm512_mul_ps(dp, dp);
    const __m512 sum = _mm512_add_ps(a, b);
    const __mmask16 anchor =
        _mm512_cmp_ps_mask(b, _mm512_add_ps(_mm512_mul_ps(da, k), q), _CMP_GE_OQ);
    // Prefix minimum of the anchors' sums, lane by lane, and of the bound.
    // Taking the entry's own sum in where it is an anchor changes nothing:
    // it passes its own test.
    const __m512 none = _mm512_set1_ps(__builtin_inff());
    const __m512i none_i = _mm512_castps_si512(none);
    __m512 v = _mm512_mask_blend_ps(anchor, none, sum);
    v = _mm512_min_ps(v,
                      _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(v), none_i, 15)));
    v = _mm512_min_ps(v,
                      _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(v), none_i, 14)));
    v = _mm512_min_ps(v,
                      _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(v), none_i, 12)));
    v = _mm512_min_ps(v,
                      _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(v), none_i, 8)));
    v = _mm512_min_ps(v, bound);
    bound = _mm512_permutexvar_ps(_mm512_set1_epi32(15), v);
    return _mm512_cmp_ps_mask(sum, _mm512_mul_ps(v, _mm512_set1_ps(one_above)), _CMP_LE_OQ);
}

// The largest distance to either target that an entry j with
// a_j + b_j <= s can have, when the targets are `apart`: with x the larger of
// its two distances, the other is at least x - apart (the distance is a
// norm), so x^2 + max(0, x - apart)^2 <= s: x <= sqrt(s) when
// sqrt(s) <= apart, else x <= w = (apart + sqrt(2s - apart^2)) / 2. As
// w <= sqrt(s) always (their difference is a square) and w >= apart when
// sqrt(s) > apart, that is max(w, min(sqrt(s), apart)). Both square roots
// are correctly rounded and the values exact in doubles (below 2^53), so
// adding 1 covers the roundings.
QV_WIDE_INLINE int32_t reach_of(int64_t s, int32_t apart) {
    const __m128d sd = _mm_set1_pd(static_cast<double>(s)), d = _mm_set1_pd(apart);
    const __m128d roots =
        _mm_sqrt_pd(_mm_max_pd(_mm_sub_pd(_mm_add_pd(sd, _mm_unpacklo_pd(_mm_setzero_pd(), sd)),
                                          _mm_unpacklo_pd(_mm_setzero_pd(), _mm_mul_pd(d, d))),
                               _mm_setzero_pd()));
    // roots: sqrt(s), sqrt(2s - apart^2).
    const __m128d wide = _mm_mul_pd(_mm_add_pd(d, _mm_unpackhi_pd(roots, roots)), _mm_set1_pd(0.5));
    return _mm_cvttsd_si32(_mm_max_sd(wide, _mm_min_sd(roots, d))) + 1;
}

// The entries after the head whose distances to both targets are at most
// `reach`: for each of red, green and blue the byte range
// |256 byte - q| <= reach / weight around both unweighted targets q, found
// through the sets of entries below each byte value. Luma is left out: for
// palette entries it follows from the other three channels, and leaving a
// channel out only lets more entries through to the exact test.
QV_WIDE_INLINE __m256i tail_within(const WidePalette& p, __m128i adjusted, __m128i plain,
                                   int32_t reach) {
    // The targets come weighted; dividing back is exact (they are multiples
    // of the weights, below 2^24, so the rounded quotient is the integer).
    // The reach per channel is formed in single precision and one more is
    // allowed for its rounding, so the box may only grow.
    const __m128 inverse_weight = _mm_setr_ps(1.0f / 10, 1.0f / 13, 1.0f / 6, 1.0f / 10);
    const __m128i qa = _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(adjusted), inverse_weight));
    const __m128i qp = _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(plain), inverse_weight));
    const __m128i r = _mm_add_epi32(
        _mm_cvttps_epi32(_mm_mul_ps(_mm_set1_ps(static_cast<float>(reach)), inverse_weight)),
        _mm_set1_epi32(1));
    // Lowest byte with 256 byte >= max(q) - r (the arithmetic shift rounds
    // toward minus infinity), and one past the highest with
    // 256 byte <= min(q) + r.
    const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi32(256);
    const __m128i low = _mm_min_epi32(
        _mm_max_epi32(
            _mm_srai_epi32(
                _mm_add_epi32(_mm_sub_epi32(_mm_max_epi32(qa, qp), r), _mm_set1_epi32(255)), 8),
            zero),
        top);
    const __m128i end = _mm_min_epi32(
        _mm_max_epi32(_mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(_mm_min_epi32(qa, qp), r), 8),
                                    _mm_set1_epi32(1)),
                      zero),
        top);
    alignas(16) int32_t lows[4], ends[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), low);
    _mm_store_si128(reinterpret_cast<__m128i*>(ends), end);
    __m256i set = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.tail));
    for (int c = 0; c < 3; ++c) {
        const __m256i upto_end =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.below[c][ends[c]]));
        const __m256i upto_low =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.below[c][lows[c]]));
        set = _mm256_and_si256(set, _mm256_andnot_si256(upto_low, upto_end));
    }
    return set;
}

// 0, 1, ... 63, one byte each.
QV_WIDE_INLINE __m512i byte_lanes() {
    return _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46,
                           45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28,
                           27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10,
                           9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// The indices of a set of entries in index order, one byte each, followed by
// at least 64 bytes of no_entry; returns how many. `list` holds 320 bytes.
QV_WIDE_INLINE int32_t list_entries(__m256i set, uint8_t* list) {
    const __m512i none = _mm512_set1_epi8(static_cast<char>(no_entry));
    int32_t count = 0;
    for (int w = 0; w < 4; ++w) {
        const uint64_t word = static_cast<uint64_t>(_mm256_extract_epi64(set, 0));
        set = _mm256_permute4x64_epi64(set, 0x39);  // the next word down
        const __m512i index =
            _mm512_add_epi8(byte_lanes(), _mm512_set1_epi8(static_cast<char>(64 * w)));
        _mm512_storeu_si512(list + count, _mm512_mask_compress_epi8(none, word, index));
        count += std::popcount(word);
    }
    _mm512_storeu_si512(list + count, none);
    return count;
}

// Offers two listed entries, list[i] and list[i + 1], in index order; their
// distances come from their records, both targets at once. (Two at a time
// waste less on the padding of the shorter of a pair's lists than four.)
QV_WIDE_INLINE void offer_two(const WidePalette& p, const uint8_t* list, int32_t i,
                              __m256i adjusted, __m256i plain, ScanState& state) {
    const uint32_t j0 = list[i], j1 = list[i + 1];
    __m256i e =
        _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(p.record[j0])));
    e = _mm256_inserti128_si256(e, _mm_load_si128(reinterpret_cast<const __m128i*>(p.record[j1])),
                                1);
    __m256i da = _mm256_abs_epi32(_mm256_sub_epi32(e, adjusted));
    __m256i dp = _mm256_abs_epi32(_mm256_sub_epi32(e, plain));
    da = _mm256_max_epi32(da, _mm256_shuffle_epi32(da, 0x4e));
    dp = _mm256_max_epi32(dp, _mm256_shuffle_epi32(dp, 0x4e));
    da = _mm256_max_epi32(da, _mm256_shuffle_epi32(da, 0xb1));
    dp = _mm256_max_epi32(dp, _mm256_shuffle_epi32(dp, 0xb1));
    // Every lane of a half now holds its entry's distance; the squares in
    // 64 bits, exact.
    const __m256i a = _mm256_mul_epu32(da, da);
    const __m256i s = _mm256_add_epi64(a, _mm256_mul_epu32(dp, dp));
    alignas(32) int64_t av[4], sv[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(av), a);
    _mm256_store_si256(reinterpret_cast<__m256i*>(sv), s);
    offer(state, j0, av[0], sv[0]);
    offer(state, j1, av[2], sv[2]);
}

// The selection for N pixels, step by step for all of them, so that their
// independent chains overlap. For each pixel:
// 1. the distances of the head entries, sixteen at a time;
// 2. the head entries that can still be accepted (anchors, above), scanned
//    exactly in index order;
// 3. the later entries that can still be accepted lie within reach of the
//    scan's sum (which never grows) from both targets: those inside the box
//    of that reach, scanned exactly in index order. An entry left out could
//    not have been accepted, so it could not have changed the state either.
template <int N>
QV_WIDE_INLINE void select_wide(const WidePalette& p, const __m128i* adjusted, const __m128i* plain,
                                int32_t* chosen) {
    ScanState state[N];
    int32_t apart[N];
    alignas(64) int32_t to_adjusted[N][head_count + 16], to_plain[N][head_count + 16];
    alignas(64) uint8_t head[N][64];
    int32_t head_size[N];
    for (int k = 0; k < N; ++k) {
        const Targets t = broadcast_targets(adjusted[k], plain[k]);
        const __m128i gaps = _mm_abs_epi32(_mm_sub_epi32(adjusted[k], plain[k]));
        const __m128i half = _mm_max_epi32(gaps, _mm_shuffle_epi32(gaps, 0x4e));
        apart[k] = _mm_cvtsi128_si32(_mm_max_epi32(half, _mm_shuffle_epi32(half, 0xb1)));
        const float d = static_cast<float>(apart[k]);
        const __m512 anchor_k = _mm512_set1_ps(d * sqrt2_above);
        const __m512 anchor_q = _mm512_set1_ps(d * d * one_above);
        __m512i da0, dp0, da1, dp1;
        block_distances(p, 0, t, da0, dp0);
        block_distances(p, 1, t, da1, dp1);
        _mm512_store_si512(to_adjusted[k], da0);
        _mm512_store_si512(to_plain[k], dp0);
        _mm512_store_si512(to_adjusted[k] + 16, da1);
        _mm512_store_si512(to_plain[k] + 16, dp1);
        _mm512_store_si512(to_adjusted[k] + head_count, _mm512_set1_epi32(far_away));
        _mm512_store_si512(to_plain[k] + head_count, _mm512_set1_epi32(far_away));
        const int64_t a0 = to_adjusted[k][0], b0 = to_plain[k][0];
        state[k] = {2 * a0 * a0, a0 * a0 + b0 * b0, 0};
        __m512 bound = _mm512_set1_ps(static_cast<float>(state[k].sum));
        // Entry 0 is the starting state, not a candidate.
        const uint32_t low = head_candidates(da0, dp0, anchor_k, anchor_q, bound) & ~1u;
        const uint32_t high = head_candidates(da1, dp1, anchor_k, anchor_q, bound);
        const uint64_t candidates = low | (uint64_t{high} << 16);
        // Padded with the slot after the head, whose distances are far_away.
        _mm512_store_si512(head[k], _mm512_mask_compress_epi8(_mm512_set1_epi8(head_count),
                                                              candidates, byte_lanes()));
        head_size[k] = std::popcount(candidates);
    }
    int32_t most = head_size[0];
    for (int k = 1; k < N; ++k)
        most = std::max(most, head_size[k]);
    for (int32_t i = 0; i < most; ++i) {
        for (int k = 0; k < N; ++k) {
            const uint32_t j = head[k][i];
            const int64_t a = int64_t{to_adjusted[k][j]} * to_adjusted[k][j];
            const int64_t b = int64_t{to_plain[k][j]} * to_plain[k][j];
            offer(state[k], j, a, a + b);
        }
    }

    if (p.count > head_count) {
        alignas(64) uint8_t tail[N][320];
        int32_t tail_size[N];
        __m512i adjusted_v[N], plain_v[N];
        for (int k = 0; k < N; ++k) {
            const __m256i set =
                tail_within(p, adjusted[k], plain[k], reach_of(state[k].sum, apart[k]));
            tail_size[k] = list_entries(set, tail[k]);
            adjusted_v[k] = _mm512_broadcast_i32x4(adjusted[k]);
            plain_v[k] = _mm512_broadcast_i32x4(plain[k]);
        }
        most = tail_size[0];
        for (int k = 1; k < N; ++k)
            most = std::max(most, tail_size[k]);
        // The shorter lists need padding up to the longest (rarely more than
        // the 64 bytes that list_entries writes).
        for (int k = 0; k < N; ++k) {
            for (int32_t i = tail_size[k] + 64; i < most + 2; i += 64)
                _mm512_storeu_si512(tail[k] + i, _mm512_set1_epi8(static_cast<char>(no_entry)));
        }
        for (int32_t i = 0; i < most; i += 2) {
            for (int k = 0; k < N; ++k)
                offer_two(p, tail[k], i, _mm512_castsi512_si256(adjusted_v[k]),
                          _mm512_castsi512_si256(plain_v[k]), state[k]);
        }
    }
    for (int k = 0; k < N; ++k)
        chosen[k] = static_cast<int32_t>(state[k].best);
}

struct WideSelect {
    const WidePalette& palette;
    QV_WIDE_INLINE int32_t operator()(Lanes adjusted, Lanes plain) const {
        const __m128i a = reinterpret_cast<__m128i>(adjusted), q = reinterpret_cast<__m128i>(plain);
        int32_t best;
        select_wide<1>(palette, &a, &q, &best);
        return best;
    }
    QV_WIDE_INLINE void pair(Lanes adjusted0, Lanes plain0, Lanes adjusted1, Lanes plain1,
                             int32_t& best0, int32_t& best1) const {
        const __m128i a[2] = {reinterpret_cast<__m128i>(adjusted0),
                              reinterpret_cast<__m128i>(adjusted1)};
        const __m128i q[2] = {reinterpret_cast<__m128i>(plain0), reinterpret_cast<__m128i>(plain1)};
        int32_t best[2];
        select_wide<2>(palette, a, q, best);
        best0 = best[0];
        best1 = best[1];
    }
};

QV_WIDE void select_each(const WideSelect& select, const int32_t* queries, size_t count,
                         int32_t* chosen) {
    size_t i = 0;
    // Two at a time, as the pixel loop asks, and the last one alone.
    for (; i + 1 < count; i += 2) {
        const __m128i* q = reinterpret_cast<const __m128i*>(queries + 8 * i);
        select.pair(reinterpret_cast<Lanes>(_mm_loadu_si128(q)),
                    reinterpret_cast<Lanes>(_mm_loadu_si128(q + 1)),
                    reinterpret_cast<Lanes>(_mm_loadu_si128(q + 2)),
                    reinterpret_cast<Lanes>(_mm_loadu_si128(q + 3)), chosen[i], chosen[i + 1]);
    }
    for (; i < count; ++i) {
        const __m128i* q = reinterpret_cast<const __m128i*>(queries + 8 * i);
        chosen[i] = select(reinterpret_cast<Lanes>(_mm_loadu_si128(q)),
                           reinterpret_cast<Lanes>(_mm_loadu_si128(q + 1)));
    }
}

}  // namespace

bool avx512_remap_supported() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
}

void remap_pixels_avx512(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    RemapTask task;
    if (!prepare_task(task, image, palette, indices, threads))
        return;
    const std::unique_ptr<WidePalette> wide = make_wide_palette(task.linear);
    const WideSelect select{*wide};
    run_threads(task, [&](int32_t thread) { remap_rows(task, select, thread); });
}

void select_entries_avx512(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                           size_t count, int32_t* chosen) {
    if (linear.size() > size_t{no_entry}) {  // test palettes may hold 256
        select_entries_plain(linear, queries, count, chosen);
        return;
    }
    const std::unique_ptr<WidePalette> wide = make_wide_palette(linear);
    select_each(WideSelect{*wide}, queries, count, chosen);
}

#else

bool avx512_remap_supported() {
    return false;
}

void remap_pixels_avx512(dib24&, const Palette&, uint8_t*, int32_t) {}

void select_entries_avx512(const std::vector<LinearPaletteEntry>&, const int32_t*, size_t,
                           int32_t*) {}

#endif
