// PNG files on libpng: decoding into the picture's store, encoding palette files.
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

#include "image/pixel_rows.h"
#include "image/picture_codec.h"

namespace {

// libpng reports errors through these; nothing is printed.
[[noreturn]] void on_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void on_warning(png_structp, png_const_charp) {}

struct MemoryInput {
    const uint8_t* data;
    size_t left;
};

void read_input(png_structp png, png_bytep out, size_t n) {
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (n > in->left)
        png_error(png, "truncated");
    std::memcpy(out, in->data, n);
    in->data += n;
    in->left -= n;
}

// How the rows that libpng hands over become the store's blue, green, red:
// 3 channels (blue, green, red already) or 4 (with alpha, over white), or 1
// for palette indices, looked up here so that an index beyond the palette is
// found.
struct RowFormat {
    int channels = 3;
    int palette_size = 0;
    uint8_t palette[256][3] = {};  // blue, green, red, over white
};

// `count` pixels of a row to `out`; false for an index beyond the palette.
bool convert_pixels(const uint8_t* row, size_t count, const RowFormat& format, uint8_t* out) {
    switch (format.channels) {
        case 3:
            std::memcpy(out, row, 3 * count);
            return true;
        case 4:
            rgba_over_white(row, static_cast<int64_t>(count), out);
            return true;
        default:
            if (!row_indices_below(row, static_cast<int64_t>(count), 8,
                                   static_cast<uint32_t>(format.palette_size)))
                return false;
            for (size_t x = 0; x < count; ++x, out += 3)
                std::memcpy(out, format.palette[row[x]], 3);
            return true;
    }
}

// The profile of an iCCP chunk (a name of 1-79 bytes, its end, the
// compression method 0, the zlib stream of the profile); empty when the chunk
// cannot be read, as if there were none. Profiles are small: one that
// inflates beyond 16 MiB is not taken.
std::vector<uint8_t> inflated_profile(const png_unknown_chunk& chunk) {
    const uint8_t* data = chunk.data;
    const void* name_end = std::memchr(data, 0, chunk.size);
    if (name_end == nullptr)
        return {};
    const size_t at = static_cast<const uint8_t*>(name_end) - data + 2;  // end, method
    if (at > chunk.size || data[at - 1] != 0)
        return {};
    constexpr size_t most = size_t{16} << 20;
    std::vector<uint8_t> profile;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    z.next_in = const_cast<Bytef*>(data + at);
    z.avail_in = static_cast<uInt>(chunk.size - at);
    int status = Z_OK;
    while (status == Z_OK && profile.size() < most) {
        uint8_t block[1 << 14];
        z.next_out = block;
        z.avail_out = sizeof block;
        status = inflate(&z, Z_NO_FLUSH);
        profile.insert(profile.end(), block, block + (sizeof block - z.avail_out));
    }
    inflateEnd(&z);
    return status == Z_STREAM_END ? profile : std::vector<uint8_t>{};
}

// The palette and its tRNS alpha values (entries beyond them are opaque),
// each entry over white.
void read_palette(png_structp png, png_infop info, RowFormat& format) {
    png_colorp entries = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &entries, &count);
    png_bytep alpha = nullptr;
    int alpha_count = 0;
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_get_tRNS(png, info, &alpha, &alpha_count, nullptr);
    format.palette_size = count;
    for (int i = 0; i < count && i < 256; ++i) {
        const unsigned a = i < alpha_count ? alpha[i] : 255;
        format.palette[i][0] = over_white(entries[i].blue, a);
        format.palette[i][1] = over_white(entries[i].green, a);
        format.palette[i][2] = over_white(entries[i].red, a);
    }
}

