// JPEG files on libjpeg-turbo, decoded with its defaults.
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // before jpeglib.h, which uses FILE and size_t
#include <new>

#include <jerror.h>
#include <jpeglib.h>

#include "image/dib_layout.h"
#include "image/picture_codec.h"

namespace {

struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void on_error(j_common_ptr codec) {
    std::longjmp(reinterpret_cast<ErrorManager*>(codec->err)->jump, 1);
}

// Level -1 is a warning. Most say that the data is damaged and the decoder
// made something up (premature end of data, extraneous bytes before a marker,
// a corrupt Huffman code): those fail. Two only say that a header field is
// unusual, and the pixels are sound.
void on_message(j_common_ptr codec, int level) {
    if (level >= 0)
        return;  // trace messages
    const int code = codec->err->msg_code;
    if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM)
        return;
    on_error(codec);
}

void no_output(j_common_ptr) {}

// The steps between setjmp and the end of decoding; nothing here has a
// destructor, since libjpeg's errors jump over it.
bool read_jpeg(jpeg_decompress_struct& codec, std::vector<uint8_t>& row, DecodedPicture& picture) {
    if (jpeg_read_header(&codec, TRUE) != JPEG_HEADER_OK)
        return false;
    if (codec.jpeg_color_space == JCS_CMYK || codec.jpeg_color_space == JCS_YCCK)
        return false;
    if (!dib_layout::store_fits(codec.image_width, codec.image_height))
        return false;
    const bool grey = codec.jpeg_color_space == JCS_GRAYSCALE;
    codec.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    // Progressive and multi-scan files keep the whole picture's coefficients
    // while the scans arrive: the memory manager refuses a picture whose
    // buffers would pass this (no backing store is configured) before it
    // takes them.
    codec.mem->max_memory_to_use = long{1} << 30;
    jpeg_start_decompress(&codec);
    if (codec.output_components != (grey ? 1 : 3))
        return false;
    const size_t width = codec.output_width;
    row.resize(width * codec.output_components);
    picture.width = static_cast<int32_t>(codec.output_width);
    picture.height = static_cast<int32_t>(codec.output_height);
    picture.rgb.clear();
    while (codec.output_scanline < codec.output_height) {
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&codec, rows, 1) != 1)
            return false;
        const size_t at = picture.rgb.size();
        picture.rgb.resize(at + 3 * width);
        uint8_t* out = picture.rgb.data() + at;
        for (size_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] = grey ? row[x] : row[3 * x + c];
    }
    jpeg_finish_decompress(&codec);
    return true;
}

}  // namespace

bool decode_jpeg(const uint8_t* file, size_t size, DecodedPicture& picture) {
    jpeg_decompress_struct codec;
    ErrorManager errors;
    codec.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = on_error;
    errors.manager.emit_message = on_message;
    errors.manager.output_message = no_output;
    std::vector<uint8_t> row;
    volatile bool created = false;
    volatile bool decoded = false;
    try {
        if (setjmp(errors.jump) == 0) {
            jpeg_create_decompress(&codec);
            created = true;
            jpeg_mem_src(&codec, file, static_cast<unsigned long>(size));
            decoded = read_jpeg(codec, row, picture);
        }
    } catch (const std::bad_alloc&) {
        decoded = false;
    }
    if (created)
        jpeg_destroy_decompress(&codec);
    return decoded;
}
