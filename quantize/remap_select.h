// What the selections for vector units share: the palette laid out for
// them, the exact scan state, the bound of the entries after the head and
// their box, and the exact scan of listed entries. Each version includes this
// header into its own file after defining QV_REMAP_TARGET (which must give
// at least AVX2), so everything here has internal linkage.
//
// Every such selection (select_group) works in three steps for each pixel:
// 1. the distances of the head entries (the first 32), a vector at a time;
// 2. the head entries that can still be accepted (below), scanned exactly in
//    index order;
// 3. the later entries that can still be accepted lie within reach of the
//    scan's sum (which never grows) from both targets (reach_of): those
//    inside the box of that reach (tail_within), scanned exactly in index
//    order.
// An entry left out could not have been accepted, so it could not have
// changed the state either.
//
// Which head entries can still be accepted. An entry j with
// b_j >= sqrt(2) dA_j D + D^2, where D is the distance between the two
// targets, is accepted whenever the scan reaches it with a sum
// a + b >= a_j + b_j: the best entry so far lies within D of the plain
// target's distance (the distance is a norm), b <= (dA + D)^2, so
// 2a + 2 dA D + D^2 >= a + b >= a_j + b_j >= a_j + sqrt(2) dA_j D + D^2; were
// a_j > 2a, that is dA_j > sqrt(2) dA, the right side would exceed the left.
// So a_j <= 2a, and j is accepted. After such an anchor, then, the sum is at
// most the anchor's, and no later entry with a larger sum can be accepted:
// an entry is a candidate when its sum is at most those of entry 0 (the
// scan's first state) and of the anchors before it. The selections test this
// in single precision, with every rounding (at most u = 2^-24 each) covered:
// the distances themselves (below 2^20) are exact, their squares, sums and
// the products with K = D sqrt2_above and Q = D^2 one_above are rounded. An
// anchor is claimed only when b_f >= dA K + Q (rounded), which implies the
// exact test: the margins of sqrt2_above and one_above (more than 16u)
// exceed the six roundings on the two sides. An entry is let through when its
// sum is at most the bound times one_above, which covers the roundings by
// which the entry's sum (two, up) and an anchor's (two, down, and the
// product) can misorder.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "quantize/palette_search.h"
#include "quantize/remap_kernel.h"

// The helpers below work on the state of the scan of the calling selection,
// which must stay in registers: they are always inlined.
#define QV_SELECT_INLINE QV_REMAP_TARGET __attribute__((always_inline)) inline

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

// A little above sqrt(2): sqrt(2) (1 + 1.6e-6).
constexpr float sqrt2_above = 1.4142159f;
// A little above 1: 1 + 2^-20.
constexpr float one_above = 1.00000095f;

// The palette laid out for the selection: the weighted working values
// channel by channel (a vector holds that of several entries) and entry by
// entry (one entry in 128 bits), and for the red, green and blue bytes the
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

// The scan's state: the best entry so far, twice its squared distance to
// the adjusted target and its sum of both squared distances, the two bounds
// that an entry is tested against. The test and the update are two
// subtractions, an or and three conditional moves, with no jump to
// mispredict.
struct ScanState {
    int64_t twice_a, sum, best;
};

