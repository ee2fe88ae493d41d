// The remapping for processors with 256-bit vectors (AVX2, with BMI1 and
// POPCNT): the shared pixel loop built for them, with the selection of
// remap_select.h, eight head entries a vector, for the two pixels of a row
// pair at once.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "quantize/palette_search.h"
#include "quantize/remap_task.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define QV_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

#ifdef QV_HAVE_AVX2_PATH

#define QV_AVX2 __attribute__((target("avx2,bmi,popcnt")))
#define QV_AVX2_INLINE QV_AVX2 __attribute__((always_inline)) inline
#define QV_REMAP_TARGET QV_AVX2
#include "quantize/remap_select.h"

namespace {

// Both targets, every channel in all lanes. (Written out channel by channel:
// with arrays of vectors the compiler keeps them in memory.)
struct Targets {
    __m256i a0, a1, a2, a3, p0, p1, p2, p3;
};

QV_AVX2_INLINE Targets broadcast_targets(__m128i adjusted, __m128i plain) {
    alignas(16) int32_t q[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(q), adjusted);
    _mm_store_si128(reinterpret_cast<__m128i*>(q + 4), plain);
    return {_mm256_set1_epi32(q[0]), _mm256_set1_epi32(q[1]), _mm256_set1_epi32(q[2]),
            _mm256_set1_epi32(q[3]), _mm256_set1_epi32(q[4]), _mm256_set1_epi32(q[5]),
            _mm256_set1_epi32(q[6]), _mm256_set1_epi32(q[7])};
}

QV_AVX2_INLINE __m256i gap(__m256i w, __m256i q) {
    return _mm256_abs_epi32(_mm256_sub_epi32(w, q));
}

// The distances of eight entries to both targets.
QV_AVX2_INLINE void block_distances(const WidePalette& p, int32_t block, const Targets& t,
                                    __m256i& to_adjusted, __m256i& to_plain) {
    const __m256i w0 =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(&p.weighted[0][8 * block]));
    const __m256i w1 =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(&p.weighted[1][8 * block]));
    const __m256i w2 =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(&p.weighted[2][8 * block]));
    const __m256i w3 =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(&p.weighted[3][8 * block]));
    to_adjusted = _mm256_max_epi32(_mm256_max_epi32(gap(w0, t.a0), gap(w1, t.a1)),
                                   _mm256_max_epi32(gap(w2, t.a2), gap(w3, t.a3)));
    to_plain = _mm256_max_epi32(_mm256_max_epi32(gap(w0, t.p0), gap(w1, t.p1)),
                                _mm256_max_epi32(gap(w2, t.p2), gap(w3, t.p3)));
}

// Lane i of v taken from lane i - shift, the lowest `shift` lanes (set in
// `low`) infinite.
template <int shift, int low>
QV_AVX2_INLINE __m256 lanes_up(__m256 v) {
    const __m256i from = _mm256_max_epi32(
        _mm256_sub_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(shift)),
        _mm256_setzero_si256());
    return _mm256_blend_ps(_mm256_permutevar8x32_ps(v, from), _mm256_set1_ps(__builtin_inff()),
                           low);
}

// Eight head entries: which of them can still be accepted (the anchors of
// remap_select.h). `bound` carries the smallest sum of the anchors so far
// and of entry 0, in all lanes.
QV_AVX2_INLINE uint32_t head_candidates(__m256i to_adjusted, __m256i to_plain, __m256 k, __m256 q,
                                        __m256& bound) {
    const __m256 da = _mm256_cvtepi32_ps(to_adjusted), dp = _mm256_cvtepi32_ps(to_plain);
    const __m256 a = _mm256_mul_ps(da, da), b = _mm256_mul_ps(dp, dp);
    const __m256 sum = _mm256_add_ps(a, b);
    const __m256 anchor = _mm256_cmp_ps(b, _mm256_add_ps(_mm256_mul_ps(da, k), q), _CMP_GE_OQ);
    // Prefix minimum of the anchors' sums, lane by lane, and of the bound.
    // Taking the entry's own sum in where it is an anchor changes nothing:
    // it passes its own test.
    __m256 v = _mm256_blendv_ps(_mm256_set1_ps(__builtin_inff()), sum, anchor);
    v = _mm256_min_ps(v, lanes_up<1, 0x01>(v));
    v = _mm256_min_ps(v, lanes_up<2, 0x03>(v));
    v = _mm256_min_ps(v, lanes_up<4, 0x0f>(v));
    v = _mm256_min_ps(v, bound);
    bound = _mm256_permutevar8x32_ps(v, _mm256_set1_epi32(7));
    return static_cast<uint32_t>(_mm256_movemask_ps(
        _mm256_cmp_ps(sum, _mm256_mul_ps(v, _mm256_set1_ps(one_above)), _CMP_LE_OQ)));
}

