#include "quantize/color_table.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "quantize/color_convert.h"
#include "quantize/large_array.h"
#include "quantize/working_values.h"
#include "quantize/worker_threads.h"

// The picture is counted in bands of rows, each on its own: a band numbers
// the converted colours in the order in which it first meets them (a table
// from key to number, open addressing) and counts their pixels. The bands
// are then merged in picture order, each colour looked up in the first
// band's numbers, so that every colour keeps the slot of its first
// occurrence in a single scan and the counts add up as integers. A band only
// ever needs the rows before it in its own band, so the first one can count
// rows while a loader is still decoding the ones below them.

namespace {

// The rows of a picture as the count reads them.
struct PictureRows {
    const uint8_t* bits;
    int32_t width;
    int32_t height;
    int32_t stride;

    explicit PictureRows(const dib24& image)
        : bits(image.bits), width(image.width), height(image.height), stride(image.stride) {}
    const uint8_t* row(int32_t r) const {
        return bits + static_cast<int64_t>(height - 1 - r) * stride;
    }
};

// The fewest bits that count to `n`, within [least, most].
int bits_for(int64_t n, int least, int most) {
    int bits = least;
    while (bits < most && (int64_t{1} << bits) < n)
        ++bits;
    return bits;
}

// Starts bringing the cache line at p into the cache, where the compiler
// offers that.
inline void fetch_soon(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// The colours of a band of rows.
class BandCount {
  public:
    // A band of about `pixels` pixels: its arrays start no larger than it
    // needs, so that a small picture takes little memory.
    explicit BandCount(int64_t pixels)
        : cache_bits_(bits_for(pixels, 10, 18)),
          lines_(size_t{1} << cache_bits_),
          slot_bits_(bits_for(2 * pixels, 10, 17)),
          slots_(size_t{1} << slot_bits_) {}

    // Counts rows [first, end) of the picture, which follow the rows this
    // band counted before.
    void count_rows(const PictureRows& picture, int32_t first, int32_t end);
    // Moves the pixels still counted in the cache to their colours; the band
    // is complete afterwards.
    void empty_cache();

    uint32_t met() const { return met_; }
    int32_t key(uint32_t number) const { return keys_[number]; }
    uint32_t pixels(uint32_t number) const { return counts_[number]; }
    void add_pixels(uint32_t number, uint32_t pixels) { counts_[number] += pixels; }
    // The number of `key`, which is added, without pixels, when it is new.
    uint32_t number_of(int32_t key) {
        if (direct_.size() != 0) {
            if (direct_[key] != 0)
                return direct_[key] - 1;
        } else {
            const uint32_t mask = (uint32_t{1} << slot_bits_) - 1;
            const uint32_t wanted = static_cast<uint32_t>(key + 1);
            for (uint32_t s = slot_of(key);; s = (s + 1) & mask) {
                const uint64_t slot = slots_[s];
                if (static_cast<uint32_t>(slot) == wanted)
                    return static_cast<uint32_t>(slot >> 32);
                if (slot == 0)
                    break;
            }
        }
        return add(key);
    }

  private:
    // A cache line holds a value + 1 (25 bits; 0 is an empty line), its
    // colour's number (24 bits: fewer than 255 * 2^16 keys exist) and the
    // pixels of that value counted since it came in (15 bits), which go to
    // the counts when the line is replaced or full and at the end.
    static constexpr int number_shift = 25, count_shift = 49;
    static constexpr uint64_t value_mask = (uint64_t{1} << number_shift) - 1;
    static constexpr uint64_t full = (uint64_t{1} << (64 - count_shift)) - 1;
    // The slots start at 1 MiB at most (as the other arrays: one huge page
    // each, where the system has them) and double when half are taken. From
    // this many colours on, a key's number is found by the key itself instead
    // (a table of every key, 64 MiB, where the slots would soon take more),
    // and as the tables no longer stay in the processor's caches, the count
    // looks ahead (count_row).
    static constexpr uint32_t many_colours = uint32_t{1} << 20;

    // The cache holds 2^18 lines at most (2 MiB: the misses of a photograph
    // are a quarter of those with 2^16).
    uint32_t cache_line_of(uint32_t rgb) const { return (rgb * 0x9E3779B1u) >> (32 - cache_bits_); }
    void empty_line(uint64_t line) {
        counts_[(line >> number_shift) & 0xffffff] += static_cast<uint32_t>(line >> count_shift);
    }
    uint32_t slot_of(int32_t key) const {
        return (static_cast<uint32_t>(key) * 0x9E3779B1u) >> (32 - slot_bits_);
    }
    // Where number_of(key) will look.
    const void* place_of(int32_t key) const {
        return direct_.size() != 0 ? static_cast<const void*>(&direct_[key])
                                   : static_cast<const void*>(&slots_[slot_of(key)]);
    }
    // Numbers a new key.
    uint32_t add(int32_t key);
    // Files `number` under its key.
    void place(uint32_t number);
    template <bool looks_ahead>
    void count_row(const uint8_t* row, int32_t width);

    int cache_bits_;
    LargeArray<uint64_t> lines_;
    int slot_bits_;
    // Key + 1 in the low 32 bits and its number in the high ones; 0 is free.
    LargeArray<uint64_t> slots_;
    LargeArray<uint32_t> direct_;  // by key: its number + 1, or 0
    LargeArray<int32_t> keys_;     // by number
    LargeArray<uint32_t> counts_;  // by number
    uint32_t met_ = 0;
};

void BandCount::place(uint32_t number) {
    const int32_t key = keys_[number];
    if (direct_.size() != 0) {
        direct_[key] = number + 1;
        return;
    }
    const uint32_t mask = (uint32_t{1} << slot_bits_) - 1;
    uint32_t s = slot_of(key);
    while (slots_[s] != 0)
        s = (s + 1) & mask;
    slots_[s] = (static_cast<uint64_t>(number) << 32) | static_cast<uint32_t>(key + 1);
}

uint32_t BandCount::add(int32_t key) {
    if (met_ == keys_.size()) {
        // The numbers' arrays grow by doubling, whole pages that are only
        // touched as they fill.
        const size_t room = std::max(lines_.size(), 2 * keys_.size());
        LargeArray<int32_t> keys(room);
        LargeArray<uint32_t> counts(room);
        std::copy_n(keys_.data(), met_, keys.data());
        std::copy_n(counts_.data(), met_, counts.data());
        keys_ = std::move(keys);
        counts_ = std::move(counts);
    }
    keys_[met_] = key;
    counts_[met_] = 0;
    if (direct_.size() == 0 && 2 * (met_ + 1) > (uint32_t{1} << slot_bits_)) {
        if (met_ + 1 >= many_colours) {
            direct_ = LargeArray<uint32_t>(size_t{1} << 24);
            slots_ = LargeArray<uint64_t>();
        } else {
            slots_ = LargeArray<uint64_t>(size_t{1} << ++slot_bits_);
        }
        for (uint32_t n = 0; n < met_; ++n)
            place(n);
    }
    place(met_);
    return met_++;
}

template <bool looks_ahead>
void BandCount::count_row(const uint8_t* row, int32_t width) {
    const YccSteps& steps = ycc_steps();
    // A pixel `ahead` places further on whose value its line does not hold
    // yet has its key converted early and the place of its number fetched
    // into the cache, so that the memory reads of many pixels overlap.
    // ahead_key[x % ahead] holds that key + 1, or 0 when none was converted.
    // That costs a second look at each pixel's line and conversions wasted
    // where a nearer pixel brings the value in first: it only pays where the
    // tables no longer stay in the processor's caches.
    constexpr int32_t ahead = 16;
    int32_t ahead_key[ahead] = {};
    const auto look_ahead = [&](const uint8_t* px, int32_t at) {
        const uint32_t rgb = rgb_at(px);
        if ((lines_[cache_line_of(rgb)] & value_mask) == rgb + 1) {
            ahead_key[at] = 0;
            return;
        }
        const int32_t key = ycc_key_of(steps, px[2], px[1], px[0]);
        ahead_key[at] = key + 1;
        fetch_soon(place_of(key));
    };
    if (looks_ahead) {
        for (int32_t x = 0; x < std::min(ahead, width); ++x)
            look_ahead(row + 3 * x, x);
    }
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t* px = row + 3 * x;
        const uint32_t rgb = rgb_at(px);
        int32_t early = 0;
        if (looks_ahead) {
            early = ahead_key[x % ahead];
            if (x + ahead < width)
                look_ahead(row + 3 * (x + ahead), x % ahead);
        }
        uint64_t& line = lines_[cache_line_of(rgb)];
        if ((line & value_mask) == rgb + 1) {
            line += uint64_t{1} << count_shift;
            if ((line >> count_shift) == full) {
                empty_line(line);
                line &= ~(full << count_shift);
            }
            continue;
        }
        if (line != 0)
            empty_line(line);
        const int32_t key = early != 0 ? early - 1 : ycc_key_of(steps, px[2], px[1], px[0]);
        const uint32_t number = number_of(key);
        line = (rgb + 1) | (uint64_t{number} << number_shift) | (uint64_t{1} << count_shift);
    }
}

void BandCount::count_rows(const PictureRows& picture, int32_t first, int32_t end) {
    for (int32_t r = first; r < end; ++r) {
        if (met_ >= many_colours)
            count_row<true>(picture.row(r), picture.width);
        else
            count_row<false>(picture.row(r), picture.width);
    }
}

void BandCount::empty_cache() {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i] != 0) {
            empty_line(lines_[i]);
            lines_[i] = 0;
        }
    }
}

