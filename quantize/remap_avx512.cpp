// The remapping for processors with 512-bit vectors (AVX-512 F, BW, DQ and
// VL): the shared pixel loop built for them, with a selection that computes
// the distances of sixteen palette entries at a time.
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

#define QV_WIDE __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx2,bmi,bmi2,popcnt")))
#define QV_WIDE_INLINE QV_WIDE __attribute__((always_inline)) inline
#define QV_REMAP_TARGET QV_WIDE
#include "quantize/remap_kernel.h"

namespace {

// The weighted channel value of the slots past the last entry: so far from
// every target that such a slot never becomes a candidate, and near enough
// that its squared distances still fit in 64 bits.
constexpr int32_t far_away = 0x3fffffff;

// The palette laid out for the selection: the weighted working values
// channel by channel, so that sixteen entries fill a vector.
struct WidePalette {
    int32_t count;
    int32_t blocks;  // groups of sixteen entries
    int32_t weighted[4][256];
};

std::unique_ptr<WidePalette> make_wide_palette(const std::vector<LinearPaletteEntry>& linear) {
    auto p = std::make_unique<WidePalette>();
    p->count = static_cast<int32_t>(linear.size() < 256 ? linear.size() : 256);
    p->blocks = (p->count + 15) / 16;
    for (int32_t j = 0; j < 256; ++j) {
        const bool real = j < p->count;
        const uint8_t v[4] = {
            real ? linear[j].red : uint8_t{0}, real ? linear[j].green : uint8_t{0},
            real ? linear[j].blue : uint8_t{0}, real ? linear[j].luma : uint8_t{0}};
        for (int c = 0; c < 4; ++c)
            p->weighted[c][j] = real ? v[c] * 256 * distance_weight[c] : far_away;
    }
    return p;
}

// Both targets, every channel in all lanes. (Written out channel by channel:
// with arrays of vectors the compiler keeps them in memory.)
struct Targets {
    __m512i a0, a1, a2, a3, p0, p1, p2, p3;
};

QV_WIDE_INLINE __m512i lane_of(__m128i v, int c) {
    return _mm512_permutexvar_epi32(_mm512_set1_epi32(c), _mm512_castsi128_si512(v));
}

QV_WIDE_INLINE Targets broadcast_targets(__m128i adjusted, __m128i plain) {
    return {lane_of(adjusted, 0), lane_of(adjusted, 1), lane_of(adjusted, 2), lane_of(adjusted, 3),
            lane_of(plain, 0),    lane_of(plain, 1),    lane_of(plain, 2),    lane_of(plain, 3)};
}

QV_WIDE_INLINE __m512i gap(__m512i w, __m512i q) {
    return _mm512_abs_epi32(_mm512_sub_epi32(w, q));
}

// The distances of sixteen entries to both targets.
QV_WIDE_INLINE void block_distances(const WidePalette& p, int32_t block, const Targets& t,
                                    __m512i& to_adjusted, __m512i& to_plain) {
    const __m512i w0 = _mm512_loadu_si512(&p.weighted[0][16 * block]);
    const __m512i w1 = _mm512_loadu_si512(&p.weighted[1][16 * block]);
    const __m512i w2 = _mm512_loadu_si512(&p.weighted[2][16 * block]);
    const __m512i w3 = _mm512_loadu_si512(&p.weighted[3][16 * block]);
    to_adjusted = _mm512_max_epi32(_mm512_max_epi32(gap(w0, t.a0), gap(w1, t.a1)),
                                   _mm512_max_epi32(gap(w2, t.a2), gap(w3, t.a3)));
    to_plain = _mm512_max_epi32(_mm512_max_epi32(gap(w0, t.p0), gap(w1, t.p1)),
                                _mm512_max_epi32(gap(w2, t.p2), gap(w3, t.p3)));
}

// The scan's state: the best entry so far, twice its squared distance to
// the adjusted target and its sum of both squared distances, the two bounds
// that an entry is tested against. The test and the update are a subtraction,
// an or and three conditional moves, with no jump to mispredict.
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

// Eight entries of the first blocks: which of them can still be accepted.
//
// Anchors: an entry j with b_j >= sqrt(2) * dA_j * D + D^2, where D is the
// distance between the two targets, is accepted whenever the scan reaches it
// with a sum above its own. The best entry so far lies within D of both
// targets' distances (the distance is a norm), so a sum above a_j + b_j puts
// it so far from the adjusted target that a_j <= 2a holds. After an anchor,
// then, the sum is at most the anchor's, and no later entry with a larger sum
// can be accepted. `bound` carries the smallest anchor sum so far (starting
// with entry 0's); an entry is a candidate when its sum is within the bound
// of the entries before it. Squares and sums are exact in doubles (below
// 2^41); the factor is a little above sqrt(2), so an anchor is never claimed
// wrongly.
QV_WIDE_INLINE __mmask8 first_block_candidates(__m256i to_adjusted, __m256i to_plain,
                                               __mmask8 valid, __m512d apart_factor,
                                               __m512d apart_squared, __m512d& bound) {
    const __m512d da = _mm512_cvtepi32_pd(to_adjusted), dp = _mm512_cvtepi32_pd(to_plain);
    const __m512d a = _mm512_mul_pd(da, da), b = _mm512_mul_pd(dp, dp);
    const __m512d sum = _mm512_add_pd(a, b);
    const __mmask8 anchor = _mm512_mask_cmp_pd_mask(
        valid, b, _mm512_add_pd(_mm512_mul_pd(da, apart_factor), apart_squared), _CMP_GE_OQ);
    const __m512i none = _mm512_castpd_si512(_mm512_set1_pd(__builtin_inf()));
    // Prefix minimum of the anchors' sums (non-negative doubles order as
    // their bit patterns do, so the lanes are shifted as integers).
    __m512i v = _mm512_mask_blend_epi64(anchor, none, _mm512_castpd_si512(sum));
    v = _mm512_castpd_si512(_mm512_min_pd(_mm512_castsi512_pd(v),
                                          _mm512_castsi512_pd(_mm512_alignr_epi64(v, none, 7))));
    v = _mm512_castpd_si512(_mm512_min_pd(_mm512_castsi512_pd(v),
                                          _mm512_castsi512_pd(_mm512_alignr_epi64(v, none, 6))));
    v = _mm512_castpd_si512(_mm512_min_pd(_mm512_castsi512_pd(v),
                                          _mm512_castsi512_pd(_mm512_alignr_epi64(v, none, 4))));
    const __m512d before =
        _mm512_min_pd(_mm512_castsi512_pd(_mm512_alignr_epi64(v, none, 7)), bound);
    bound = _mm512_min_pd(bound,
                          _mm512_castsi512_pd(_mm512_permutexvar_epi64(_mm512_set1_epi64(7), v)));
    return _mm512_mask_cmp_pd_mask(valid, sum, before, _CMP_LE_OQ);
}

// The selection of one pixel. The first sixteen entries give a bound on the
// scan's sum for all later ones (the smallest anchor sum among them). The
// later blocks are then filtered against it in single precision, with a
// margin that covers the rounding, and the scan itself runs exactly, in index
// order, over the few entries that pass: an entry left out could not have
// been accepted, so it could not have changed the state either.
constexpr int32_t head_blocks = 2;

QV_WIDE_INLINE int32_t select_wide(const WidePalette& p, __m128i adjusted, __m128i plain) {
    const Targets t = broadcast_targets(adjusted, plain);
    const __m128i apart_v = _mm_abs_epi32(_mm_sub_epi32(adjusted, plain));
    const __m128i apart_2 = _mm_max_epi32(apart_v, _mm_shuffle_epi32(apart_v, 0x4e));
    const int32_t apart =
        _mm_cvtsi128_si32(_mm_max_epi32(apart_2, _mm_shuffle_epi32(apart_2, 0xb1)));
    const __m512d apart_factor = _mm512_set1_pd(1.41421357 * apart);
    const __m512d apart_squared = _mm512_set1_pd(static_cast<double>(apart) * apart);

    int32_t to_adjusted[256], to_plain[256];
    int32_t order[16 + 256];  // the entries to offer, in index order
    int32_t offered = 0;
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);

