// The remapping for processors with 512-bit vectors (AVX-512 F, BW, DQ, VL
// and VBMI2): the shared pixel loop built for them, with the selection
// of remap_select.h, sixteen head entries a vector, the later candidates
// listed by compression.
#include <bit>
#include <cstdint>
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

// 0, 1, ... 63, one byte each.
QV_WIDE_INLINE __m512i byte_lanes() {
    return _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46,
                           45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28,
                           27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10,
                           9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// The vector operations of the selection of remap_select.h, sixteen lanes.
struct Width512 {
    using Int = __m512i;
    using Float = __m512;
    using Mask = __mmask16;
    static constexpr int lanes = 16;

    QV_WIDE_INLINE static Int load(const int32_t* p) { return _mm512_load_si512(p); }
    QV_WIDE_INLINE static void store(int32_t* p, Int v) { _mm512_store_si512(p, v); }
    QV_WIDE_INLINE static Int set1(int32_t v) { return _mm512_set1_epi32(v); }
    QV_WIDE_INLINE static Int sub(Int a, Int b) { return _mm512_sub_epi32(a, b); }
    QV_WIDE_INLINE static Int abs(Int a) { return _mm512_abs_epi32(a); }
    QV_WIDE_INLINE static Int max(Int a, Int b) { return _mm512_max_epi32(a, b); }
    QV_WIDE_INLINE static Float set1f(float v) { return _mm512_set1_ps(v); }
    QV_WIDE_INLINE static Float to_float(Int a) { return _mm512_cvtepi32_ps(a); }
    QV_WIDE_INLINE static Float add(Float a, Float b) { return _mm512_add_ps(a, b); }
    QV_WIDE_INLINE static Float mul(Float a, Float b) { return _mm512_mul_ps(a, b); }
    QV_WIDE_INLINE static Float min(Float a, Float b) { return _mm512_min_ps(a, b); }
    QV_WIDE_INLINE static Mask at_least(Float a, Float b) {
        return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ);
    }
    QV_WIDE_INLINE static Mask at_most(Float a, Float b) {
        return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ);
    }
    QV_WIDE_INLINE static Float select(Mask m, Float yes, Float no) {
        return _mm512_mask_blend_ps(m, no, yes);
    }
    QV_WIDE_INLINE static uint32_t bits(Mask m) { return m; }
    // Lane i of v taken from lane i - shift, the lowest `shift` lanes
    // infinite.
    template <int shift>
    QV_WIDE_INLINE static Float lanes_up(Float v) {
        const __m512i none = _mm512_castps_si512(_mm512_set1_ps(__builtin_inff()));
        return _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(v), none, 16 - shift));
    }
    QV_WIDE_INLINE static Float last_lane(Float v) {
        return _mm512_permutexvar_ps(_mm512_set1_epi32(15), v);
    }

    // reach_of for n pixels (a multiple of eight), eight at a time.
    template <int n>
    QV_WIDE_INLINE static void reaches(const int64_t* sum, const int32_t* apart, int32_t* reach) {
        for (int k = 0; k < n; k += 8) {
            const __m512d s = _mm512_cvtepi64_pd(_mm512_load_si512(sum + k));
            const __m512d d =
                _mm512_cvtepi32_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(apart + k)));
            const __m512d room = _mm512_max_pd(
                _mm512_sub_pd(_mm512_add_pd(s, s), _mm512_mul_pd(d, d)), _mm512_setzero_pd());
            const __m512d x =
                _mm512_mul_pd(_mm512_add_pd(d, _mm512_sqrt_pd(room)), _mm512_set1_pd(0.5));
            _mm256_store_si256(reinterpret_cast<__m256i*>(reach + k),
                               _mm256_add_epi32(_mm512_cvttpd_epi32(x), _mm256_set1_epi32(1)));
        }
    }

    QV_WIDE_INLINE static int32_t list_entries(const EntrySet& set, uint8_t* list) {
        const __m512i none = _mm512_set1_epi8(static_cast<char>(no_entry));
        int32_t count = 0;
#pragma GCC unroll 4
        for (int w = 0; w < 4; ++w) {
            const __m512i index =
                _mm512_add_epi8(byte_lanes(), _mm512_set1_epi8(static_cast<char>(64 * w)));
            _mm512_storeu_si512(list + count, _mm512_mask_compress_epi8(none, set.word[w], index));
            count += std::popcount(set.word[w]);
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

void remap_pixels_avx512(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                         bool dither, RemapWatch* watch) {
    remap_pixels_with<Width512>(image, palette, indices, threads, dither, watch);
}

void select_entries_avx512(const std::vector<LinearPaletteEntry>& linear,
                           const SelectionTargets* targets, size_t count, int32_t* chosen) {
    select_entries_with<Width512>(linear, targets, count, chosen);
}

#else

bool avx512_remap_supported() {
    return false;
}

void remap_pixels_avx512(dib24&, const Palette&, uint8_t*, int32_t, bool, RemapWatch*) {}

void select_entries_avx512(const std::vector<LinearPaletteEntry>&, const SelectionTargets*, size_t,
                           int32_t*) {}

#endif
