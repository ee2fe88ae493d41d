// What the selections for vector units share: the palette laid out for
// them, the exact scan state, the head step and the exact scan of listed
// entries (the bound of the later entries and their box are in
// palette_search.h). Each version includes this
// header into its own file after defining QV_REMAP_TARGET (which must give
// at least AVX2), so everything here has internal linkage.
//
// Every such selection (select_group) works in three steps for each pixel:
// 1. the distances of the head entries (the first 32), a vector at a time
//    (head_step, written once over the vector width's operations);
// 2. the head entries that can still be accepted (below), scanned exactly in
//    index order;
// 3. the later entries that can still be accepted lie within reach of the
//    scan's sum (which never grows) from both targets (reach_of): those
//    inside the box of that reach (entries_within), scanned exactly in index
//    order.
// A width gives the vector operations and, being the part that differs
// most, the listing of entries (see Width256, Width512).
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
#define QV_SELECT_INLINE QV_KERNEL_INLINE

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
// it ends a list of candidates, which is scanned two entries at a time.
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

// Both weighted targets, every channel in all lanes of a vector of the width
// W. (Written out channel by channel: with arrays of vectors the compiler
// keeps them in memory.)
template <class W>
struct Broadcast {
    typename W::Int a0, a1, a2, a3, p0, p1, p2, p3;
};

template <class W>
QV_SELECT_INLINE Broadcast<W> broadcast_targets(const SelectionTargets& t) {
    const Lanes& a = t.weighted_adjusted;
    const Lanes& q = t.weighted_plain;
    return {W::set1(a[0]), W::set1(a[1]), W::set1(a[2]), W::set1(a[3]),
            W::set1(q[0]), W::set1(q[1]), W::set1(q[2]), W::set1(q[3])};
}

template <class W>
QV_SELECT_INLINE typename W::Int gap(typename W::Int w, typename W::Int q) {
    return W::abs(W::sub(w, q));
}

// The distances of the W::lanes entries of head block `block` to both
// targets.
template <class W>
QV_SELECT_INLINE void block_distances(const WidePalette& p, int32_t block, const Broadcast<W>& t,
                                      typename W::Int& to_adjusted, typename W::Int& to_plain) {
    const typename W::Int w0 = W::load(&p.weighted[0][W::lanes * block]);
    const typename W::Int w1 = W::load(&p.weighted[1][W::lanes * block]);
    const typename W::Int w2 = W::load(&p.weighted[2][W::lanes * block]);
    const typename W::Int w3 = W::load(&p.weighted[3][W::lanes * block]);
    to_adjusted = W::max(W::max(gap<W>(w0, t.a0), gap<W>(w1, t.a1)),
                         W::max(gap<W>(w2, t.a2), gap<W>(w3, t.a3)));
    to_plain = W::max(W::max(gap<W>(w0, t.p0), gap<W>(w1, t.p1)),
                      W::max(gap<W>(w2, t.p2), gap<W>(w3, t.p3)));
}

// Lane i the minimum of lanes 0 .. i of v.
template <class W, int shift = 1>
QV_SELECT_INLINE typename W::Float prefix_min(typename W::Float v) {
    if constexpr (shift < W::lanes)
        return prefix_min<W, 2 * shift>(W::min(v, W::template lanes_up<shift>(v)));
    else
        return v;
}

// W::lanes head entries: which of them can still be accepted (the anchors
// above), one bit each. `bound` carries the smallest sum of the anchors so
// far and of entry 0, in all lanes.
template <class W>
QV_SELECT_INLINE uint32_t head_candidates(typename W::Int to_adjusted, typename W::Int to_plain,
                                          typename W::Float k, typename W::Float q,
                                          typename W::Float& bound) {
    const typename W::Float da = W::to_float(to_adjusted), dp = W::to_float(to_plain);
    const typename W::Float a = W::mul(da, da), b = W::mul(dp, dp);
    const typename W::Float sum = W::add(a, b);
    const typename W::Mask anchor = W::at_least(b, W::add(W::mul(da, k), q));
    // Prefix minimum of the anchors' sums, lane by lane, and of the bound.
    // Taking the entry's own sum in where it is an anchor changes nothing:
    // it passes its own test.
    const typename W::Float v =
        W::min(prefix_min<W>(W::select(anchor, sum, W::set1f(__builtin_inff()))), bound);
    bound = W::last_lane(v);
    return W::bits(W::at_most(sum, W::mul(v, W::set1f(one_above))));
}

