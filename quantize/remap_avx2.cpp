// The remapping for processors with 256-bit vectors (AVX2, with BMI1 and
// POPCNT): the shared pixel loop built for them, with the selection of
// remap_select.h, eight head entries a vector.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
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

// For every byte value, the positions of its set bits, lowest first, one
// byte each.
constexpr std::array<uint64_t, 256> bit_positions = [] {
    std::array<uint64_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int n = 0;
        for (int b = 0; b < 8; ++b) {
            if ((v >> b) & 1)
                table[v] |= uint64_t(b) << (8 * n++);
        }
    }
    return table;
}();

// The positions of the set bits of `bits` (the lowest `bytes` bytes), plus
// `base`, one byte each, from list[count] on; returns the new count. Writes
// 8 bytes past the last position.
QV_AVX2_INLINE int32_t list_bits(uint64_t bits, int bytes, uint32_t base, uint8_t* list,
                                 int32_t count) {
    for (int c = 0; c < bytes; ++c) {
        const uint32_t byte = (bits >> (8 * c)) & 0xff;
        const uint64_t positions =
            bit_positions[byte] + 0x0101010101010101ull * (base + 8 * static_cast<uint32_t>(c));
        std::memcpy(list + count, &positions, sizeof positions);
        count += std::popcount(byte);
    }
    return count;
}

// The vector work of the selection of remap_select.h.
struct Width256 {
    QV_AVX2_INLINE static int32_t head(const WidePalette& p, __m128i adjusted, __m128i plain,
                                       int32_t apart, int32_t* to_adjusted, int32_t* to_plain,
                                       uint8_t* list) {
        const Targets t = broadcast_targets(adjusted, plain);
        const float d = static_cast<float>(apart);
        const __m256 anchor_k = _mm256_set1_ps(d * sqrt2_above);
        const __m256 anchor_q = _mm256_set1_ps(d * d * one_above);
        __m256i da[head_count / 8], dp[head_count / 8];
        for (int b = 0; b < head_count / 8; ++b) {
            block_distances(p, b, t, da[b], dp[b]);
            _mm256_store_si256(reinterpret_cast<__m256i*>(to_adjusted + 8 * b), da[b]);
            _mm256_store_si256(reinterpret_cast<__m256i*>(to_plain + 8 * b), dp[b]);
        }
        const int64_t a0 = to_adjusted[0], b0 = to_plain[0];
        __m256 bound = _mm256_set1_ps(static_cast<float>(a0 * a0 + b0 * b0));
        uint64_t candidates = 0;
        for (int b = 0; b < head_count / 8; ++b)
            candidates |= uint64_t{head_candidates(da[b], dp[b], anchor_k, anchor_q, bound)}
                          << (8 * b);
        candidates &= ~uint64_t{1};  // entry 0 is the starting state
        return list_bits(candidates, head_count / 8, 0, list, 0);
    }

    // Listed with bit scans.
    QV_AVX2_INLINE static int32_t list_entries(__m256i set, uint8_t* list) {
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
};

}  // namespace

bool avx2_remap_supported() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("popcnt");
}

void remap_pixels_avx2(dib24& image, const Palette& palette, uint8_t* indices, int32_t threads) {
    remap_pixels_with<Width256>(image, palette, indices, threads);
}

void select_entries_avx2(const std::vector<LinearPaletteEntry>& linear, const int32_t* queries,
                         size_t count, int32_t* chosen) {
    select_entries_with<Width256>(linear, queries, count, chosen);
}

#else

bool avx2_remap_supported() {
    return false;
}

void remap_pixels_avx2(dib24&, const Palette&, uint8_t*, int32_t) {}

void select_entries_avx2(const std::vector<LinearPaletteEntry>&, const int32_t*, size_t, int32_t*) {
}

#endif
