// The remapping for processors with 512-bit vectors (AVX-512 F, BW, DQ, VL
// and VBMI2): the shared pixel loop built for them, with the selection of
// remap_select.h, sixteen head entries a vector, the candidates listed by
// compression.
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
#include "quantize/remap_select.h"

namespace {

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

// Sixteen head entries: which of them can still be accepted (the anchors
// of remap_select.h). `bound` carries the smallest sum of the anchors so far
// and of entry 0.
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

// 0, 1, ... 63, one byte each.
QV_WIDE_INLINE __m512i byte_lanes() {
    return _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46,
                           45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28,
                           27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10,
                           9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// The vector work of the selection of remap_select.h.
struct Width512 {
    QV_WIDE_INLINE static int32_t head(const WidePalette& p, __m128i adjusted, __m128i plain,
                                       int32_t apart, int32_t* to_adjusted, int32_t* to_plain,
                                       uint8_t* list) {
        const Targets t = broadcast_targets(adjusted, plain);
        const float d = static_cast<float>(apart);
        const __m512 anchor_k = _mm512_set1_ps(d * sqrt2_above);
        const __m512 anchor_q = _mm512_set1_ps(d * d * one_above);
        __m512i da0, dp0, da1, dp1;
        block_distances(p, 0, t, da0, dp0);
        block_distances(p, 1, t, da1, dp1);
        _mm512_store_si512(to_adjusted, da0);
        _mm512_store_si512(to_plain, dp0);
        _mm512_store_si512(to_adjusted + 16, da1);
        _mm512_store_si512(to_plain + 16, dp1);
        const int64_t a0 = to_adjusted[0], b0 = to_plain[0];
        __m512 bound = _mm512_set1_ps(static_cast<float>(a0 * a0 + b0 * b0));
        // Entry 0 is the starting state, not a candidate.
        const uint32_t low = head_candidates(da0, dp0, anchor_k, anchor_q, bound) & ~1u;
        const uint32_t high = head_candidates(da1, dp1, anchor_k, anchor_q, bound);
        const uint64_t candidates = low | (uint64_t{high} << 16);
        _mm512_store_si512(list, _mm512_maskz_compress_epi8(candidates, byte_lanes()));
        return std::popcount(candidates);
    }

    QV_WIDE_INLINE static int32_t list_entries(__m256i set, uint8_t* list) {
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
};

}  // namespace

bool avx512_remap_supported() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
}

void remap_pixels_avx512(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    remap_pixels_with<Width512>(image, palette, indices, threads);
}

void select_entries_avx512(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                           size_t count, int32_t* chosen) {
    select_entries_with<Width512>(linear, queries, count, chosen);
}

#else

bool avx512_remap_supported() {
    return false;
}

void remap_pixels_avx512(dib24&, const Palette&, uint8_t*, int32_t) {}

void select_entries_avx512(const std::vector<LinearPaletteEntry>&, const int32_t*, size_t,
                           int32_t*) {}

#endif