    __m512i da, dp;
    block_distances(p, 0, t, da, dp);
    _mm512_storeu_si512(to_adjusted, da);
    _mm512_storeu_si512(to_plain, dp);
    const int64_t d0a = _mm_cvtsi128_si32(_mm512_castsi512_si128(da));
    const int64_t d0p = _mm_cvtsi128_si32(_mm512_castsi512_si128(dp));
    ScanState state{2 * d0a * d0a, d0a * d0a + d0p * d0p, 0};

    // The first blocks bound the rest. Entry 0 is the starting state,
    // not a candidate.
    __m512d bound = _mm512_set1_pd(static_cast<double>(state.sum));
    for (int32_t block = 0; block < head_blocks && block < p.blocks; ++block) {
        if (block > 0) {
            block_distances(p, block, t, da, dp);
            _mm512_storeu_si512(to_adjusted + 16 * block, da);
            _mm512_storeu_si512(to_plain + 16 * block, dp);
        }
        const int32_t left = p.count - 16 * block;
        uint32_t real = left >= 16 ? 0xffffu : (1u << left) - 1;
        if (block == 0)
            real &= ~1u;
        const __mmask8 low =
            first_block_candidates(_mm512_castsi512_si256(da), _mm512_castsi512_si256(dp),
                                   static_cast<__mmask8>(real), apart_factor, apart_squared, bound);
        const __mmask8 high = first_block_candidates(
            _mm512_extracti64x4_epi64(da, 1), _mm512_extracti64x4_epi64(dp, 1),
            static_cast<__mmask8>(real >> 8), apart_factor, apart_squared, bound);
        const __mmask16 candidates = static_cast<__mmask16>(low | (high << 8));
        const __m512i index = _mm512_add_epi32(lanes, _mm512_set1_epi32(16 * block));
        _mm512_storeu_si512(order + offered, _mm512_maskz_compress_epi32(candidates, index));
        offered += std::popcount(static_cast<uint32_t>(candidates));
    }