// The steps between setjmp and the end of decoding. It holds no object with a
// destructor of its own, since libpng's errors jump over it; `row` and
// `passes` belong to the caller.
LoadError read_png(png_structp png, png_infop info, RowFormat& format, std::vector<uint8_t>& row,
                   std::vector<uint8_t>& passes, DecodedPicture& picture) {
    // Every CRC is checked, ancillary chunks' too.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    // What libpng would let pass with a warning (a palette index beyond the
    // palette, too much image data) is damage too.
    png_set_benign_errors(png, 0);
    // gAMA, cHRM and sRGB are taken as sRGB, so they are skipped unread; the
    // profile of iCCP is read here, not by libpng, which refuses a file for a
    // damaged one (a profile that cannot be read is taken as none). Their
    // CRCs count.
    static const png_byte ignored[] = {'g', 'A', 'M', 'A', 0,   'c', 'H', 'R',
                                       'M', 0,   's', 'R', 'G', 'B', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, ignored, 3);
    static const png_byte profile[] = {'i', 'C', 'C', 'P', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, profile, 1);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (const LoadError refused = size_refusal(width, height); refused != LoadError::none)
        return refused;
    png_unknown_chunkp chunks = nullptr;
    const int chunk_count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < chunk_count; ++i)
        if (std::memcmp(chunks[i].name, "iCCP", 4) == 0)
            picture.colour.icc = inflated_profile(chunks[i]);
    const int color_type = png_get_color_type(png, info);
    const int bit_depth = png_get_bit_depth(png, info);
    if (color_type == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);  // one index a byte
        read_palette(png, info, format);
    } else {
        if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        if (bit_depth == 16)
            png_set_strip_16(png);  // the high byte
        if (!(color_type & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(png);
        png_set_bgr(png);
    }
    png_read_update_info(png, info);
    format.channels = png_get_channels(png, info);
    if (format.channels != (color_type == PNG_COLOR_TYPE_PALETTE ? 1 : 3) && format.channels != 4)
        return LoadError::damaged;
    row.resize(png_get_rowbytes(png, info));
    if (!picture.start(width, height))
        return LoadError::too_large;

    if (png_get_interlace_type(png, info) == PNG_INTERLACE_NONE) {
        for (png_uint_32 y = 0; y < height; ++y) {
            // Rows of blue, green, red are read where they go.
            if (format.channels == 3) {
                png_read_row(png, picture.row(y), nullptr);
            } else {
                png_read_row(png, row.data(), nullptr);
                if (!convert_pixels(row.data(), width, format, picture.row(y)))
                    return LoadError::damaged;
            }
            picture.rows_done(static_cast<int32_t>(y + 1));
        }
    } else {
        // Adam7: the seven passes arrive one after the other as small
        // pictures of their own. They are kept as they come, so memory grows
        // with the data, and spread over the picture once all are there.
        passes.clear();
        for (int pass = 0; pass < 7; ++pass) {
            const png_uint_32 cols = PNG_PASS_COLS(width, pass);
            const png_uint_32 rows = PNG_PASS_ROWS(height, pass);
            if (cols == 0)
                continue;
            for (png_uint_32 y = 0; y < rows; ++y) {
                png_read_row(png, row.data(), nullptr);
                const size_t at = passes.size();
                passes.resize(at + size_t{3} * cols);
                if (!convert_pixels(row.data(), cols, format, passes.data() + at))
                    return LoadError::damaged;
            }
        }
        const uint8_t* from = passes.data();
        for (int pass = 0; pass < 7; ++pass) {
            const png_uint_32 cols = PNG_PASS_COLS(width, pass);
            const png_uint_32 rows = PNG_PASS_ROWS(height, pass);
            if (cols == 0)
                continue;
            for (png_uint_32 y = 0; y < rows; ++y) {
                uint8_t* line = picture.row(PNG_ROW_FROM_PASS_ROW(y, pass));
                for (png_uint_32 x = 0; x < cols; ++x, from += 3)
                    std::memcpy(line + 3 * size_t{PNG_COL_FROM_PASS_COL(x, pass)}, from, 3);
            }
        }
        passes = {};
        picture.rows_done(static_cast<int32_t>(height));
    }
    // The chunks after the image data up to IEND, and their CRCs.
    png_read_end(png, nullptr);
    return LoadError::none;
}

void write_output(png_structp png, png_bytep data, size_t n) {
    const auto* out = static_cast<const ByteSink*>(png_get_io_ptr(png));
    // No exception may pass through libpng: it learns of a failure as error.
    bool taken = false;
    try {
        taken = (*out)(data, n);
    } catch (const std::bad_alloc&) {
        taken = false;
    }
    if (!taken)
        png_error(png, "output refused");
}

void flush_output(png_structp) {}

// As read_png: nothing here has a destructor.
void write_header(png_structp png, png_infop info, int32_t width, int32_t height,
                  const uint8_t* palette, int colors) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 palette_png_depth(colors), PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color entries[256];
    for (int i = 0; i < colors; ++i)
        entries[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    png_set_PLTE(png, info, entries, colors);
    png_write_info(png, info);
    // Rows are handed over one index a byte; libpng packs them to the depth
    // (a transformation, so set after the header is written).
    png_set_packing(png);
}

}  // namespace