// The first picture row of band k of `bands` that share rows [first, end).
int32_t band_start(int32_t first, int32_t end, int32_t bands, int32_t k) {
    return first + static_cast<int32_t>(static_cast<int64_t>(end - first) * k / bands);
}

// Counts rows [first, end) of the picture in bands on up to `threads`
// threads, appended to `bands` in picture order.
void count_in_bands(const PictureRows& picture, int32_t first, int32_t end, int32_t threads,
                    std::vector<BandCount>& bands) {
    const int32_t most = std::clamp(threads, 1, std::max(end - first, 1));
    std::vector<BandCount> mine;
    for (int32_t k = 0; k < most; ++k)
        mine.emplace_back(int64_t{picture.width} * ((end - first + most - 1) / most));
    int32_t counted = 1;
    run_on_threads(most, [&](int32_t k, int32_t n) {
        if (k == 0)
            counted = n;
        mine[k].count_rows(picture, band_start(first, end, n, k), band_start(first, end, n, k + 1));
    });
    for (int32_t k = 0; k < counted; ++k)
        bands.push_back(std::move(mine[k]));
}

// The bands, in picture order, merged into the table.
void merge_bands(std::vector<BandCount>& bands, ColorTable& table) {
    BandCount& all = bands[0];
    all.empty_cache();
    for (size_t k = 1; k < bands.size(); ++k) {
        BandCount& band = bands[k];
        band.empty_cache();
        for (uint32_t n = 0; n < band.met(); ++n)
            all.add_pixels(all.number_of(band.key(n)), band.pixels(n));
    }
    table.clear();
    table.reserve(all.met());
    for (uint32_t n = 0; n < all.met(); ++n) {
        const int32_t key = all.key(n);
        table.push_back({{static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8),
                          static_cast<uint8_t>(key)},
                         0,
                         static_cast<double>(all.pixels(n))});
    }
}

}  // namespace

