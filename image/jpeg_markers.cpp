#include "image/jpeg_markers.h"

#include <cstring>

#include "image/byte_reader.h"
#include "image/tiff_directory.h"

namespace {

struct Segment {
    uint8_t code = 0;
    const uint8_t* body = nullptr;  // after the length field
    size_t length = 0;
};

// The marker at the reader's place (fill bytes before its code passed) and,
// for the codes that have one, its body. False when there is no marker there
// or its segment is cut short.
bool next_segment(ByteReader& r, Segment& s) {
    const uint8_t* b;
    if (!r.take(1, b) || b[0] != 0xFF)
        return false;
    do {
        if (!r.take(1, b))
            return false;
    } while (b[0] == 0xFF);
    s = Segment{b[0]};
    // Start and end of image, restart markers and TEM stand alone; FF 00 is
    // a stuffed byte of scan data, not a marker.
    if (s.code == 0xD8 || s.code == 0xD9 || s.code == 0x01 || (s.code >= 0xD0 && s.code <= 0xD7))
        return true;
    const uint8_t* length;
    if (s.code == 0x00 || !r.take(2, length))
        return false;
    s.length = be16(length);
    if (s.length < 2)
        return false;
    s.length -= 2;
    return r.take(s.length, s.body);
}

// Passes the entropy-coded data after a start of scan, up to the next marker
// other than a restart marker; FF 00 is a stuffed FF.
bool skip_scan_data(ByteReader& r) {
    for (;;) {
        const uint8_t* rest;
        r.peek(r.left(), rest);
        const void* ff = std::memchr(rest, 0xFF, r.left());
        if (ff == nullptr)
            return false;
        r.skip(static_cast<size_t>(static_cast<const uint8_t*>(ff) - rest));
        const uint8_t* pair;
        if (!r.peek(2, pair))
            return false;
        if (pair[1] != 0x00 && !(pair[1] >= 0xD0 && pair[1] <= 0xD7))
            return true;
        r.skip(2);
    }
}

}  // namespace

bool jpeg_markers_sound(const uint8_t* file, size_t size) {
    ByteReader r(file, size);
    Segment s;
    if (!next_segment(r, s) || s.code != 0xD8)
        return false;
    for (;;) {
        if (!next_segment(r, s))
            return false;
        if (s.code == 0xD9)
            return true;
        if (s.code == 0xDA && !skip_scan_data(r))
            return false;
    }
}

int jpeg_orientation(const uint8_t* file, size_t size) {
    ByteReader r(file, size);
    Segment s;
    if (!next_segment(r, s) || s.code != 0xD8)
        return 1;
    // The markers before the first scan; APP1 holding "Exif\0\0" and a TIFF
    // structure.
    while (next_segment(r, s) && s.code != 0xDA && s.code != 0xD9)
        if (s.code == 0xE1 && s.length >= 6 && std::memcmp(s.body, "Exif\0\0", 6) == 0)
            return tiff_orientation(s.body + 6, s.length - 6);
    return 1;
}
