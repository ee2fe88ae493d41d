#include "image/heif_boxes.h"

#include <utility>
#include <vector>

#include "image/byte_reader.h"
#include "image/dib_layout.h"
#include "image/orientation.h"

namespace {

struct Box {
    uint32_t type = 0;
    ByteReader body;
};

// The next box of big-endian `r`; false when its header or content does not
// fit what is left.
bool next_box(ByteReader& r, Box& box) {
    const size_t start = r.offset();
    uint32_t size32;
    uint64_t size;
    if (!r.u32(size32) || !r.u32(box.type))
        return false;
    if (size32 == 1) {
        if (!r.u64(size))
            return false;
    } else {
        size = size32 == 0 ? r.offset() - start + r.left() : size32;
    }
    const size_t header = r.offset() - start;
    if (size < header || size - header > r.left())
        return false;
    return r.part(static_cast<size_t>(size - header), box.body);
}

// The first box of `type` among the boxes of `r`.
bool find_box(ByteReader r, uint32_t type, Box& box) {
    while (next_box(r, box))
        if (box.type == type)
            return true;
    return false;
}

// A full box's version and flags.
bool full_box(ByteReader& body, uint8_t& version, uint32_t& flags) {
    uint32_t v;
    if (!body.u32(v))
        return false;
    version = static_cast<uint8_t>(v >> 24);
    flags = v & 0xFFFFFF;
    return true;
}

// A number of 0, 1, 2, 4 or 8 bytes (as iloc's sizes say).
bool sized(ByteReader& r, unsigned bytes, uint64_t& v) {
    uint8_t v8;
    uint16_t v16;
    uint32_t v32;
    switch (bytes) {
        case 0:
            v = 0;
            return true;
        case 1:
            return r.u8(v8) ? (v = v8, true) : false;
        case 2:
            return r.u16(v16) ? (v = v16, true) : false;
        case 4:
            return r.u32(v32) ? (v = v32, true) : false;
        case 8:
            return r.u64(v);
        default:
            return false;
    }
}

// An item number: 16 bits in the boxes' first versions, 32 in later ones.
bool item_id(ByteReader& r, bool wide, uint32_t& id) {
    uint16_t id16;
    if (wide)
        return r.u32(id);
    if (!r.u16(id16))
        return false;
    id = id16;
    return true;
}

// The meta box of a HEIF file: its primary item, the items' types, places and
// properties.
class Meta {
  public:
    bool open(const uint8_t* file, size_t size) {
        file_ = ByteReader(file, size, ByteOrder::big);
        Box meta, pitm, iprp;
        uint8_t version;
        uint32_t flags;
        if (!find_box(file_, fourcc("meta"), meta) || !full_box(meta.body, version, flags) ||
            !find_box(meta.body, fourcc("pitm"), pitm) || !full_box(pitm.body, version, flags) ||
            !item_id(pitm.body, version != 0, primary_) ||
            !find_box(meta.body, fourcc("iprp"), iprp) ||
            !find_box(iprp.body, fourcc("ipco"), ipco_) ||
            !find_box(iprp.body, fourcc("ipma"), ipma_))
            return false;
        find_box(meta.body, fourcc("iinf"), iinf_);
        find_box(meta.body, fourcc("iloc"), iloc_);
        find_box(meta.body, fourcc("idat"), idat_);
        return true;
    }

    uint32_t primary() const { return primary_; }

    // The properties associated with `item`, in order.
    std::vector<Box> properties(uint32_t item) const {
        std::vector<Box> found;
        ByteReader ipma = ipma_.body;
        uint8_t version;
        uint32_t flags, entries;
        if (!full_box(ipma, version, flags) || !ipma.u32(entries))
            return found;
        // The properties there are, counted once; an association with one
        // beyond them spoils the whole list, whichever item it is of.
        std::vector<Box> all;
        ByteReader ipco = ipco_.body;
        Box property;
        while (all.size() < 0x7FFF && next_box(ipco, property))
            all.push_back(property);
        for (uint32_t e = 0; e < entries; ++e) {
            uint32_t id;
            uint8_t count;
            if (!item_id(ipma, version >= 1, id) || !ipma.u8(count))
                return {};
            for (uint8_t a = 0; a < count; ++a) {
                uint64_t index;
                if (!sized(ipma, (flags & 1) ? 2 : 1, index))
                    return {};
                // The high bit says "essential"; numbered from 1, 0 is none.
                index &= (flags & 1) ? 0x7FFF : 0x7F;
                if (index > all.size())
                    return {};
                if (id == item && index != 0)
                    found.push_back(all[index - 1]);
            }
        }
        return found;
    }

