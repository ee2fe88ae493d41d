// TIFF files on libtiff, read from memory a strip or a row of tiles at a time.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "image/dib_layout.h"
#include "image/picture_codec.h"
#include "image/pixel_rows.h"

namespace {

// The file in memory, as libtiff's client procedures see it; mapped, so that
// compressed data is decoded where it lies rather than copied first.
struct Memory {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool damaged = false;  // the JPEG decoder made something up
};

tmsize_t read_proc(thandle_t h, void* buffer, tmsize_t n) {
    auto* m = static_cast<Memory*>(h);
    const size_t count = std::min(static_cast<size_t>(n), m->size - std::min(m->at, m->size));
    std::memcpy(buffer, m->data + m->at, count);
    m->at += count;
    return static_cast<tmsize_t>(count);
}
tmsize_t write_proc(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
    auto* m = static_cast<Memory*>(h);
    const toff_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->size : 0;
    m->at = static_cast<size_t>(base + offset);
    return m->at;
}
int close_proc(thandle_t) {
    return 0;
}
toff_t size_proc(thandle_t h) {
    return static_cast<Memory*>(h)->size;
}
int map_proc(thandle_t h, void** base, toff_t* size) {
    auto* m = static_cast<Memory*>(h);
    *base = const_cast<uint8_t*>(m->data);
    *size = m->size;
    return 1;
}
void unmap_proc(thandle_t, void*, toff_t) {}

// libtiff's messages are not printed. Its JPEG decoder reports damage it
// passes over (data cut short, corrupt entropy codes) only as a warning.
int on_error(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}
int on_warning(TIFF*, void* user, const char* module, const char*, va_list) {
    if (module != nullptr && std::strcmp(module, "JPEGLib") == 0)
        static_cast<Memory*>(user)->damaged = true;
    return 1;
}

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t samples = 1;  // a pixel's samples, colour and extra
    uint16_t bits = 1;     // a sample's
    uint16_t colours = 1;  // 1 (grey, palette) or 3 (RGB)
    int alpha = -1;        // the alpha sample, if any
    bool associated = false;
    bool min_is_white = false;
    bool planes = false;          // a plane per sample, else interleaved
    const uint16_t* map[3] = {};  // the palette: red, green, blue
    bool map_8bit = false;
};

// An 8-bit value from a `bits`-bit sample.
inline unsigned eight_bit(unsigned v, int bits) {
    switch (bits) {
        case 16:
            return v >> 8;
        case 8:
            return v;
        default:
            return v * 255 / ((1u << bits) - 1);
    }
}

// Sample `c` of pixel `x`: `row` holds a plane per sample (`plane_bytes`
// apart) or the samples interleaved.
inline unsigned sample(const Layout& l, const uint8_t* row, size_t plane_bytes, uint32_t x, int c) {
    if (l.bits < 8)
        return index_at(row, x, l.bits);  // one sample a pixel
    const size_t at = l.planes ? c * plane_bytes + size_t{x} : size_t{x} * l.samples + c;
    if (l.bits == 8)
        return row[at];
    uint16_t v;
    std::memcpy(&v, row + 2 * at, 2);  // in the machine's order: libtiff swaps
    return v;
}

// One decoded row to the store's blue, green, red.
void row_to_bgr(const Layout& l, const uint8_t* row, size_t plane_bytes, uint8_t* out) {
    for (uint32_t x = 0; x < l.width; ++x, out += 3) {
        unsigned rgb[3];
        if (l.map[0] != nullptr) {
            const unsigned index = sample(l, row, plane_bytes, x, 0);
            for (int c = 0; c < 3; ++c)
                rgb[c] = l.map_8bit ? l.map[c][index] : l.map[c][index] >> 8;
        } else {
            for (int c = 0; c < 3; ++c)
                rgb[c] = eight_bit(sample(l, row, plane_bytes, x, l.colours == 3 ? c : 0), l.bits);
            if (l.min_is_white)
                rgb[0] = rgb[1] = rgb[2] = 255 - rgb[0];
        }
        const unsigned a =
            l.alpha < 0 ? 255 : eight_bit(sample(l, row, plane_bytes, x, l.alpha), l.bits);
        for (int c = 0; c < 3; ++c)
            out[2 - c] = l.associated ? premultiplied_over_white(rgb[c], a) : over_white(rgb[c], a);
    }
}

