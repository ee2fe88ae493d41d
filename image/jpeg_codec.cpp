// JPEG files on libjpeg-turbo, decoded with its defaults.
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // before jpeglib.h, which uses FILE and size_t
#include <cstdlib>
#include <memory>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

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
// unusual, and the pixels are sound; one that the profile's pieces do not fit
// together, and the picture is read as if it had none.
void on_message(j_common_ptr codec, int level) {
    if (level >= 0)
        return;  // trace messages
    const int code = codec->err->msg_code;
    if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC)
        return;
    on_error(codec);
}

void no_output(j_common_ptr) {}

// The steps between setjmp and the end of decoding; nothing here has a
// destructor, since libjpeg's errors jump over it.
LoadError read_jpeg(jpeg_decompress_struct& codec, DecodedPicture& picture) {
    // The profile is kept in APP2 segments, in pieces.
    jpeg_save_markers(&codec, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(&codec, TRUE) != JPEG_HEADER_OK)
        return LoadError::damaged;
    if (codec.jpeg_color_space == JCS_CMYK || codec.jpeg_color_space == JCS_YCCK)
        return LoadError::not_a_picture;
    if (const LoadError refused = size_refusal(codec.image_width, codec.image_height);
        refused != LoadError::none)
        return refused;
    JOCTET* profile = nullptr;
    unsigned int profile_size = 0;
    if (jpeg_read_icc_profile(&codec, &profile, &profile_size)) {
        // No libjpeg call in this scope: nothing can jump over its end.
        const std::unique_ptr<JOCTET, void (*)(void*)> owned(profile, std::free);
        picture.colour.icc.assign(profile, profile + profile_size);
    }
    // Straight into the store's rows, grey pictures too (each grey value
    // three times).
    codec.out_color_space = JCS_EXT_BGR;
    // Progressive and multi-scan files keep the whole picture's coefficients
    // while the scans arrive: the memory manager refuses a picture whose
    // buffers would pass this (no backing store is configured) before it
    // takes them.
    codec.mem->max_memory_to_use = long{1} << 30;
    jpeg_start_decompress(&codec);
    if (codec.output_components != 3 || codec.output_width != codec.image_width ||
        codec.output_height != codec.image_height)
        return LoadError::damaged;
    if (!picture.start(codec.output_width, codec.output_height))
        return LoadError::too_large;
    while (codec.output_scanline < codec.output_height) {
        JSAMPROW rows[1] = {picture.row(codec.output_scanline)};
        if (jpeg_read_scanlines(&codec, rows, 1) != 1)
            return LoadError::damaged;
        picture.rows_done(static_cast<int32_t>(codec.output_scanline));
    }
    jpeg_finish_decompress(&codec);
    return LoadError::none;
}

}  // namespace

LoadError decode_jpeg(const uint8_t* file, size_t size, DecodedPicture& picture) {
    jpeg_decompress_struct codec;
    ErrorManager errors;
    codec.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = on_error;
    errors.manager.emit_message = on_message;
    errors.manager.output_message = no_output;
    volatile bool created = false;
    volatile LoadError decoded = LoadError::damaged;
    try {
        if (setjmp(errors.jump) == 0) {
            jpeg_create_decompress(&codec);
            created = true;
            jpeg_mem_src(&codec, file, static_cast<unsigned long>(size));
            decoded = read_jpeg(codec, picture);
        } else if (errors.manager.msg_code == JERR_OUT_OF_MEMORY) {
            // Beyond max_memory_to_use, or none to be had.
            decoded = LoadError::too_large;
        }
    } catch (const std::bad_alloc&) {
        decoded = LoadError::too_large;
    }
    if (created)
        jpeg_destroy_decompress(&codec);
    return decoded;
}