// The indices of a set of entries in index order, one byte each, followed by
// 64 bytes of no_entry; returns how many. `list` holds 320 bytes.
QV_AVX2_INLINE int32_t list_entries(__m256i set, uint8_t* list) {
    alignas(32) uint64_t words[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(words), set);
    int32_t count = 0;
    for (int w = 0; w < 4; ++w) {
        for (uint64_t bits = words[w]; bits != 0; bits &= bits - 1)
            list[count++] = static_cast<uint8_t>(64 * w + std::countr_zero(bits));
    }
    const __m256i none = _mm256_set1_epi8(static_cast<char>(no_entry));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + count), none);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + count + 32), none);
    return count;
}

// The selection of remap_select.h for N pixels, step by step for all of
// them, so that their independent chains overlap.
struct Choose256 {
    template <int N>
    QV_AVX2_INLINE static void run(const WidePalette& p, const __m128i* adjusted,
                                   const __m128i* plain, int32_t* chosen) {
        ScanState state[N];
        int32_t apart[N];
        alignas(32) int32_t to_adjusted[N][head_count + 8], to_plain[N][head_count + 8];
        uint64_t head[N];
        for (int k = 0; k < N; ++k) {
            const Targets t = broadcast_targets(adjusted[k], plain[k]);
            apart[k] = apart_of(adjusted[k], plain[k]);
            const float d = static_cast<float>(apart[k]);
            const __m256 anchor_k = _mm256_set1_ps(d * sqrt2_above);
            const __m256 anchor_q = _mm256_set1_ps(d * d * one_above);
            __m256i da[head_count / 8], dp[head_count / 8];
            for (int b = 0; b < head_count / 8; ++b) {
                block_distances(p, b, t, da[b], dp[b]);
                _mm256_store_si256(reinterpret_cast<__m256i*>(to_adjusted[k] + 8 * b), da[b]);
                _mm256_store_si256(reinterpret_cast<__m256i*>(to_plain[k] + 8 * b), dp[b]);
            }
            _mm256_store_si256(reinterpret_cast<__m256i*>(to_adjusted[k] + head_count),
                               _mm256_set1_epi32(far_away));
            _mm256_store_si256(reinterpret_cast<__m256i*>(to_plain[k] + head_count),
                               _mm256_set1_epi32(far_away));
            const int64_t a0 = to_adjusted[k][0], b0 = to_plain[k][0];
            state[k] = {2 * a0 * a0, a0 * a0 + b0 * b0, 0};
            __m256 bound = _mm256_set1_ps(static_cast<float>(state[k].sum));
            uint64_t candidates = 0;
            for (int b = 0; b < head_count / 8; ++b)
                candidates |= uint64_t{head_candidates(da[b], dp[b], anchor_k, anchor_q, bound)}
                              << (8 * b);
            head[k] = candidates & ~uint64_t{1};  // entry 0 is the starting state
        }
        int32_t most = std::popcount(head[0]);
        for (int k = 1; k < N; ++k)
            most = std::max(most, std::popcount(head[k]));
        for (int32_t i = 0; i < most; ++i) {
            for (int k = 0; k < N; ++k) {
                // Once a pixel's candidates are used up, the slot after the
                // head, whose distances are far_away.
                const uint32_t j =
                    static_cast<uint32_t>(std::countr_zero(head[k] | uint64_t{1} << head_count));
                head[k] &= head[k] - 1;
                const int64_t a = int64_t{to_adjusted[k][j]} * to_adjusted[k][j];
                const int64_t b = int64_t{to_plain[k][j]} * to_plain[k][j];
                offer(state[k], j, a, a + b);
            }
        }
        if (p.count > head_count) {
            alignas(32) uint8_t tail[N][320];
            int32_t tail_size[N];
            __m256i adjusted_v[N], plain_v[N];
            for (int k = 0; k < N; ++k) {
                const __m256i set =
                    tail_within(p, adjusted[k], plain[k], reach_of(state[k].sum, apart[k]));
                tail_size[k] = list_entries(set, tail[k]);
                adjusted_v[k] = _mm256_broadcastsi128_si256(adjusted[k]);
                plain_v[k] = _mm256_broadcastsi128_si256(plain[k]);
            }
            offer_lists<N>(p, tail, tail_size, adjusted_v, plain_v, state);
        }
        for (int k = 0; k < N; ++k)
            chosen[k] = static_cast<int32_t>(state[k].best);
    }
};

}  // namespace

bool avx2_remap_supported() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("popcnt");
}

void remap_pixels_avx2(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    remap_pixels_with<Choose256>(image, palette, indices, threads);
}

void select_entries_avx2(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                         size_t count, int32_t* chosen) {
    select_entries_with<Choose256>(linear, queries, count, chosen);
}

#else

bool avx2_remap_supported() {
    return false;
}

void remap_pixels_avx2(dib24&, const Palette&, uint8_t*, int32_t) {}

void select_entries_avx2(const std::vector<LinearPaletteEntry>&, const int32_t*, size_t, int32_t*) {
}

#endif