LoadError decode_png(const uint8_t* file, size_t size, DecodedPicture& picture) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (png == nullptr)
        return LoadError::too_large;
    png_infop info = png_create_info_struct(png);
    MemoryInput input{file, size};
    RowFormat format;
    std::vector<uint8_t> row, passes;
    volatile LoadError decoded = LoadError::damaged;
    try {
        if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
            png_set_read_fn(png, &input, read_input);
            decoded = read_png(png, info, format, row, passes, picture);
        }
    } catch (const std::bad_alloc&) {
        decoded = LoadError::too_large;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return decoded;
}

struct PalettePngEncoder::State {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ByteSink out;
    int32_t width = 0, height = 0, rows = 0;
    int colors = 0;
    bool failed = false;
};

PalettePngEncoder::PalettePngEncoder() = default;

PalettePngEncoder::~PalettePngEncoder() {
    if (state_ != nullptr)
        png_destroy_write_struct(&state_->png, &state_->info);
}

// Each step below runs libpng under its own setjmp, which a libpng error
// returns to; nothing with a destructor lives in those frames.
bool PalettePngEncoder::begin(int32_t width, int32_t height, const uint8_t* palette, int colors,
                              ByteSink out) {
    if (state_ != nullptr || width <= 0 || height <= 0 || colors < 1 || colors > 256)
        return false;
    try {
        state_ = std::make_unique<State>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    State& s = *state_;
    s.out = std::move(out);
    s.width = width;
    s.height = height;
    s.colors = colors;
    s.failed = true;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (s.png == nullptr)
        return false;
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr)
        return false;
    if (setjmp(png_jmpbuf(s.png)) != 0)
        return false;
    png_set_write_fn(s.png, &s.out, write_output, flush_output);
    write_header(s.png, s.info, width, height, palette, colors);
    s.failed = false;
    return true;
}

bool PalettePngEncoder::add_rows(const uint8_t* rows, int32_t count) {
    if (state_ == nullptr || state_->failed)
        return false;
    State& s = *state_;
    s.failed = true;
    if (count < 0 || count > s.height - s.rows ||
        !row_indices_below(rows, int64_t{count} * s.width, 8, static_cast<uint32_t>(s.colors)))
        return false;
    if (setjmp(png_jmpbuf(s.png)) != 0)
        return false;
    for (int32_t y = 0; y < count; ++y)
        png_write_row(s.png, rows + size_t(y) * size_t(s.width));
    s.rows += count;
    s.failed = false;
    return true;
}

bool PalettePngEncoder::end() {
    if (state_ == nullptr || state_->failed || state_->rows != state_->height)
        return false;
    State& s = *state_;
    s.failed = true;
    if (setjmp(png_jmpbuf(s.png)) != 0)
        return false;
    png_write_end(s.png, s.info);
    s.failed = false;
    return true;
}

bool encode_palette_png(int32_t width, int32_t height, const uint8_t* palette, int colors,
                        const uint8_t* indices, const ByteSink& out) {
    try {
        PalettePngEncoder encoder;
        return encoder.begin(width, height, palette, colors, out) &&
               encoder.add_rows(indices, height) && encoder.end();
    } catch (const std::bad_alloc&) {  // the copy of `out`
        return false;
    }
}