// Stores the distances of the head entries to both targets and returns the
// head entries that can still be accepted, bit j for entry j.
template <class W>
QV_SELECT_INLINE uint64_t head_step(const WidePalette& p, const SelectionTargets& t, int32_t apart,
                                    int32_t* to_adjusted, int32_t* to_plain) {
    constexpr int blocks = head_count / W::lanes;
    const Broadcast<W> targets = broadcast_targets<W>(t);
    const float d = static_cast<float>(apart);
    const typename W::Float k = W::set1f(d * sqrt2_above);
    const typename W::Float q = W::set1f(d * d * one_above);
    typename W::Int da[blocks], dp[blocks];
#pragma GCC unroll 4
    for (int b = 0; b < blocks; ++b) {
        block_distances<W>(p, b, targets, da[b], dp[b]);
        W::store(to_adjusted + W::lanes * b, da[b]);
        W::store(to_plain + W::lanes * b, dp[b]);
    }
    const int64_t a0 = to_adjusted[0], b0 = to_plain[0];
    typename W::Float bound = W::set1f(static_cast<float>(a0 * a0 + b0 * b0));
    uint64_t candidates = 0;
#pragma GCC unroll 4
    for (int b = 0; b < blocks; ++b)
        candidates |= uint64_t{head_candidates<W>(da[b], dp[b], k, q, bound)} << (W::lanes * b);
    return candidates & ~uint64_t{1};  // entry 0 is the starting state
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

QV_SELECT_INLINE __m256i broadcast_lanes(const Lanes& v) {
    return _mm256_broadcastsi128_si256(reinterpret_cast<__m128i>(v));
}

// The selection for N pixels, each step for all of them before the next, so
// that their independent chains overlap. Each pixel scans only its own
// candidates: padding the shorter lists to the longest would cost more than
// the overlap gains. W::list_entries(set, list) lists a set of entries in
// index order, one byte each, followed by at least 64 bytes of no_entry, and
// returns how many.
template <class W, int N>
QV_SELECT_INLINE void select_group(const WidePalette& p, const SelectionTargets* t,
                                   int32_t* chosen) {
    ScanState state[N];
    int32_t apart[N];
    alignas(64) int32_t to_adjusted[N][head_count], to_plain[N][head_count];
    uint64_t head[N];
    for (int k = 0; k < N; ++k) {
        apart[k] = apart_of(t[k]);
        head[k] = head_step<W>(p, t[k], apart[k], to_adjusted[k], to_plain[k]);
        const int64_t a0 = to_adjusted[k][0], b0 = to_plain[k][0];
        state[k] = {2 * a0 * a0, a0 * a0 + b0 * b0, 0};
    }
    // Each scan on a copy of its state, which the compiler can keep in
    // registers; each pixel's scan written out on its own (the loop over the
    // group unrolled), so that the branch predictor learns the length of its
    // list apart from the others'. The head's candidates are taken straight
    // from their bits.
#pragma GCC unroll 16
    for (int k = 0; k < N; ++k) {
        ScanState s = state[k];
        for (uint64_t bits = head[k]; bits != 0; bits &= bits - 1) {
            const int32_t j = std::countr_zero(bits);
            const int64_t a = int64_t{to_adjusted[k][j]} * to_adjusted[k][j];
            const int64_t b = int64_t{to_plain[k][j]} * to_plain[k][j];
            offer(s, j, a, a + b);
        }
        state[k] = s;
    }
    if (p.count > head_count) {
        // The reaches of the whole group at once, a vector of pixels at a
        // time (W::reaches, reach_of written with vectors; the arrays padded
        // to whole vectors).
        constexpr int padded = (N + 7) / 8 * 8;
        alignas(64) int64_t sums[padded] = {};
        alignas(64) int32_t aparts[padded] = {}, reach[padded];
        for (int k = 0; k < N; ++k) {
            sums[k] = state[k].sum;
            aparts[k] = apart[k];
        }
        W::template reaches<padded>(sums, aparts, reach);
        const EntrySet* const below[3] = {p.below[0], p.below[1], p.below[2]};
        alignas(64) uint8_t tail[N][320];
        int32_t tail_size[N];
        for (int k = 0; k < N; ++k) {
            EntrySet set = entries_within(below, t[k], reach[k]);
            for (int w = 0; w < 4; ++w)
                set.word[w] &= p.tail.word[w];
            tail_size[k] = W::list_entries(set, tail[k]);
        }
#pragma GCC unroll 16
        for (int k = 0; k < N; ++k) {
            const __m256i adjusted = broadcast_lanes(t[k].weighted_adjusted);
            const __m256i plain = broadcast_lanes(t[k].weighted_plain);
            ScanState s = state[k];
            for (int32_t i = 0; i < tail_size[k]; i += 2)
                offer_two(p, tail[k], i, adjusted, plain, s);
            state[k] = s;
        }
    }
    for (int k = 0; k < N; ++k)
        chosen[k] = static_cast<int32_t>(state[k].best);
}

// The selection as the pixel loop asks for it.
template <class W>
struct GroupSelect {
    const WidePalette& palette;
    QV_SELECT_INLINE int32_t operator()(const SelectionTargets& t) const {
        int32_t best;
        select_group<W, 1>(palette, &t, &best);
        return best;
    }
    template <int N>
    QV_SELECT_INLINE void group(const SelectionTargets* t, int32_t* best) const {
        select_group<W, N>(palette, t, best);
    }
};

template <class W>
QV_REMAP_TARGET void remap_pixels_with(dib24& image, const Palette& palette, uint8_t* indices,
                                       int32_t threads, bool dither, RemapWatch* watch) {
    RemapTask task;
    if (!prepare_task(task, image, palette, indices, threads, dither, watch))
        return;
    const std::unique_ptr<WidePalette> wide = make_wide_palette(task.linear);
    remap_task_with(task, GroupSelect<W>{*wide});
}

// Two at a time, and the last one alone.
template <class W>
QV_REMAP_TARGET void select_entries_with(const std::vector<LinearPaletteEntry>& linear,
                                         const SelectionTargets* targets, size_t count,
                                         int32_t* chosen) {
    const std::unique_ptr<WidePalette> wide = make_wide_palette(linear);
    const GroupSelect<W> select{*wide};
    size_t i = 0;
    for (; i + 1 < count; i += 2)
        select.template group<2>(targets + i, chosen + i);
    for (; i < count; ++i)
        chosen[i] = select(targets[i]);
}

}  // namespace