    // The items (from the infe boxes): their numbers and four-letter types.
    std::vector<std::pair<uint32_t, uint32_t>> items() const {
        std::vector<std::pair<uint32_t, uint32_t>> found;
        ByteReader iinf = iinf_.body;
        uint8_t version;
        uint32_t flags;
        uint64_t entries;
        Box infe;
        if (!full_box(iinf, version, flags) || !sized(iinf, version == 0 ? 2 : 4, entries))
            return found;
        while (next_box(iinf, infe)) {
            uint32_t id, type;
            uint16_t protection;
            if (infe.type == fourcc("infe") && full_box(infe.body, version, flags) &&
                version >= 2 && item_id(infe.body, version >= 3, id) && infe.body.u16(protection) &&
                infe.body.u32(type))
                found.emplace_back(id, type);
        }
        return found;
    }

    // The first `n` bytes of `item`'s data, where its first extent holds them.
    bool data_of(uint32_t item, size_t n, const uint8_t*& bytes) const {
        ByteReader iloc = iloc_.body;
        uint8_t version, sizes[2];
        uint32_t flags;
        uint64_t items;
        if (!full_box(iloc, version, flags) || !iloc.u8(sizes[0]) || !iloc.u8(sizes[1]) ||
            !sized(iloc, version < 2 ? 2 : 4, items))
            return false;
        const unsigned offset_size = sizes[0] >> 4, length_size = sizes[0] & 15,
                       base_size = sizes[1] >> 4, index_size = version >= 1 ? sizes[1] & 15 : 0;
        for (uint64_t i = 0; i < items; ++i) {
            uint32_t id;
            uint16_t method = 0, reference, extents;
            uint64_t base, index, offset, length;
            if (!item_id(iloc, version >= 2, id) || (version >= 1 && !iloc.u16(method)) ||
                !iloc.u16(reference) || !sized(iloc, base_size, base) || !iloc.u16(extents))
                return false;
            for (uint16_t e = 0; e < extents; ++e) {
                if (!sized(iloc, index_size, index) || !sized(iloc, offset_size, offset) ||
                    !sized(iloc, length_size, length))
                    return false;
                if (id != item || e != 0)
                    continue;
                // In the file (0) or in the idat box (1).
                ByteReader in = (method & 15) == 0   ? file_
                                : (method & 15) == 1 ? idat_.body
                                                     : ByteReader();
                return (length == 0 || length >= n) && in.seek(base + offset) && in.peek(n, bytes);
            }
        }
        return false;
    }