// What the directory says, checked: not_a_picture for kinds not read here.
LoadError read_layout(TIFF* tif, Layout& l) {
    uint16_t photometric, format, planar, compression;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height) ||
        !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return LoadError::damaged;
    if (const LoadError refused = size_refusal(l.width, l.height); refused != LoadError::none)
        return refused;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    l.planes = planar == PLANARCONFIG_SEPARATE;
    if (format != SAMPLEFORMAT_UINT)
        return LoadError::not_a_picture;
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            l.min_is_white = photometric == PHOTOMETRIC_MINISWHITE;
            break;
        case PHOTOMETRIC_PALETTE:
            if (l.bits > 8 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &l.map[0], &l.map[1], &l.map[2]))
                return LoadError::damaged;
            // Old writers put 8-bit values in the 16-bit map.
            l.map_8bit = true;
            for (int c = 0; c < 3; ++c)
                for (uint32_t i = 0; i < (1u << l.bits); ++i)
                    l.map_8bit = l.map_8bit && l.map[c][i] < 256;
            break;
        case PHOTOMETRIC_YCBCR:
            // Only inside JPEG data, which the JPEG decoder turns into RGB.
            if (compression != COMPRESSION_JPEG && compression != COMPRESSION_OJPEG)
                return LoadError::not_a_picture;
            if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) || l.planes)
                return LoadError::damaged;
            l.colours = 3;
            break;
        case PHOTOMETRIC_RGB:
            l.colours = 3;
            break;
        default:  // CMYK and other ink separations, CIE L*a*b*, LogLuv ...
            return LoadError::not_a_picture;
    }
    const bool sub_byte = l.bits == 1 || l.bits == 2 || l.bits == 4;
    if (!(l.bits == 8 || l.bits == 16 || (sub_byte && l.colours == 1)) || l.samples < l.colours ||
        (sub_byte && l.samples != 1))
        return LoadError::not_a_picture;
    uint16_t extra_count = 0;
    const uint16_t* extra = nullptr;
    TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    if (extra_count > 0 && l.samples > l.colours &&
        (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        l.alpha = l.colours;
        l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    return LoadError::none;
}

// The rows, a band at a time: a strip, or a row of tiles; each band's planes
// one after the other. Buffers are not cleared, so that memory is taken as
// the decoder writes it.
LoadError read_rows(TIFF* tif, const Layout& l, const Memory& memory, DecodedPicture& picture) {
    const bool tiled = TIFFIsTiled(tif);
    uint32_t tile_width = l.width, band_rows = l.height;
    if (tiled) {
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width) ||
            !TIFFGetField(tif, TIFFTAG_TILELENGTH, &band_rows) || tile_width == 0 || band_rows == 0)
            return LoadError::damaged;
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band_rows);
        band_rows = std::clamp<uint32_t>(band_rows, 1, l.height);
    }
    const int planes = l.planes ? l.samples : 1;
    const int per_plane = l.planes ? 1 : l.samples;
    // Bytes a row of one plane, and a row of one tile.
    const uint64_t row_bytes = (uint64_t{l.width} * per_plane * l.bits + 7) / 8;
    const uint64_t tile_row_bytes = (uint64_t{tile_width} * per_plane * l.bits + 7) / 8;
    const uint64_t band_bytes = row_bytes * band_rows * planes;
    const uint64_t piece_bytes = tiled ? tile_row_bytes * band_rows : row_bytes * band_rows;
    constexpr uint64_t most = 2 * uint64_t{dib_layout::max_store_bytes};
    if (band_bytes > most || piece_bytes > most)
        return LoadError::too_large;
    std::unique_ptr<uint8_t[]> band(new uint8_t[band_bytes]);
    std::unique_ptr<uint8_t[]> tile(tiled ? new uint8_t[piece_bytes] : nullptr);
    if (!picture.start(l.width, l.height))
        return LoadError::too_large;
    for (uint32_t top = 0; top < l.height; top += band_rows) {
        const uint32_t rows = std::min(band_rows, l.height - top);
        for (int p = 0; p < planes; ++p) {
            uint8_t* plane = band.get() + p * row_bytes * rows;
            if (!tiled) {
                const tmsize_t want = static_cast<tmsize_t>(row_bytes * rows);
                if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, top, uint16_t(p)), plane,
                                         want) != want)
                    return LoadError::damaged;
                continue;
            }
            for (uint32_t left = 0; left < l.width; left += tile_width) {
                const tmsize_t want = static_cast<tmsize_t>(piece_bytes);
                if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, left, top, 0, uint16_t(p)),
                                        tile.get(), want) != want)
                    return LoadError::damaged;
                // Tile widths are multiples of 16, so each tile begins on a byte.
                const uint64_t at = uint64_t{left} * per_plane * l.bits / 8;
                const uint64_t n = std::min(tile_row_bytes, row_bytes - at);
                for (uint32_t r = 0; r < rows; ++r)
                    std::memcpy(plane + r * row_bytes + at, tile.get() + r * tile_row_bytes, n);
            }
        }
        if (memory.damaged)
            return LoadError::damaged;
        for (uint32_t r = 0; r < rows; ++r)
            row_to_bgr(l, band.get() + r * row_bytes, row_bytes * rows, picture.row(top + r));
        picture.rows_done(static_cast<int32_t>(top + rows));
    }
    return LoadError::none;
}

LoadError read_tiff(TIFF* tif, const Memory& memory, DecodedPicture& picture) {
    Layout layout;
    LoadError error = read_layout(tif, layout);
    if (error != LoadError::none)
        return error;
    uint32_t profile_size = 0;
    const uint8_t* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profile_size, &profile) && profile != nullptr)
        picture.colour.icc.assign(profile, profile + profile_size);
    return read_rows(tif, layout, memory, picture);
}

}  // namespace

LoadError decode_tiff(const uint8_t* file, size_t size, DecodedPicture& picture) {
    Memory memory{file, size};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr)
        return LoadError::too_large;
    TIFFOpenOptionsSetErrorHandlerExtR(options, on_error, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options, on_warning, &memory);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, dib_layout::max_store_bytes);
    TIFF* tif = TIFFClientOpenExt("picture", "r", &memory, read_proc, write_proc, seek_proc,
                                  close_proc, size_proc, map_proc, unmap_proc, options);
    TIFFOpenOptionsFree(options);
    if (tif == nullptr)
        return LoadError::damaged;
    LoadError error;
    try {
        error = read_tiff(tif, memory, picture);
    } catch (const std::bad_alloc&) {
        error = LoadError::too_large;
    }
    TIFFClose(tif);
    return error;
}
