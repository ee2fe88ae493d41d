// The remapping for processors with 256-bit vectors (AVX2, with BMI1 and
// POPCNT): the shared pixel loop built for them, with the selection of
// remap_select.h, eight head entries a vector.
#include <bit>
#include <cstdint>
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

// The vector operations of the selection of remap_select.h, eight lanes.
struct Width256 {
    using Int = __m256i;
    using Float = __m256;
    using Mask = __m256;  // all ones in the lanes where it holds
    static constexpr int lanes = 8;

    QV_AVX2_INLINE static Int load(const int32_t* p) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
    }
    QV_AVX2_INLINE static void store(int32_t* p, Int v) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
    }
    QV_AVX2_INLINE static Int set1(int32_t v) { return _mm256_set1_epi32(v); }
    QV_AVX2_INLINE static Int sub(Int a, Int b) { return _mm256_sub_epi32(a, b); }
    QV_AVX2_INLINE static Int abs(Int a) { return _mm256_abs_epi32(a); }
    QV_AVX2_INLINE static Int max(Int a, Int b) { return _mm256_max_epi32(a, b); }
    QV_AVX2_INLINE static Float set1f(float v) { return _mm256_set1_ps(v); }
    QV_AVX2_INLINE static Float to_float(Int a) { return _mm256_cvtepi32_ps(a); }
    QV_AVX2_INLINE static Float add(Float a, Float b) { return _mm256_add_ps(a, b); }
    QV_AVX2_INLINE static Float mul(Float a, Float b) { return _mm256_mul_ps(a, b); }
    QV_AVX2_INLINE static Float min(Float a, Float b) { return _mm256_min_ps(a, b); }
    QV_AVX2_INLINE static Mask at_least(Float a, Float b) {
        return _mm256_cmp_ps(a, b, _CMP_GE_OQ);
    }
    QV_AVX2_INLINE static Mask at_most(Float a, Float b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    QV_AVX2_INLINE static Float select(Mask m, Float yes, Float no) {
        return _mm256_blendv_ps(no, yes, m);
    }
    QV_AVX2_INLINE static uint32_t bits(Mask m) {
        return static_cast<uint32_t>(_mm256_movemask_ps(m));
    }
    // Lane i of v taken from lane i - shift, the lowest `shift` lanes
    // infinite.
    template <int shift>
    QV_AVX2_INLINE static Float lanes_up(Float v) {
        const __m256i from = _mm256_max_epi32(
            _mm256_sub_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(shift)),
            _mm256_setzero_si256());
        return _mm256_blend_ps(_mm256_permutevar8x32_ps(v, from), _mm256_set1_ps(__builtin_inff()),
                               (1 << shift) - 1);
    }
    QV_AVX2_INLINE static Float last_lane(Float v) {
        return _mm256_permutevar8x32_ps(v, _mm256_set1_epi32(7));
    }

    // reach_of for n pixels (a multiple of four), four at a time; the sums
    // (below 2^52) become doubles through the bits of 2^52 + sum.
    template <int n>
    QV_AVX2_INLINE static void reaches(const int64_t* sum, const int32_t* apart, int32_t* reach) {
        const __m256i two52_bits = _mm256_set1_epi64x(0x4330000000000000);
        const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
        for (int k = 0; k < n; k += 4) {
            const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(sum + k));
            const __m256d s =
                _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(v, two52_bits)), two52);
            const __m256d d =
                _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(apart + k)));
            const __m256d room = _mm256_max_pd(
                _mm256_sub_pd(_mm256_add_pd(s, s), _mm256_mul_pd(d, d)), _mm256_setzero_pd());
            const __m256d x =
                _mm256_mul_pd(_mm256_add_pd(d, _mm256_sqrt_pd(room)), _mm256_set1_pd(0.5));
            _mm_store_si128(reinterpret_cast<__m128i*>(reach + k),
                            _mm_add_epi32(_mm256_cvttpd_epi32(x), _mm_set1_epi32(1)));
        }
    }

    // Listed with bit scans.
    QV_AVX2_INLINE static int32_t list_entries(const EntrySet& set, uint8_t* list) {
        int32_t count = 0;
        for (int w = 0; w < 4; ++w) {
            for (uint64_t bits = set.word[w]; bits != 0; bits &= bits - 1)
                list[count++] = static_cast<uint8_t>(64 * w + std::countr_zero(bits));
        }
        const __m256i none = _mm256_set1_epi8(static_cast<char>(no_entry));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + count), none);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + count + 32), none);
        return count;
    }
};

}  // namespace

bool avx2_remap_supported() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("popcnt");
}

void remap_pixels_avx2(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads,
                       bool dither, RemapWatch* watch) {
    remap_pixels_with<Width256>(image, palette, indices, threads, dither, watch);
}

void select_entries_avx2(const std::vector<LinearPaletteEntry>& linear,
                         const SelectionTargets* targets, size_t count, int32_t* chosen) {
    select_entries_with<Width256>(linear, targets, count, chosen);
}

#else

bool avx2_remap_supported() {
    return false;
}

void remap_pixels_avx2(dib24&, const Palette&, uint8_t*, int32_t, bool, RemapWatch*) {}

void select_entries_avx2(const std::vector<LinearPaletteEntry>&, const SelectionTargets*, size_t,
                         int32_t*) {}

#endif
