#include "image/heif_boxes.h"

#include <utility>
#include <vector>

#include "image/byte_reader.h"
#include "image/orientation.h"

namespace {

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

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

// The indices (from 1) of the properties associated with `item`, in order.
std::vector<uint32_t> properties_of(ByteReader ipma, uint32_t item) {
    std::vector<uint32_t> found;
    uint8_t version;
    uint32_t flags, entries;
    if (!full_box(ipma, version, flags) || !ipma.u32(entries))
        return found;
    for (uint32_t e = 0; e < entries; ++e) {
        uint32_t id;
        uint16_t id16;
        uint8_t count;
        if (version < 1 ? !ipma.u16(id16) : !ipma.u32(id))
            return {};
        if (version < 1)
            id = id16;
        if (!ipma.u8(count))
            return {};
        for (uint8_t a = 0; a < count; ++a) {
            uint32_t index;
            if (flags & 1) {
                uint16_t v;
                if (!ipma.u16(v))
                    return {};
                index = v & 0x7FFF;
            } else {
                uint8_t v;
                if (!ipma.u8(v))
                    return {};
                index = v & 0x7F;
            }
            if (id == item)
                found.push_back(index);
        }
    }
    return found;
}

// The orientation tag that shows a stored picture as the rotations and
// mirrorings `steps` do, one after the other: found by doing them to a small
// picture of distinct pixels and comparing with what each tag does to it.
struct Step {
    bool rotate;    // a quarter turn anticlockwise, else a mirroring
    bool top_down;  // mirroring top to bottom, else left to right
};

DecodedPicture grid(int width, int height, std::vector<uint8_t> cells) {
    DecodedPicture p;
    p.width = width;
    p.height = height;
    for (uint8_t c : cells)
        p.rgb.insert(p.rgb.end(), {c, c, c});
    return p;
}

uint8_t cell(const DecodedPicture& p, int x, int y) {
    return p.rgb[3 * (size_t(y) * p.width + x)];
}

int tag_for(const std::vector<Step>& steps) {
    DecodedPicture shown = grid(3, 2, {0, 1, 2, 3, 4, 5});
    for (const Step& s : steps) {
        std::vector<uint8_t> cells;
        const int w = s.rotate ? shown.height : shown.width;
        const int h = s.rotate ? shown.width : shown.height;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (s.rotate)
                    cells.push_back(cell(shown, shown.width - 1 - y, x));
                else if (s.top_down)
                    cells.push_back(cell(shown, x, h - 1 - y));
                else
                    cells.push_back(cell(shown, w - 1 - x, y));
            }
        shown = grid(w, h, std::move(cells));
    }
    for (int tag = 1; tag <= 8; ++tag) {
        DecodedPicture turned = grid(3, 2, {0, 1, 2, 3, 4, 5});
        apply_orientation(turned, tag);
        if (turned.width == shown.width && turned.rgb == shown.rgb)
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
    return true;
}

int heif_primary_orientation(const uint8_t* file, size_t size) {
    Box meta, pitm, iprp, ipco, ipma;
    uint8_t version;
    uint32_t flags;
    if (!find_box(ByteReader(file, size, ByteOrder::big), fourcc("meta"), meta) ||
        !full_box(meta.body, version, flags) || !find_box(meta.body, fourcc("pitm"), pitm) ||
        !find_box(meta.body, fourcc("iprp"), iprp) || !find_box(iprp.body, fourcc("ipco"), ipco) ||
        !find_box(iprp.body, fourcc("ipma"), ipma))
        return 1;
    uint32_t primary;
    uint16_t primary16;
    if (!full_box(pitm.body, version, flags) ||
        (version == 0 ? !pitm.body.u16(primary16) : !pitm.body.u32(primary)))
        return 1;
    if (version == 0)
        primary = primary16;

    std::vector<Step> steps;
    for (uint32_t index : properties_of(ipma.body, primary)) {
        // Properties are numbered from 1 in the order of ipco's boxes; 0 is
        // none.
        ByteReader properties = ipco.body;
        Box property;
        for (uint32_t i = 0; i < index; ++i)
            if (!next_box(properties, property))
                return 1;
        uint8_t value;
        if (index == 0 || !property.body.u8(value))
            continue;
        if (property.type == fourcc("irot"))
            steps.insert(steps.end(), value & 3, Step{true, false});
        else if (property.type == fourcc("imir"))  // mode 0: top to bottom
            steps.push_back(Step{false, (value & 1) == 0});
    }
    return tag_for(steps);
}