QV_SELECT_INLINE void offer(ScanState& s, int64_t j, int64_t aj, int64_t sj) {
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

// The distance between the two targets.
QV_SELECT_INLINE int32_t apart_of(__m128i adjusted, __m128i plain) {
    const __m128i gaps = _mm_abs_epi32(_mm_sub_epi32(adjusted, plain));
    const __m128i half = _mm_max_epi32(gaps, _mm_shuffle_epi32(gaps, 0x4e));
    return _mm_cvtsi128_si32(_mm_max_epi32(half, _mm_shuffle_epi32(half, 0xb1)));
}

// The largest distance to either target that an entry j with
// a_j + b_j <= s can have, when the targets are `apart`. With x the larger
// and y the smaller of its two distances, y >= |x - apart|, as the distance
// is a norm (apart <= x + y and x - y <= apart). So
// x^2 + (x - apart)^2 <= s: x <= (apart + sqrt(2s - apart^2)) / 2, and no
// entry qualifies where 2s < apart^2. The square root is correctly rounded
// and the values exact in doubles (below 2^53), so adding 1 covers the
// roundings.
QV_SELECT_INLINE int32_t reach_of(int64_t s, int32_t apart) {
    const double d = apart;
    const __m128d root = _mm_sqrt_sd(
        _mm_setzero_pd(), _mm_set_sd(std::max(2.0 * static_cast<double>(s) - d * d, 0.0)));
    return static_cast<int32_t>((d + _mm_cvtsd_f64(root)) * 0.5) + 1;
}

// The entries after the head whose distances to both targets are at most
// `reach`: for each of red, green and blue the byte range
// |256 byte - q| <= reach / weight around both unweighted targets q, found
// through the sets of entries below each byte value. Luma is left out: for
// palette entries it follows from the other three channels, and leaving a
// channel out only lets more entries through to the exact test.
QV_SELECT_INLINE __m256i tail_within(const WidePalette& p, __m128i adjusted, __m128i plain,
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

// Offers two listed entries, list[i] and list[i + 1], in index order; their
// distances come from their records, both targets at once.
QV_SELECT_INLINE void offer_two(const WidePalette& p, const uint8_t* list, int32_t i,
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

// The selection for N pixels, each step for all of them before the next, so
// that their independent chains overlap. Each pixel scans only its own
// candidates: padding the shorter lists to the longest would cost more than
// the overlap gains. `Width` gives the vector work:
// Width::head(palette, adjusted, plain, apart, to_adjusted, to_plain, list)
// stores the distances of the head entries and
// lists the head entries that can still be accepted in index order, one byte
// each, and returns how many; Width::list_entries(set, list) lists a set of
// entries in index order, one byte each, followed by at least 64 bytes of
// no_entry (a list of odd length is scanned two at a time), and returns how
// many.
template <class Width, int N>
QV_SELECT_INLINE void select_group(const WidePalette& p, const __m128i* adjusted,
                                   const __m128i* plain, int32_t* chosen) {
    ScanState state[N];
    int32_t apart[N];
    alignas(64) int32_t to_adjusted[N][head_count], to_plain[N][head_count];
    alignas(64) uint8_t head[N][64];
    int32_t head_size[N];
    for (int k = 0; k < N; ++k) {
        apart[k] = apart_of(adjusted[k], plain[k]);
        head_size[k] =
            Width::head(p, adjusted[k], plain[k], apart[k], to_adjusted[k], to_plain[k], head[k]);
        const int64_t a0 = to_adjusted[k][0], b0 = to_plain[k][0];
        state[k] = {2 * a0 * a0, a0 * a0 + b0 * b0, 0};
    }
    for (int k = 0; k < N; ++k) {
        for (int32_t i = 0; i < head_size[k]; ++i) {
            const uint32_t j = head[k][i];
            const int64_t a = int64_t{to_adjusted[k][j]} * to_adjusted[k][j];
            const int64_t b = int64_t{to_plain[k][j]} * to_plain[k][j];
            offer(state[k], j, a, a + b);
        }
    }
    if (p.count > head_count) {
        alignas(64) uint8_t tail[N][320];
        int32_t tail_size[N];
        __m256i adjusted_v[N], plain_v[N];
        for (int k = 0; k < N; ++k) {
            const __m256i set =
                tail_within(p, adjusted[k], plain[k], reach_of(state[k].sum, apart[k]));
            tail_size[k] = Width::list_entries(set, tail[k]);
            adjusted_v[k] = _mm256_broadcastsi128_si256(adjusted[k]);
            plain_v[k] = _mm256_broadcastsi128_si256(plain[k]);
        }
        for (int k = 0; k < N; ++k) {
            for (int32_t i = 0; i < tail_size[k]; i += 2)
                offer_two(p, tail[k], i, adjusted_v[k], plain_v[k], state[k]);
        }
    }
    for (int k = 0; k < N; ++k)
        chosen[k] = static_cast<int32_t>(state[k].best);
}

// The selection as the pixel loop asks for it.
template <class Width>
struct GroupSelect {
    const WidePalette& palette;
    QV_REMAP_TARGET __attribute__((always_inline)) int32_t operator()(Lanes adjusted,
                                                                      Lanes plain) const {
        const __m128i a = reinterpret_cast<__m128i>(adjusted), q = reinterpret_cast<__m128i>(plain);
        int32_t best;
        select_group<Width, 1>(palette, &a, &q, &best);
        return best;
    }
    template <int N>
    QV_REMAP_TARGET __attribute__((always_inline)) void group(const Lanes* adjusted,
                                                              const Lanes* plain,
                                                              int32_t* best) const {
        __m128i a[N], q[N];
        for (int i = 0; i < N; ++i) {
            a[i] = reinterpret_cast<__m128i>(adjusted[i]);
            q[i] = reinterpret_cast<__m128i>(plain[i]);
        }
        select_group<Width, N>(palette, a, q, best);
    }
};

template <class Width>
QV_REMAP_TARGET void remap_pixels_with(dib24& image, const Palette& palette, uint8_t* indices,
                                       int32_t threads) {
    RemapTask task;
    if (!prepare_task(task, image, palette, indices, threads))
        return;
    const std::unique_ptr<WidePalette> wide = make_wide_palette(task.linear);
    const GroupSelect<Width> select{*wide};
    run_threads(task, [&](int32_t thread) { remap_rows(task, select, thread); });
}

// Two at a time, as the pixel loop asks, and the last one alone.
template <class Width>
QV_REMAP_TARGET void select_entries_with(const std::vector<LinearPaletteEntry>& linear,
                                         const int32_t* queries, size_t count, int32_t* chosen) {
    if (linear.size() > size_t{no_entry}) {  // test palettes may hold 256
        select_entries_plain(linear, queries, count, chosen);
        return;
    }
    const std::unique_ptr<WidePalette> wide = make_wide_palette(linear);
    const GroupSelect<Width> select{*wide};
    size_t i = 0;
    for (; i + 1 < count; i += 2) {
        const __m128i* q = reinterpret_cast<const __m128i*>(queries + 8 * i);
        const Lanes adjusted[2] = {reinterpret_cast<Lanes>(_mm_loadu_si128(q)),
                                   reinterpret_cast<Lanes>(_mm_loadu_si128(q + 2))};
        const Lanes plain[2] = {reinterpret_cast<Lanes>(_mm_loadu_si128(q + 1)),
                                reinterpret_cast<Lanes>(_mm_loadu_si128(q + 3))};
        select.template group<2>(adjusted, plain, chosen + i);
    }
    for (; i < count; ++i) {
        const __m128i* q = reinterpret_cast<const __m128i*>(queries + 8 * i);
        chosen[i] = select(reinterpret_cast<Lanes>(_mm_loadu_si128(q)),
                           reinterpret_cast<Lanes>(_mm_loadu_si128(q + 1)));
    }
}

}  // namespace
