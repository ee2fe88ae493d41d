#include "image/orientation.h"

#include <cstring>
#include <utility>
#include <vector>

#include "image/dib_layout.h"

namespace {

// Exif data is a TIFF structure in either byte order ("II" little-endian,
// "MM" big-endian); offsets count from the TIFF header.
struct Tiff {
    const uint8_t* data;
    size_t size;
    bool big_endian;

    bool u16(size_t at, uint16_t& v) const {
        if (at > size || size - at < 2)
            return false;
        v = big_endian ? uint16_t(data[at] << 8 | data[at + 1]) : dib_layout::read_u16(data + at);
        return true;
    }
    bool u32(size_t at, uint32_t& v) const {
        uint16_t a, b;
        if (!u16(at, a) || !u16(at + 2, b))
            return false;
        v = big_endian ? uint32_t{a} << 16 | b : uint32_t{b} << 16 | a;
        return true;
    }
};

// The orientation entry (tag 0x0112, a SHORT) of the first image directory.
int orientation_in_tiff(const uint8_t* data, size_t size) {
    if (size < 8 || (std::memcmp(data, "II", 2) != 0 && std::memcmp(data, "MM", 2) != 0))
        return 1;
    const Tiff tiff{data, size, data[0] == 'M'};
    uint16_t magic, entries;
    uint32_t directory;
    if (!tiff.u16(2, magic) || magic != 42 || !tiff.u32(4, directory) ||
        !tiff.u16(directory, entries))
        return 1;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t{directory} + 2 + 12 * size_t{i};
        uint16_t tag, type, value;
        uint32_t count;
        if (!tiff.u16(entry, tag) || !tiff.u16(entry + 2, type) || !tiff.u32(entry + 4, count) ||
            !tiff.u16(entry + 8, value))
            return 1;
        if (tag == 0x0112)
            return type == 3 && count == 1 && value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

}  // namespace

int jpeg_orientation(const uint8_t* file, size_t size) {
    // The markers before the first scan: FF, a code, and (but for SOI and
    // the restart markers) a big-endian length that counts itself.
    dib_layout::ByteReader r(file, size);
    const uint8_t* soi;
    if (!r.take(2, soi) || soi[0] != 0xFF || soi[1] != 0xD8)
        return 1;
    for (;;) {
        const uint8_t* marker;
        if (!r.take(2, marker) || marker[0] != 0xFF)
            return 1;
        if (marker[1] == 0xFF) {  // fill byte before a marker
            r = dib_layout::ByteReader(marker + 1, r.left() + 1);
            continue;
        }
        if (marker[1] == 0xD8 || (marker[1] >= 0xD0 && marker[1] <= 0xD7))
            continue;
        if (marker[1] == 0xDA || marker[1] == 0xD9)  // start of scan, end of image
            return 1;
        const uint8_t* length_bytes;
        if (!r.take(2, length_bytes))
            return 1;
        const size_t length = size_t{length_bytes[0]} << 8 | length_bytes[1];
        const uint8_t* body;
        if (length < 2 || !r.take(length - 2, body))
            return 1;
        // APP1 holding "Exif\0\0" and a TIFF structure.
        if (marker[1] == 0xE1 && length - 2 >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0)
            return orientation_in_tiff(body + 6, length - 8);
    }
}

void apply_orientation(DecodedPicture& picture, int tag) {
    if (tag < 2 || tag > 8)
        return;
    const size_t w = picture.width, h = picture.height;
    const bool swap = tag >= 5;
    const size_t out_w = swap ? h : w, out_h = swap ? w : h;
    std::vector<uint8_t> out(picture.rgb.size());
    for (size_t y = 0; y < out_h; ++y) {
        for (size_t x = 0; x < out_w; ++x) {
            // The stored pixel (sx, sy) shown at (x, y).
            size_t sx, sy;
            switch (tag) {
                case 2:
                    sx = w - 1 - x;
                    sy = y;
                    break;
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case 4:
                    sx = x;
                    sy = h - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
                default:
                    sx = w - 1 - y;
                    sy = x;
                    break;
            }
            std::memcpy(&out[3 * (y * out_w + x)], &picture.rgb[3 * (sy * w + sx)], 3);
        }
    }
    picture.rgb = std::move(out);
    picture.width = static_cast<int32_t>(out_w);
    picture.height = static_cast<int32_t>(out_h);
}