    if (p.blocks > head_blocks) {
        // s <= B implies s' <= B' for the single-precision sum s' and
        // B' = B (1 + 2^-18): each of the three roundings is below 2^-24.
        const double b = _mm512_cvtsd_f64(bound);
        const __m512 limit = _mm512_set1_ps(static_cast<float>(b * (1.0 + 1.0 / 262144)));
        for (int32_t block = head_blocks; block < p.blocks; ++block) {
            block_distances(p, block, t, da, dp);
            _mm512_storeu_si512(to_adjusted + 16 * block, da);
            _mm512_storeu_si512(to_plain + 16 * block, dp);
            const __m512 fa = _mm512_cvtepi32_ps(da), fp = _mm512_cvtepi32_ps(dp);
            const __m512 sum = _mm512_add_ps(_mm512_mul_ps(fa, fa), _mm512_mul_ps(fp, fp));
            const __mmask16 pass = _mm512_cmp_ps_mask(sum, limit, _CMP_LE_OQ);
            const __m512i index = _mm512_add_epi32(lanes, _mm512_set1_epi32(16 * block));
            _mm512_storeu_si512(order + offered, _mm512_maskz_compress_epi32(pass, index));
            offered += std::popcount(static_cast<uint32_t>(pass));
        }
    }

    for (int32_t i = 0; i < offered; ++i) {
        const int64_t j = order[i];
        const int64_t a = int64_t{to_adjusted[j]} * to_adjusted[j];
        const int64_t b = int64_t{to_plain[j]} * to_plain[j];
        offer(state, j, a, a + b);
    }
    return static_cast<int32_t>(state.best);
}

struct WideSelect {
    const WidePalette& palette;
    QV_WIDE_INLINE int32_t operator()(Lanes adjusted, Lanes plain) const {
        return select_wide(palette, reinterpret_cast<__m128i>(adjusted),
                           reinterpret_cast<__m128i>(plain));
    }
};

QV_WIDE void select_each(const WideSelect& select, const int32_t* queries, size_t count,
                         int32_t* chosen) {
    for (size_t i = 0; i < count; ++i) {
        const __m128i* q = reinterpret_cast<const __m128i*>(queries + 8 * i);
        chosen[i] = select(reinterpret_cast<Lanes>(_mm_loadu_si128(q)),
                           reinterpret_cast<Lanes>(_mm_loadu_si128(q + 1)));
    }
}

}  // namespace

bool avx512_remap_supported() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
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