void fill_color_table(const dib24& image, ColorTable& table) {
    fill_color_table(image, table, 1);
}

void fill_color_table(const dib24& image, ColorTable& table, int32_t threads) {
    table.clear();
    if (image.bits == nullptr || image.width <= 0 || image.height <= 0)
        return;
    std::vector<BandCount> bands;
    count_in_bands(PictureRows(image), 0, image.height, threads, bands);
    merge_bands(bands, table);
}

// The rows told so far, counted in order by a thread of their own: it takes
// them a few at a time, up to `limit`, which finish() lowers to share the
// rest out.
struct ColorCounting::Counting {
    explicit Counting(const dib24& store)
        : picture(store), band(int64_t{store.width} * store.height), limit(store.height) {}

    PictureRows picture;
    BandCount band;
    std::mutex lock;
    std::condition_variable changed;
    int32_t told = 0;  // rows final
    int32_t next = 0;  // the first row the thread has not taken
    int32_t limit;     // where the thread stops
    bool stop = false;
    std::thread thread;

    static constexpr int32_t rows_at_once = 16;

    void run() {
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            changed.wait(hold, [&] { return stop || next >= limit || next < told; });
            if (stop || next >= limit)
                return;
            const int32_t first = next;
            next = std::min({told, limit, first + rows_at_once});
            const int32_t end = next;
            hold.unlock();
            band.count_rows(picture, first, end);
            hold.lock();
        }
    }
};

ColorCounting::ColorCounting(int32_t threads) : threads_(threads) {}

ColorCounting::~ColorCounting() {
    cancel();
}

void ColorCounting::begin(const dib24& store) {
    cancel();
    // One thread counts after loading, on the thread that loaded.
    if (threads_ <= 1 || store.bits == nullptr || store.height <= 0)
        return;
    auto counting = std::make_unique<Counting>(store);
    try {
        counting->thread = std::thread([c = counting.get()] { c->run(); });
    } catch (const std::system_error&) {
        return;  // counted after loading
    }
    counting_ = std::move(counting);
}

void ColorCounting::rows_final(int32_t count) {
    if (counting_ == nullptr)
        return;
    bool wake;
    {
        std::lock_guard<std::mutex> hold(counting_->lock);
        counting_->told = count;
        // The thread is woken for a few rows at once, or the last ones.
        wake =
            count - counting_->next >= Counting::rows_at_once || count == counting_->picture.height;
    }
    if (wake)
        counting_->changed.notify_one();
}

void ColorCounting::cancel() {
    if (counting_ == nullptr)
        return;
    {
        std::lock_guard<std::mutex> hold(counting_->lock);
        counting_->stop = true;
    }
    counting_->changed.notify_one();
    counting_->thread.join();
    counting_.reset();
}

void ColorCounting::finish(const dib24& image, ColorTable& table) {
    const PictureRows picture(image);
    if (counting_ == nullptr || counting_->picture.bits != picture.bits ||
        counting_->picture.width != picture.width || counting_->picture.height != picture.height ||
        counting_->told != picture.height) {
        cancel();
        fill_color_table(image, table, threads_);
        return;
    }
    // The rows the thread has not taken yet are shared out in equal bands,
    // the first of them its own.
    int32_t rest;
    {
        std::lock_guard<std::mutex> hold(counting_->lock);
        const int32_t left = picture.height - counting_->next;
        counting_->limit = counting_->next + left / threads_;
        rest = counting_->limit;
    }
    counting_->changed.notify_one();
    std::vector<BandCount> bands;
    if (rest < picture.height)
        count_in_bands(picture, rest, picture.height, threads_ - 1, bands);
    counting_->thread.join();
    bands.insert(bands.begin(), std::move(counting_->band));
    counting_.reset();
    merge_bands(bands, table);
}