  private:
    ByteReader file_;
    uint32_t primary_ = 0;
    Box ipco_, ipma_, iinf_, iloc_, idat_;
};

// The size that `item`'s ispe property gives.
bool extents_of(const Meta& meta, uint32_t item, uint32_t& width, uint32_t& height) {
    for (Box& property : meta.properties(item)) {
        uint8_t version;
        uint32_t flags;
        if (property.type == fourcc("ispe") && full_box(property.body, version, flags))
            return property.body.u32(width) && property.body.u32(height);
    }
    return false;
}

// The size that the description of `item`, a picture made of others (a grid
// of tiles, an overlay), gives it.
bool described_size(const Meta& meta, uint32_t item, uint32_t type, uint64_t& width,
                    uint64_t& height) {
    const uint8_t* head;
    if (!meta.data_of(item, 2, head))
        return false;
    // grid: version, flags, rows - 1, columns - 1, then the size; iovl:
    // version, flags, four 16-bit fill values, then the size. Flag 1: 32-bit
    // fields, else 16-bit ones.
    const bool wide = (head[1] & 1) != 0;
    const size_t at = type == fourcc("grid") ? 4 : 10;
    const uint8_t* all;
    if (!meta.data_of(item, at + (wide ? 8 : 4), all))
        return false;
    ByteReader size(all + at, wide ? 8 : 4, ByteOrder::big);
    return sized(size, wide ? 4 : 2, width) && sized(size, wide ? 4 : 2, height);
}

// True when every picture in the file but the primary one (tiles,
// thumbnails, alpha and depth pictures) is one that the store could hold, and
// each made of others is described with the size its ispe gives (either way
// round: some writers give ispe the size after the rotation). Decoders take
// memory for what these say before they know whether the file holds as much;
// the primary picture's own size is checked against the store before it is
// decoded.
bool sizes_agree(const Meta& meta) {
    for (const auto& [item, type] : meta.items()) {
        uint32_t w = 0, h = 0;
        const bool has_extents = extents_of(meta, item, w, h);
        uint64_t width = w, height = h;
        if (type == fourcc("grid") || type == fourcc("iovl")) {
            if (!described_size(meta, item, type, width, height) ||
                (has_extents && !((width == w && height == h) || (width == h && height == w))))
                return false;
        } else if (!has_extents) {
            continue;
        }
        if (item != meta.primary() && !dib_layout::store_fits(width, height))
            return false;
    }
    return true;
}

// The orientation tag that shows a stored picture as the rotations and
// mirrorings `steps` do, one after the other: found by doing them to a small
// picture of distinct pixels and comparing with what each tag does to it.
struct Step {
    bool rotate;    // a quarter turn anticlockwise, else a mirroring
    bool top_down;  // mirroring top to bottom, else left to right
};

// A small picture of numbered cells, top row first.
struct Grid {
    size_t width, height;
    std::vector<uint8_t> cells;
    uint8_t cell(size_t x, size_t y) const { return cells[y * width + x]; }
};

int tag_for(const std::vector<Step>& steps) {
    const Grid stored{3, 2, {0, 1, 2, 3, 4, 5}};
    Grid shown = stored;
    for (const Step& s : steps) {
        Grid next{s.rotate ? shown.height : shown.width, s.rotate ? shown.width : shown.height, {}};
        for (size_t y = 0; y < next.height; ++y)
            for (size_t x = 0; x < next.width; ++x) {
                if (s.rotate)
                    next.cells.push_back(shown.cell(shown.width - 1 - y, x));
                else if (s.top_down)
                    next.cells.push_back(shown.cell(x, next.height - 1 - y));
                else
                    next.cells.push_back(shown.cell(next.width - 1 - x, y));
            }
        shown = std::move(next);
    }
    for (int tag = 1; tag <= 8; ++tag) {
        Grid turned{
            tag >= 5 ? stored.height : stored.width, tag >= 5 ? stored.width : stored.height, {}};
        for (size_t y = 0; y < turned.height; ++y)
            for (size_t x = 0; x < turned.width; ++x) {
                size_t sx, sy;
                stored_pixel(tag, stored.width, stored.height, x, y, sx, sy);
                turned.cells.push_back(stored.cell(sx, sy));
            }
        if (turned.width == shown.width && turned.cells == shown.cells)
            return tag;
    }
    return 1;
}

}  // namespace

bool heif_brand(const uint8_t* file, size_t size) {
    static constexpr uint32_t brands[] = {
        fourcc("heic"), fourcc("heix"), fourcc("heim"), fourcc("heis"), fourcc("hevc"),
        fourcc("hevx"), fourcc("mif1"), fourcc("msf1"), fourcc("avif"), fourcc("avis")};
    ByteReader r(file, size, ByteOrder::big);
    Box ftyp;
    if (!next_box(r, ftyp) || ftyp.type != fourcc("ftyp"))
        return false;
    // The major brand, the minor version (skipped), the compatible brands.
    for (int i = 0;; ++i) {
        uint32_t brand;
        if (i == 1 && !ftyp.body.skip(4))
            return false;
        if (!ftyp.body.u32(brand))
            return false;
        for (uint32_t b : brands)
            if (brand == b)
                return true;
    }
}

bool heif_boxes_sound(const uint8_t* file, size_t size) {
    ByteReader r(file, size, ByteOrder::big);
    Box box;
    if (!next_box(r, box) || box.type != fourcc("ftyp"))
        return false;
    while (r.left() > 0)
        if (!next_box(r, box))
            return false;
    Meta meta;
    return !meta.open(file, size) || sizes_agree(meta);
}

int heif_primary_orientation(const uint8_t* file, size_t size) {
    Meta meta;
    if (!meta.open(file, size))
        return 1;
    std::vector<Step> steps;
    for (Box& property : meta.properties(meta.primary())) {
        uint8_t value;
        if (!property.body.u8(value))
            continue;
        if (property.type == fourcc("irot"))
            steps.insert(steps.end(), value & 3, Step{true, false});
        else if (property.type == fourcc("imir"))  // mode 0: top to bottom
            steps.push_back(Step{false, (value & 1) == 0});
    }
    return tag_for(steps);
}
