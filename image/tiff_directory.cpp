#include "image/tiff_directory.h"

#include "image/byte_reader.h"

namespace {

enum : uint16_t {
    tag_strip_offsets = 273,
    tag_orientation = 274,
    tag_strip_byte_counts = 279,
    tag_tile_offsets = 324,
    tag_tile_byte_counts = 325,
};
enum : uint16_t { type_short = 3, type_long = 4 };

struct Entry {
    uint16_t type = 0;
    uint32_t count = 0;
    size_t field_at = 0;  // where the 4-byte value field lies
};

// The first directory of a TIFF structure.
class Directory {
  public:
    // False when the header or the directory's entries do not fit the data.
    bool open(const uint8_t* data, size_t size) {
        all_ = ByteReader(data, size);
        if (all_.expect("MM"))
            all_.set_order(ByteOrder::big);
        else if (!all_.expect("II"))
            return false;
        uint16_t magic;
        uint32_t first;
        if (!all_.u16(magic) || magic != 42 || !all_.u32(first) || !all_.seek(first) ||
            !all_.u16(entries_))
            return false;
        entries_at_ = all_.offset();
        return all_.skip(12 * size_t{entries_});
    }

    // The entry of `tag`, if the directory has it.
    bool find(uint16_t tag, Entry& e) {
        for (uint16_t i = 0; i < entries_; ++i) {
            uint16_t t;
            all_.seek(entries_at_ + 12 * size_t{i});
            if (all_.u16(t) && t == tag && all_.u16(e.type) && all_.u32(e.count)) {
                e.field_at = all_.offset();
                return true;
            }
        }
        return false;
    }

    // The `i`-th value of a SHORT or LONG entry: in the value field when all
    // fit in 4 bytes, otherwise at the offset it holds.
    bool value(const Entry& e, uint32_t i, uint32_t& v) {
        const size_t width = e.type == type_short ? 2 : e.type == type_long ? 4 : 0;
        if (width == 0 || i >= e.count)
            return false;
        size_t at = e.field_at;
        uint32_t offset;
        if (width * e.count > 4) {
            if (!all_.seek(e.field_at) || !all_.u32(offset))
                return false;
            at = offset;
        }
        if (!all_.seek(at + width * size_t{i}))
            return false;
        uint16_t short_value;
        if (width == 2 && all_.u16(short_value)) {
            v = short_value;
            return true;
        }
        return width == 4 && all_.u32(v);
    }

    size_t size() const { return all_.offset() + all_.left(); }

  private:
    ByteReader all_;
    uint16_t entries_ = 0;
    size_t entries_at_ = 0;
};

// True when each of the `offsets` entry's pieces, with its length from
// `counts`, lies within the data.
bool pieces_within(Directory& d, const Entry& offsets, const Entry& counts) {
    if (offsets.count == 0 || offsets.count != counts.count)
        return false;
    for (uint32_t i = 0; i < offsets.count; ++i) {
        uint32_t at, n;
        if (!d.value(offsets, i, at) || !d.value(counts, i, n) || n == 0 || at > d.size() ||
            n > d.size() - at)
            return false;
    }
    return true;
}

}  // namespace

int tiff_orientation(const uint8_t* data, size_t size) {
    Directory d;
    Entry e;
    uint32_t v;
    if (!d.open(data, size) || !d.find(tag_orientation, e) || e.type != type_short ||
        e.count != 1 || !d.value(e, 0, v))
        return 1;
    return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
}

bool tiff_sound(const uint8_t* data, size_t size) {
    Directory d;
    if (!d.open(data, size))
        return false;
    Entry offsets, counts;
    if (d.find(tag_tile_offsets, offsets))
        return d.find(tag_tile_byte_counts, counts) && pieces_within(d, offsets, counts);
    return d.find(tag_strip_offsets, offsets) && d.find(tag_strip_byte_counts, counts) &&
           pieces_within(d, offsets, counts);
}
